// Wiring of the configuration dialogs, offscreen: the dialog starts its job once shown, its
// controls follow the job, its buttons reach the job, and a box the job asks for inside a radio
// callback is shown only from the event loop. The decisions themselves are tested in
// config_jobs_test.
#include <stdlib.h>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <fstream>

#include "config/ui/config_compare_dialog.h"
#include "config/ui/config_restore_dialog.h"
#include "config/ui/config_save_dialog.h"
#include "config/ui/configuration_page.h"
#include "link/contact.h"
#include "link/radio_session.h"
#include "model/eeprom_map.h"
#include "platform/error_text.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_dialog_prompts.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;

}  // namespace

class ConfigDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        m_dir = m_folder.Path();
        fs::create_directories(m_dir / "config");
        // The default configuration folder, under "documents", inside the scratch folder.
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        std::ofstream(m_dir / "config" / "user-dirs.dirs")
            << "XDG_DOCUMENTS_DIR=\"" << (m_dir / "documents").string() << "\"\n";
    }

    void saveStartsWhenShownAndClosesWhenSaved() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        test::CRecordingPrompts prompts;
        prompts.file = m_dir / "saved.RM7Config";
        CConfigSaveDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Save Configuration"));
        dialog.show();
        QTRY_VERIFY(prompts.file.has_value() && !prompts.proposed.empty());
        QCOMPARE(prompts.proposed.substr(0, 8), std::string("SN01234."));
        QCOMPARE(prompts.askedFolder, m_dir / "documents" / "Tarnwell" / "RM7 Configuration");
        QVERIFY(fs::is_directory(prompts.askedFolder));

        // Busy: the wait cursor everywhere but over Cancel; the bar counts 32-byte steps.
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(&dialog.Job().Machine()));
        QCOMPARE(dialog.cursor().shape(), Qt::WaitCursor);
        QCOMPARE(dialog.CancelButton()->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(dialog.ProgressBar()->maximum(), 48);
        QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.ProgressBar()->value() > 0; }, 60000));

        QVERIFY(bench.pump.AdvanceUntil([&] { return !dialog.isVisible(); }, 60000));
        QCOMPARE(dialog.result(), CConfigSaveJob::kSaved);
        QCOMPARE(dialog.ProgressBar()->value(), 48);
        QVERIFY(dialog.TransferLabel()->text().contains(QRegularExpression(QStringLiteral("^100% +1562/1562 bytes"))));
        QCOMPARE(dialog.cursor().shape(), Qt::ArrowCursor);
        QVERIFY(fs::exists(*prompts.file));
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
    }

    void saveCancelledByButtonOrEscape() {
        for (const bool escape : {false, true}) {
            test::CRadioBench bench;
            QVERIFY(bench.Contact() == kOk);
            test::CRecordingPrompts prompts;
            prompts.file = m_dir / (escape ? "escape.RM7Config" : "button.RM7Config");
            CConfigSaveDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
            dialog.show();
            QTRY_VERIFY(!dialog.Job().Machine().IsIdle());
            QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.ProgressBar()->value() >= 5; }, 60000));
            if (escape) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
            }
            QVERIFY(dialog.isVisible());  // the machine ends at its next step
            QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.Job().LastResult().has_value(); }, 10000));
            // The window stays, saying what happened, until the user closes it; no box for a cancel.
            QVERIFY(dialog.isVisible());
            QVERIFY(!dialog.OutcomeLabel()->isHidden());
            QCOMPARE(dialog.OutcomeLabel()->text(),
                     QStringLiteral("Save configuration was cancelled\nNothing on the radio was changed."));
            QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Close"));
            QCOMPARE(dialog.cursor().shape(), Qt::ArrowCursor);
            QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
            QTRY_VERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), CConfigSaveJob::kCancelled);
            QVERIFY(prompts.shown.empty());
            QVERIFY(!fs::exists(*prompts.file));
        }
    }

    void saveWithoutAFileEndsAtOnce() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        test::CRecordingPrompts prompts;  // the file dialog is cancelled
        CConfigSaveDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
        dialog.show();
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), CConfigSaveJob::kCancelled);
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
    }

    void saveFailureShowsItsBoxFromTheEventLoopAndKeepsTheDialog() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        test::CRecordingPrompts prompts;
        prompts.file = m_dir / "never.RM7Config";
        CConfigSaveDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
        dialog.show();
        QTRY_VERIFY(!dialog.Job().Machine().IsIdle());
        bench.radio->SetSilent(true);
        QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.Job().LastResult().has_value(); }, 200000));
        // The completion came inside a radio callback: no box yet, only once the loop runs.
        QVERIFY(prompts.shown.empty());
        QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Close"));
        QTRY_COMPARE(prompts.shown.size(), std::size_t{1});
        QCOMPARE(prompts.shown[0].caption, std::string(kSaveErrorCaption));
        QVERIFY(Failed(*dialog.Job().LastResult()));
        // One box, and the window says the same while it stays open.
        const std::string said = std::string(kSaveFailedText) + ": " + ErrorText(*dialog.Job().LastResult()) +
                                 "\nNothing on the radio was changed.";
        QCOMPARE(prompts.shown[0].text, said);
        QCOMPARE(dialog.OutcomeLabel()->text().toStdString(), said);
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), CConfigSaveJob::kFailed);
    }

    void restoreInterruptAsksFromTheEventLoopThenStaysOpenSayingWhatHappened() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        test::CRecordingPrompts prompts;
        prompts.answer = Answer::Yes;
        const fs::path file = m_dir / "restore.RM7Config";
        {
            // A file of this radio to restore from.
            test::CRecordingPrompts savePrompts;
            savePrompts.file = file;
            CConfigSaveDlg save(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(savePrompts));
            save.show();
            QTRY_VERIFY(!save.Job().Machine().IsIdle());
            QVERIFY(bench.pump.AdvanceUntil([&] { return !save.isVisible(); }, 60000));
            QCOMPARE(save.result(), CConfigSaveJob::kSaved);
        }
        prompts.file = file;
        CConfigRestoreDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Restore Configuration"));
        dialog.show();
        // The backup reads the radio first, in virtual time.
        QTRY_COMPARE(dialog.TransferLabel()->text(), QString::fromLatin1(kBackupStepText));
        QVERIFY(bench.pump.AdvanceUntil([&] { return !dialog.Job().Machine().IsIdle(); }, 60000));
        QCOMPARE(dialog.ProgressBar()->maximum(), 48);
        QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.ProgressBar()->value() >= 5; }, 60000));

        dialog.close();  // the window's close button asks as Cancel does
        // Asked from the event loop, never inside the button's or a radio's callback.
        QVERIFY(prompts.asked.empty());
        QTRY_COMPARE(prompts.asked.size(), std::size_t{1});
        QCOMPARE(prompts.asked[0].text, std::string(kInterruptRestoreQuestion));
        QVERIFY(dialog.isVisible());
        QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.Job().LastResult().has_value(); }, 10000));
        QCOMPARE(*dialog.Job().LastResult(), kErrorCancelled);
        // The window stays with what happened: the radio's state, the backup made, what to do.
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.OutcomeLabel()->isHidden());
        const QString said = dialog.OutcomeLabel()->text();
        QVERIFY(said.startsWith(QString::fromLatin1(kRestoreCancelledText)));
        // (What the radio holds depends on where the stop landed: the core's tests pin each case.)
        QVERIFY(said.contains(QStringLiteral("The configuration was backed up to ")));
        QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Close"));
        QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!dialog.isVisible());
        QVERIFY(prompts.shown.empty());
        QCOMPARE(dialog.result(), CConfigRestoreJob::kCancelled);
    }

    // The restore's line says what each stage is doing: the backup, then the write before its
    // first block, the blocks, and the radio's restart as a bar that fills while the seconds count
    // down. No line is ever cut.
    void restoreProgressSaysEachStageAndIsNeverCut() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        const fs::path file = m_dir / "stages.RM7Config";
        {
            test::CRecordingPrompts savePrompts;
            savePrompts.file = file;
            CConfigSaveDlg save(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(savePrompts));
            save.show();
            QTRY_VERIFY(!save.Job().Machine().IsIdle());
            QVERIFY(bench.pump.AdvanceUntil([&] { return !save.isVisible(); }, 60000));
        }
        test::CRecordingPrompts prompts;
        prompts.file = file;
        CConfigRestoreDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
        dialog.show();
        QLabel* line = dialog.TransferLabel();
        QStringList cut;
        const auto look = [&] {
            if (line->width() < line->fontMetrics().horizontalAdvance(line->text())) {
                cut << line->text();
            }
        };
        QTRY_COMPARE(line->text(), QString::fromLatin1(kBackupStepText));
        QCOMPARE(dialog.ProgressBar()->maximum(), 0);  // busy: no position yet
        QVERIFY(bench.pump.AdvanceUntil([&] { return !dialog.Job().Machine().IsIdle(); }, 60000));
        QCOMPARE(dialog.ProgressBar()->value(), 0);
        QCOMPARE(line->text(), QString::fromLatin1(kRestoreStepText));
        QVERIFY(bench.pump.AdvanceUntil(
            [&] {
                look();
                return line->text().startsWith(QStringLiteral("Waiting for the radio to restart"));
            },
            60000));
        QCOMPARE(line->text(), QStringLiteral("Waiting for the radio to restart: 8 s left"));
        QCOMPARE(dialog.ProgressBar()->maximum(), 8);
        QCOMPARE(dialog.ProgressBar()->value(), 0);
        bench.pump.AdvanceBy(3000);
        QCOMPARE(line->text(), QStringLiteral("Waiting for the radio to restart: 5 s left"));
        QCOMPARE(dialog.ProgressBar()->value(), 3);
        if (const QByteArray shots = qgetenv("RM7_SHOTS"); !shots.isEmpty()) {
            QVERIFY(dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/restore-restart.png")));
        }
        look();
        QVERIFY(bench.pump.AdvanceUntil([&] { return !dialog.isVisible(); }, 60000));
        QCOMPARE(dialog.result(), CConfigRestoreJob::kRestored);
        QVERIFY(line->text().startsWith(QStringLiteral("100%")));
        look();
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    // A file saved from the radio, then one byte of the radio changed: the differences show it as
    // `rm7util config diff FILE --radio` prints them; a damaged file is refused with the reader's
    // box before the radio is read.
    void compareWithRadioShowsTheDifferences() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        const fs::path file = m_dir / "compare.RM7Config";
        {
            test::CRecordingPrompts savePrompts;
            savePrompts.file = file;
            CConfigSaveDlg save(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(savePrompts));
            save.show();
            QTRY_VERIFY(!save.Job().Machine().IsIdle());
            QVERIFY(bench.pump.AdvanceUntil([&] { return !save.isVisible(); }, 60000));
            QCOMPARE(save.result(), CConfigSaveJob::kSaved);
        }
        CConfigurationPage page(*bench.session, {});
        QVERIFY(page.Button(CConfigurationPage::kCompare)->isEnabled());
        QCOMPARE(page.Button(CConfigurationPage::kCompare)->text(), QStringLiteral("Compare with Radio..."));

        for (const bool changed : {false, true}) {
            if (changed) {
                bench.radio->Eeprom()[0x0205] ^= 0xFF;
            }
            test::CRecordingPrompts prompts;
            prompts.file = file;
            CConfigCompareDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Compare with Radio"));
            dialog.show();
            QTRY_VERIFY(!dialog.Job().Machine().IsIdle());
            QVERIFY(bench.pump.AdvanceUntil([&] { return !dialog.isVisible(); }, 60000));
            QCOMPARE(dialog.result(), CConfigCompareJob::kCompared);
            QCOMPARE(dialog.Job().Difference().Equal(), !changed);
            CConfigDifferenceDlg result(dialog.Job().Difference(), dialog.Job().DifferenceText());
            const QString details = result.Details()->toPlainText();
            if (changed) {
                QCOMPARE(result.Summary()->text(), QStringLiteral("The file and the radio differ:"));
                QVERIFY2(details.contains(QStringLiteral("Range 0x0200-0x02FF\n  0x0205\n    < ")),
                         qPrintable(details));
                QVERIFY(details.startsWith(QString::fromStdString("< " + file.string() + "\n> the radio\n")));
            } else {
                QCOMPARE(details,
                         QString::fromStdString("No differences between " + file.string() + " and the radio.\n"));
            }
        }

        const fs::path damaged = m_dir / "damaged.RM7Config";
        std::ofstream(damaged) << "*Configuration saved\r\nMEM2 7E 00 01 FF\r\n";
        const std::size_t commandsBefore = bench.radio->ReceivedCommands().size();
        test::CRecordingPrompts prompts;
        prompts.file = damaged;
        CConfigCompareDlg dialog(*bench.session, nullptr, nullptr, test::RecordingDialogPrompts(prompts));
        dialog.show();
        QTRY_COMPARE(prompts.shown.size(), std::size_t{1});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Close"));
        QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), CConfigCompareJob::kFailed);
        QCOMPARE(bench.radio->ReceivedCommands().size(), commandsBefore);
    }

    // The page's buttons, clicked: each opens its dialog with the real file chooser and runs its
    // job against the radio. Save writes the radio's configuration to the file chosen; Restore
    // writes it back into the radio; Compare with Radio reads the radio and shows the result.
    void pageButtonsRunTheirJobs() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        CConfigurationPage page(*bench.session, {});
        const fs::path file = m_dir / "page.RM7Config";
        fs::remove(file);

        // What was on top each time the test looked, answered as a person would: the file chooser
        // gets the file, a question Yes, a job dialog virtual time, a result its OK.
        std::vector<std::string> seen;
        QString differences;
        QTimer driver;
        driver.setInterval(1);
        connect(&driver, &QTimer::timeout, [&] {
            QWidget* top = QApplication::activeModalWidget();
            if (auto* chooser = qobject_cast<QFileDialog*>(top)) {
                seen.push_back("file chooser");
                chooser->selectFile(QString::fromStdString(file.string()));
                static_cast<QDialog*>(chooser)->accept();
            } else if (auto* box = qobject_cast<QMessageBox*>(top)) {
                seen.push_back("question: " + box->text().toStdString());
                if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                    yes->click();
                } else {
                    box->accept();
                }
            } else if (auto* result = dynamic_cast<CConfigDifferenceDlg*>(top)) {
                seen.push_back("differences");
                differences = result->Details()->toPlainText();
                result->accept();
            } else if (auto* job = dynamic_cast<CConfigJobDialog*>(top)) {
                if (seen.empty() || seen.back() != job->windowTitle().toStdString()) {
                    seen.push_back(job->windowTitle().toStdString());
                }
                bench.pump.AdvanceBy(50);
            }
        });
        driver.start();
        const auto click = [&](CConfigurationPage::Action action) {
            seen.clear();
            QVERIFY(page.Button(action)->isEnabled());
            page.Button(action)->click();  // returns once the modal dialogs have closed
        };

        FillRadio(*bench.radio, 7);
        const std::vector<std::uint8_t> saved = bench.radio->Eeprom();
        click(CConfigurationPage::kSave);
        QCOMPARE(seen, (std::vector<std::string>{"file chooser", "Save Configuration"}));
        QVERIFY(fs::exists(file));

        FillRadio(*bench.radio, 8);
        QVERIFY(bench.radio->Eeprom() != saved);
        click(CConfigurationPage::kCompare);
        QVERIFY(!seen.empty());
        QCOMPARE(seen.front(), std::string("file chooser"));
        QCOMPARE(seen.back(), std::string("differences"));
        QVERIFY2(differences.startsWith(QString::fromStdString("< " + file.string() + "\n> the radio\n")),
                 qPrintable(differences));

        click(CConfigurationPage::kRestore);
        QVERIFY(!seen.empty());
        QCOMPARE(seen.front(), std::string("file chooser"));
        QVERIFY(std::find(seen.begin(), seen.end(), "Restore Configuration") != seen.end());
        QCOMPARE(bench.radio->Eeprom(), saved);
        driver.stop();
    }

  private:
    // Changes every byte a configuration file holds, from a seed.
    static void FillRadio(rm7sim::Radio& radio, std::uint32_t seed) {
        for (const auto& range : kConfigurationRanges) {
            for (std::uint32_t a = range.start; a < range.start + range.length; ++a) {
                radio.Eeprom()[a] = static_cast<std::uint8_t>(a * 31 + seed * 17);
            }
        }
    }

    test::CTempFolder m_folder;
    fs::path m_dir;
};

}  // namespace rm7

QTEST_MAIN(rm7::ConfigDialogsTest)
#include "config_dialogs_test.moc"
