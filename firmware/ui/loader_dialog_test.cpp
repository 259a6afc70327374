// The loader dialog's wiring, offscreen, driving real loads against the in-process radio in
// virtual time: the bar moves, the log fills, the close guard asks about the load while it runs,
// and the window says once how the load ended.
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "firmware/ui/loader_dialog.h"
#include "tests/support/firmware_files.h"
#include "tests/support/loader_rig.h"
#include "tests/support/recording_dialog_prompts.h"
#include "tests/support/temp_folder.h"

namespace rm7 {

class LoaderDialogTest : public QObject {
    Q_OBJECT

  private:
    struct Question {
        std::string caption;
        std::string text;
    };

    // A contacted radio, an MCU file it will report as 02.88, and a dialog for it.
    struct Rig {
        test::CTempFolder dir;
        // Each answer 1 ms late, so that virtual time passes packet by packet.
        test::CLoaderRig radio{rm7sim::Options{.latencyMs = 1}};
        test::CRecordingPrompts prompts;  // answers No unless told
        std::unique_ptr<CLoaderDlg> dialog;

        explicit Rig(bool trace) {
            setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
            test::WriteHexFile(dir / "fmcu0288.hex", test::McuImageBytes(3, "0288"), kMcuLowAddress);
            QVERIFY(radio.Contact() == kOk);
            radio.model->trace.Set(trace ? 1 : 0);
            dialog = std::make_unique<CLoaderDlg>(*radio.session, LoaderPart::Mcu, dir / "fmcu0288.hex", nullptr,
                                                  test::RecordingDialogPrompts(prompts));
        }
        QString Log() const { return dialog->LogView()->toPlainText(); }
        QString Outcome() const { return dialog->OutcomeLabel()->text(); }
        // The outcome's line for the backup the load made first (the one file in the backups folder).
        std::string BackupLine() const {
            const auto backups = dir / "data" / "Tarnwell" / "RM7 Utility" / "backups";
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(backups, ec)) {
                return "The configuration was backed up to " + entry.path().string();
            }
            return "no backup";
        }
        // Runs virtual time, and the event loop for the questions and boxes, until done() holds.
        bool RunUntil(const std::function<bool()>& done, std::uint32_t maxMs = 600000) {
            return radio.pump.AdvanceUntil(
                [&] {
                    QCoreApplication::processEvents();
                    return done();
                },
                maxMs);
        }
        // Runs virtual time until the bar has moved this far.
        bool RunToStep(int step) {
            return RunUntil([&] { return dialog->ProgressBar()->value() >= step; });
        }
        bool RunToEnd() {
            return RunUntil([&] { return dialog->Job().Finished(); });
        }
    };

  private slots:
    void ShowsTheLoadAndRefusesToCloseWhileItRuns() {
        Rig rig(true);
        rig.dialog->show();
        QCOMPARE(rig.dialog->windowTitle(), QStringLiteral("Sending RM7 Firmware"));
        QCOMPARE(rig.dialog->Button()->text(), QStringLiteral("Cancel"));
        QVERIFY(rig.dialog->OutcomeLabel()->isHidden());
        // A traced run: the program's and the system's versions open the log.
        QVERIFY(rig.Log().startsWith(QStringLiteral("RM7 Utility Version ")));
        QVERIFY(rig.Log().contains(QStringLiteral("RM7 MCU version 02.54")));

        QVERIFY(rig.RunToStep(100));
        QVERIFY(rig.radio.session->ActiveMachine() == &rig.dialog->Job().Machine());
        QVERIFY(rig.Log().contains(QStringLiteral("The configuration was backed up to ")));
        QCOMPARE(rig.dialog->ProgressBar()->maximum(), 0x1F580 / 32);
        // Beside the bar, what rm7util prints: bytes, the measured rate and the time left.
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+% +\\d+/128384 bytes +\\d+\\.\\d kB/s +\\d+:\\d\\d left$"))
                    .match(rig.dialog->TransferLabel()->text())
                    .hasMatch());
        QVERIFY(rig.Log().contains(QStringLiteral("Sending MCU firmware file ")));
        // Machine lines reach the status bar, trace lines only the log.
        QVERIFY(rig.Log().contains(QStringLiteral("LoadFirmwareInitial Send 132 bytes 0x")));
        const auto& status = rig.radio.notifier.shown;
        QVERIFY(std::any_of(status.begin(), status.end(),
                            [](const std::string& s) { return s.rfind("Sending MCU firmware file ", 0) == 0; }));
        QVERIFY(std::none_of(status.begin(), status.end(),
                             [](const std::string& s) { return s.find(" Send 132 bytes") != std::string::npos; }));

        // The close box and the button both ask; No leaves the load running.
        QVERIFY(!rig.dialog->close());
        QVERIFY(rig.RunUntil([&] { return rig.prompts.asked.size() == 1; }, 100));
        rig.dialog->Button()->click();
        QVERIFY(rig.RunUntil([&] { return rig.prompts.asked.size() == 2; }, 100));
        QCOMPARE(rig.prompts.asked[0].caption, std::string("Critical Operation in Progress"));
        // It asks about the load, and says what the radio does once it is stopped.
        QCOMPARE(rig.prompts.asked[0].text, std::string("Stop sending MCU firmware?\n\nThe radio will wait in its boot "
                                                        "loader until the next firmware send (Send New Firmware)."));
        QVERIFY(rig.dialog->isVisible());
        const int step = rig.dialog->ProgressBar()->value();
        QVERIFY(rig.RunToStep(step + 100));

        // Under Trace a good load stays open with its log; then Close needs no question.
        QVERIFY(rig.RunToEnd());
        QCOMPARE(rig.dialog->ProgressBar()->value(), rig.dialog->ProgressBar()->maximum());
        QVERIFY(rig.dialog->TransferLabel()->text().contains(
            QRegularExpression(QStringLiteral("^100% +128384/128384 bytes"))));
        QVERIFY(rig.Log().endsWith(QStringLiteral("MCU firmware version verified")));
        // What was loaded, in the versions the contact after the load read.
        QCOMPARE(rig.Outcome(),
                 QString::fromStdString("MCU 02.88 loaded: " + (rig.dir / "fmcu0288.hex").string() +
                                        "\nThe radio runs MCU 02.88 and DSP 02.54.\n" + rig.BackupLine()));
        QCOMPARE(rig.dialog->Button()->text(), QStringLiteral("Close"));
        QVERIFY(rig.dialog->isVisible());
        rig.dialog->Button()->click();
        QCOMPARE(rig.prompts.asked.size(), std::size_t{2});
        QVERIFY(!rig.dialog->isVisible());
        QCOMPARE(rig.dialog->result(), kLoaderDialogLoaded);
    }

    void AGoodLoadWithoutTraceClosesByItself() {
        Rig rig(false);
        rig.dialog->show();
        QVERIFY(rig.RunToEnd());
        QVERIFY(!rig.dialog->isVisible());
        QCOMPARE(rig.dialog->result(), kLoaderDialogLoaded);
        QVERIFY(rig.prompts.asked.empty());
        // The status line says what was done.
        QCOMPARE(rig.radio.notifier.shown.back(),
                 std::string("MCU 02.88 loaded: ") + (rig.dir / "fmcu0288.hex").string());
    }

    // Yes stops the load at its next packet; the window stays, saying it was cancelled (no elapsed
    // time), what a contact then found the radio doing and what to do next, until Close.
    void YesStopsTheLoadAndTheWindowSaysSo() {
        Rig rig(false);
        rig.prompts.answer = Answer::Yes;
        rig.dialog->show();
        QVERIFY(rig.RunToStep(50));
        const std::size_t packets = rig.radio.radio->Packets();
        rig.dialog->Button()->click();
        QVERIFY(rig.RunUntil([&] { return !rig.prompts.asked.empty(); }, 100));
        QCOMPARE(rig.prompts.asked.size(), std::size_t{1});
        QCOMPARE(rig.prompts.asked[0].text, std::string("Stop sending MCU firmware?\n\nThe radio will wait in its boot "
                                                        "loader until the next firmware send (Send New Firmware)."));
        QVERIFY(rig.dialog->isVisible());
        QVERIFY(rig.RunToEnd());
        QVERIFY(rig.dialog->isVisible());
        QVERIFY(rig.radio.radio->Packets() <= packets + 1);
        QCOMPARE(rig.Outcome(),
                 QString::fromStdString("MCU firmware load was cancelled\nThe radio waits in its boot loader.\n" +
                                        rig.BackupLine() + "\nSend the firmware again (Send New Firmware)."));
        QVERIFY(rig.dialog->OutcomeLabel()->isVisibleTo(rig.dialog.get()));
        const auto& status = rig.radio.notifier.shown;
        QVERIFY(std::none_of(status.begin(), status.end(),
                             [](const std::string& s) { return s.find("Elapsed time") != std::string::npos; }));
        QCOMPARE(status.back(), std::string("MCU firmware load was cancelled"));
        QVERIFY(!rig.Log().contains(QStringLiteral("complete")));
        QVERIFY(!rig.Log().contains(QStringLiteral("Error code")));
        QCOMPARE(rig.dialog->Button()->text(), QStringLiteral("Close"));
        QVERIFY(rig.dialog->close());
        QCOMPARE(rig.prompts.asked.size(), std::size_t{1});
        QCOMPARE(rig.dialog->result(), kLoaderDialogCancelled);
        // The dialog no longer owns the radio's events.
        QVERIFY(rig.radio.session->ActiveMachine() == nullptr);
    }

    void AFailedLoadStaysOpenWithItsCode() {
        Rig rig(false);
        test::WriteFile(rig.dir / "fmcu0288.hex", std::string(":020000040000FA\r\n"));  // no end-of-file record
        rig.dialog->show();
        QVERIFY(rig.RunToEnd());
        // The reader's line in the log; the failure once, in the outcome, with the radio untouched.
        QVERIFY(rig.Log().contains(QStringLiteral("error code 0xE2000023: Missing intel hex end-of-file record")));
        QCOMPARE(rig.Outcome(), QString::fromStdString("Failed to send MCU firmware: Missing intel hex end-of-file "
                                                       "record\nNothing on the radio was changed.\n" +
                                                       rig.BackupLine()));
        QCOMPARE(rig.dialog->Button()->text(), QStringLiteral("Close"));
        QVERIFY(rig.dialog->isVisible());
        QVERIFY(rig.dialog->close());
        QCOMPARE(rig.dialog->result(), kLoaderDialogFailed);
        QVERIFY(rig.prompts.asked.empty());
    }

    // A backup that cannot be written asks: No leaves the radio alone and the dialog open with
    // Close; Yes loads without a backup.
    void AFailedBackupAsksBeforeTheLoad() {
        for (const bool goOn : {false, true}) {
            Rig rig(false);
            rig.prompts.answer = goOn ? Answer::Yes : Answer::No;
            const auto backups = rig.dir / "data" / "Tarnwell" / "RM7 Utility" / "backups";
            std::filesystem::create_directories(backups.parent_path());
            test::WriteFile(backups, std::string("in the way"));
            rig.dialog->show();
            QVERIFY(rig.RunUntil([&] { return !rig.prompts.asked.empty(); }, 60000));
            QCOMPARE(rig.prompts.asked[0].caption, std::string("Configuration Backup"));
            QVERIFY(rig.prompts.asked[0].text.rfind("The configuration backup could not be written into " +
                                                        backups.string() + ": Error code 0x000000B7: ",
                                                    0) == 0);
            if (!goOn) {
                QVERIFY(rig.RunToEnd());
                QVERIFY(rig.Outcome().startsWith(
                    QStringLiteral("The job was not started: nothing was changed on the radio: ")));
                QCOMPARE(rig.radio.radio->Packets(), 0u);
                QCOMPARE(rig.dialog->Button()->text(), QStringLiteral("Close"));
                QVERIFY(rig.dialog->close());
                QCOMPARE(rig.dialog->result(), kLoaderDialogFailed);
            } else {
                QVERIFY(rig.RunToEnd());
                QVERIFY(rig.Log().contains(QStringLiteral("The configuration backup could not be written into")));
                QCOMPARE(rig.dialog->result(), kLoaderDialogLoaded);
                QVERIFY(rig.radio.radio->Packets() > 0);
            }
            QCOMPARE(rig.prompts.asked.size(), std::size_t{1});
        }
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::LoaderDialogTest)
#include "loader_dialog_test.moc"
