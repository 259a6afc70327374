// The Firmware page's wiring, offscreen, against the in-process radio in virtual time: it shows
// what the radio runs beside what the folder holds, and its buttons open the loader dialogs in
// the right order and only when they should.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include <QElapsedTimer>

#include <algorithm>
#include <thread>

#include "firmware/ui/firmware_page.h"
#include "firmware/ui/ftp_dialog.h"
#include "firmware/ui/loader_dialog.h"
#include "platform/settings.h"
#include "tests/support/firmware_files.h"
#include "tests/support/loader_rig.h"
#include "tests/support/recording_dialog_prompts.h"
#include "tests/support/temp_folder.h"

namespace rm7 {

class FirmwarePageTest : public QObject {
    Q_OBJECT

  private:
    // A contacted radio (by default running 02.54 / 02.54) and a page on a folder the test fills.
    struct Rig {
        test::CTempFolder dir;
        test::CLoaderRig radio;
        std::unique_ptr<CFirmwarePage> page;
        std::vector<LoaderPart> opened;
        std::vector<bool> backedUp;  // per load the page ran: whether its dialog made a backup

        explicit Rig(rm7sim::Options options = {}) : radio(WithLatency(options)) {
            // Each load's configuration backup goes into the test's folder.
            setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
            QVERIFY(radio.Contact() == kOk);
            radio.model->firmwareFolder.Set(dir.Path().string());
            page = std::make_unique<CFirmwarePage>(*radio.session);
        }
        static rm7sim::Options WithLatency(rm7sim::Options options) {
            options.latencyMs = 1;
            return options;
        }
        // Runs each load the page asks for through its dialog against the radio.
        void RealLoads() {
            page->SetLoaderRunner([this](LoaderPart part, const std::filesystem::path& file, bool backupFirst) {
                opened.push_back(part);
                CLoaderDlg dialog(*radio.session, part, file, page.get(), DialogPrompts::Qt(), backupFirst);
                dialog.show();
                if (!radio.pump.AdvanceUntil([&] { return dialog.Job().Finished(); }, 3'600'000)) {
                    return kLoaderDialogFailed;
                }
                backedUp.push_back(dialog.LogView()->toPlainText().contains("The configuration was backed up to"));
                // A good load without Trace closes by itself with its result.
                return dialog.isVisible() ? kLoaderDialogFailed : dialog.result();
            });
        }
        // Records which loads the page asks for and answers each with `result`, without a radio.
        void FakeLoads(int result) {
            page->SetLoaderRunner([this, result](LoaderPart part, const std::filesystem::path&, bool) {
                opened.push_back(part);
                return result;
            });
        }
        // The copy's worker posts from its own thread; the pump of the test is driven by hand.
        bool RunUntilHidden(QDialog& dialog) {
            QElapsedTimer t;
            t.start();
            while (dialog.isVisible() && t.elapsed() < 30000) {
                QCoreApplication::processEvents();
                radio.pump.RunUntilIdle();
                // A look every few milliseconds, not a spin that takes a core from the worker.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return !dialog.isVisible();
        }
        QString Text(QWidget* w) const { return static_cast<QLabel*>(w)->text(); }
        bool StatusHas(const std::string& prefix) const {
            const auto& s = radio.notifier.shown;
            return std::any_of(s.begin(), s.end(), [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
        }
    };

  private slots:
    void SendNewerLoadsMcuThenDspIntoTheRadio() {
        Rig rig;
        const auto mcu = test::McuImageBytes(3, "0288");
        const auto dsp = test::DspImageBytes(3000, 4, "0291");
        test::WriteHexFile(rig.dir / "fmcu0288.hex", mcu, kMcuLowAddress);
        test::WriteHexFile(rig.dir / "fmcu0254.hex", test::McuImageBytes(5, "0254"), kMcuLowAddress);
        test::WriteHexFile(rig.dir / "fdsp0291.hex", dsp, 0);
        rig.RealLoads();
        rig.page->OnSetActive();

        QCOMPARE(rig.page->InstalledLabel(kKindMcu)->text(), QStringLiteral("02.54"));
        QCOMPARE(rig.page->InstalledLabel(kKindDsp)->text(), QStringLiteral("02.54"));
        QCOMPARE(rig.page->AvailableLabel(kKindMcu)->text(), QStringLiteral("02.88"));
        QCOMPARE(rig.page->AvailableLabel(kKindDsp)->text(), QStringLiteral("02.91"));
        QCOMPARE(rig.page->FolderEdit()->text(), QString::fromStdString(rig.dir.Path().string()));
        QCOMPARE(rig.page->SendNewerButton()->text(), QStringLiteral("Send New Firmware to RM7"));
        QCOMPARE(rig.page->SendFirstButton()->text(), QStringLiteral("Send All Firmware to RM7"));
        QVERIFY(rig.page->SendNewerButton()->isEnabled());
        QVERIFY(!rig.page->LoadBox(kKindMcu)->isVisibleTo(rig.page.get()));

        rig.page->SendNewerButton()->click();
        QCOMPARE(rig.opened, (std::vector<LoaderPart>{LoaderPart::Mcu, LoaderPart::Dsp}));
        QCOMPARE(rig.radio.radio->McuFlash(), test::Reconciled(mcu));
        QCOMPARE(rig.radio.radio->DspFlash(), dsp);
        // The radio's new versions reach the page through the model.
        QCOMPARE(rig.page->InstalledLabel(kKindMcu)->text(), QStringLiteral("02.88"));
        QCOMPARE(rig.page->InstalledLabel(kKindDsp)->text(), QStringLiteral("02.91"));
        QVERIFY(!rig.page->SendNewerButton()->isEnabled());
        QCOMPARE(rig.page->SendNewerButton()->toolTip(),
                 QStringLiteral("The folder holds nothing newer than the RM7 runs"));
        // One backup for the send: the DSP load finds the configuration the MCU load's backup holds.
        QCOMPARE(rig.backedUp, (std::vector<bool>{true, false}));
        QVERIFY(rig.page->SendFirstButton()->isEnabled());
        QVERIFY(rig.StatusHas("Sending firmware from " + rig.dir.Path().string()));
        // Said once what was done, in the versions the contact after the load found, then the time.
        const auto& shown = rig.radio.notifier.shown;
        QVERIFY(shown.size() >= 2);
        QCOMPARE(shown[shown.size() - 2], std::string("MCU 02.88 and DSP 02.91 loaded"));
        QVERIFY(rig.radio.notifier.shown.back().rfind("Elapsed time: ", 0) == 0);
    }

    // A send that was stopped or failed says so at the end, without the time a done one gives.
    void TheEndOfASendSaysWhatHappened() {
        const struct {
            const char* name;
            int result;
            const char* last;
        } cases[] = {
            {"cancelled", kLoaderDialogCancelled, kFirmwareSendCancelledText},
            {"failed", kLoaderDialogFailed, kFirmwareSendFailedText},
        };
        for (const auto& c : cases) {
            Rig rig;
            test::WriteFile(rig.dir / "fmcu0300.hex", std::string(":00000001FF\r\n"));
            rig.FakeLoads(c.result);
            rig.page->OnSetActive();
            rig.radio.notifier.shown.clear();
            rig.page->SendNewerButton()->click();
            QCOMPARE(rig.opened, std::vector<LoaderPart>{LoaderPart::Mcu});
            QVERIFY2(!rig.radio.notifier.shown.empty(), c.name);
            QCOMPARE(rig.radio.notifier.shown.back(), std::string(c.last));
            QVERIFY2(!rig.StatusHas("Elapsed time: "), c.name);
            QVERIFY2(!rig.StatusHas("MCU "), c.name);
        }
    }

    // From its boot loader the radio tells no DSP version: "Send New" judges the DSP only once
    // the MCU load is done and the radio has told it, and keeps a DSP that is already current.
    void SendNewFromTheBootLoaderKeepsACurrentDsp() {
        rm7sim::Options options;
        options.bootLoader = true;
        options.dspVersion = 291;
        Rig rig(options);
        const auto mcu = test::McuImageBytes(3, "0288");
        const auto dsp = test::DspImageBytes(3000, 4, "0291");
        test::WriteHexFile(rig.dir / "fmcu0288.hex", mcu, kMcuLowAddress);
        test::WriteHexFile(rig.dir / "fdsp0291.hex", dsp, 0);
        rig.RealLoads();
        rig.page->OnSetActive();
        QCOMPARE(rig.radio.model->firmwareStatus.Get(), kFirmwareBootLoader);
        QVERIFY(rig.page->SendNewerButton()->isEnabled());

        rig.page->SendNewerButton()->click();
        QCOMPARE(rig.opened, std::vector<LoaderPart>{LoaderPart::Mcu});
        QCOMPARE(rig.radio.radio->McuFlash(), test::Reconciled(mcu));
        QCOMPARE(rig.page->InstalledLabel(kKindMcu)->text(), QStringLiteral("02.88"));
        QCOMPARE(rig.page->InstalledLabel(kKindDsp)->text(), QStringLiteral("02.91"));
        QVERIFY(rig.radio.radio->DspFlash() != dsp);
        QVERIFY(!rig.page->SendNewerButton()->isEnabled());

        // "Send All" still sends both.
        rig.opened.clear();
        rig.page->SendFirstButton()->click();
        QCOMPARE(rig.opened, (std::vector<LoaderPart>{LoaderPart::Mcu, LoaderPart::Dsp}));
        QCOMPARE(rig.radio.radio->DspFlash(), dsp);

        // A loader that a load cut short left in the middle of a packet is found waiting too.
        rm7sim::Options cut;
        cut.midPacket = 60;
        Rig waiting(cut);
        test::WriteHexFile(waiting.dir / "fmcu0288.hex", mcu, kMcuLowAddress);
        waiting.page->OnSetActive();
        QCOMPARE(waiting.radio.model->firmwareStatus.Get(), kFirmwareBootLoader);
        QVERIFY(waiting.page->SendNewerButton()->isEnabled());
    }

    void CheckedBoxesChooseWhatIsSentAndAFailedMcuStopsTheDsp() {
        Rig rig;
        test::WriteFile(rig.dir / "fmcu0260.hex", std::string(":00000001FF\r\n"));
        test::WriteFile(rig.dir / "fdsp0260.hex", std::string(":00000001FF\r\n"));
        rig.FakeLoads(kLoaderDialogFailed);
        rig.radio.model->advancedMode.Set(1);
        rig.page->OnSetActive();

        QVERIFY(rig.page->LoadBox(kKindMcu)->isVisibleTo(rig.page.get()));
        QCOMPARE(rig.page->SendFirstButton()->text(), QStringLiteral("Send Checked Items to RM7"));
        QVERIFY(!rig.page->SendFirstButton()->isEnabled());

        rig.page->LoadBox(kKindDsp)->click();
        QVERIFY(rig.page->SendFirstButton()->isEnabled());
        rig.page->SendFirstButton()->click();
        QCOMPARE(rig.opened, std::vector<LoaderPart>{LoaderPart::Dsp});

        rig.opened.clear();
        rig.page->LoadBox(kKindMcu)->click();
        rig.page->SendFirstButton()->click();
        QCOMPARE(rig.opened, std::vector<LoaderPart>{LoaderPart::Mcu});

        // Off again, everything is sent: MCU, and after a good MCU load the DSP.
        rig.opened.clear();
        rig.FakeLoads(kLoaderDialogLoaded);
        rig.radio.model->advancedMode.Set(0);
        QVERIFY(!rig.page->LoadBox(kKindMcu)->isVisibleTo(rig.page.get()));
        rig.page->SendFirstButton()->click();
        QCOMPARE(rig.opened, (std::vector<LoaderPart>{LoaderPart::Mcu, LoaderPart::Dsp}));
    }

    void AFolderWithoutFirmwareRefusesAndTheEditChoosesAnother() {
        Rig rig;
        rig.FakeLoads(kLoaderDialogLoaded);
        rig.radio.model->firmwareFolder.Set((rig.dir / "missing").string());
        rig.page->OnSetActive();
        QCOMPARE(rig.page->AvailableLabel(kKindMcu)->text(), QStringLiteral("Missing"));
        QCOMPARE(rig.page->AvailableLabel(kKindDsp)->text(), QStringLiteral("Missing"));
        // Said once as the page is shown, not once for each thing that makes it look, nor again
        // at each visit; a copy the user asked for says what it left missing.
        const auto& status = rig.radio.notifier.shown;
        const auto said = [&] {
            return std::count(status.begin(), status.end(), std::string(kFolderMissingFilesText));
        };
        QCOMPARE(said(), 1);
        for (int visit = 0; visit < 2; ++visit) {
            rig.page->OnKillActive();
            rig.page->OnSetActive();
        }
        QCOMPARE(said(), 1);
        rig.page->SetCopyRunner([](const std::filesystem::path&, const FolderContents&) { return 0; });
        rig.page->CopyButton()->click();
        QCOMPARE(said(), 2);
        QVERIFY(!rig.page->SendFirstButton()->isEnabled());
        QVERIFY(!rig.page->SendNewerButton()->isEnabled());

        test::WriteFile(rig.dir / "fmcu0300.hex", std::string(":00000001FF\r\n"));
        rig.page->FolderEdit()->setText(QString::fromStdString("  " + rig.dir.Path().string() + " \t"));
        emit rig.page->FolderEdit()->editingFinished();
        QCOMPARE(rig.radio.model->firmwareFolder.Get(), rig.dir.Path().string());
        QCOMPARE(rig.page->AvailableLabel(kKindMcu)->text(), QStringLiteral("03.00"));
        QVERIFY(rig.page->SendNewerButton()->isEnabled());

        // The file goes before the button is pressed: the page looks again and refuses.
        std::filesystem::remove(rig.dir / "fmcu0300.hex");
        rig.page->SendNewerButton()->click();
        QVERIFY(rig.opened.empty());
        QCOMPARE(rig.radio.notifier.BoxLines().back(), std::string("Error: ") + kFolderMissingFilesText);
        QVERIFY(!rig.page->SendNewerButton()->isEnabled());
    }

    // However tall the page, the versions table stays compact at the top of its box (the header
    // row right above its rows, the buttons right below).
    void TheVersionsTableSitsCompactAtTheTop() {
        Rig rig;
        rig.radio.model->advancedMode.Set(1);
        rig.page->OnSetActive();
        rig.page->resize(900, 760);
        rig.page->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.page.get()));
        QWidget* box = rig.page->LoadHeader()->parentWidget();
        const int header = rig.page->LoadHeader()->geometry().bottom();
        const int mcuRow = rig.page->InstalledLabel(kKindMcu)->geometry().top();
        const int dspRow = rig.page->InstalledLabel(kKindDsp)->geometry().bottom();
        QVERIFY2(mcuRow - header < 24, qPrintable(QStringLiteral("%1 %2").arg(header).arg(mcuRow)));
        QVERIFY2(rig.page->SendNewerButton()->geometry().top() - dspRow < 48,
                 qPrintable(QString::number(rig.page->SendNewerButton()->geometry().top() - dspRow)));
        QVERIFY2(
            rig.page->SendNewerButton()->geometry().bottom() < box->height() / 2,
            qPrintable(
                QStringLiteral("%1 of %2").arg(rig.page->SendNewerButton()->geometry().bottom()).arg(box->height())));
    }

    void StatusTextsReachTheActivityLogWithTheTime() {
        Rig rig;
        rig.page->OnSetActive();
        const std::string text = "Elapsed time: 3 seconds\r\n";
        rig.radio.model->Pump().Send(rig.page.get(), kMsgFirmwarePageText, 0, reinterpret_cast<LParam>(&text));
        const QStringList lines = rig.page->ActivityLog()->toPlainText().split(QLatin1Char('\n'));
        const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d "));
        // The program's and the system's versions are for Verbose Logging, not the owner's log.
        QVERIFY2(!rig.page->ActivityLog()->toPlainText().contains(QStringLiteral("Version ")),
                 qPrintable(lines.first()));
        QVERIFY2(lines.last().contains(QRegularExpression(time.pattern() + QStringLiteral("Elapsed time: 3 seconds$"))),
                 qPrintable(lines.last()));
    }

    void CopyButtonScansOpensTheCopyAndRefreshes() {
        Rig rig;
        test::WriteFile(rig.dir / "fmcu0254.hex", std::string(":00000001FF\r\n"));
        rig.page->OnSetActive();
        QVERIFY(rig.page->CopyButton()->isEnabled());
        QCOMPARE(rig.page->CopyButton()->toolTip(), QStringLiteral("Get new firmware from Tarnwell file server"));
        std::vector<std::uint16_t> seen;
        rig.page->SetCopyRunner([&](const std::filesystem::path& folder, const FolderContents& contents) {
            // The scan before the copy, not one from before the folder changed.
            seen.push_back(contents.Mcu().version);
            test::WriteFile(folder / "fmcu0260.hex", std::string(":00000001FF\r\n"));
            return kFtpResultDone;
        });
        test::WriteFile(rig.dir / "fmcu0255.hex", std::string(":00000001FF\r\n"));
        rig.radio.notifier.shown.clear();
        rig.page->CopyButton()->click();
        QCOMPARE(seen, std::vector<std::uint16_t>{255});
        QVERIFY(rig.StatusHas("Ready"));
        QCOMPARE(rig.Text(rig.page->AvailableLabel(kKindMcu)), QStringLiteral("02.60"));
    }

    void CopyDialogCopiesFromAMirrorAndClosesByItself() {
        Rig rig;
        const test::CTempFolder mirror;
        std::filesystem::create_directories(mirror / "RM7" / "firmware");
        test::WriteHexFile(mirror / "RM7" / "firmware" / "fdsp0300.hex", test::DspImageBytes(3000, 4, "0300"), 0);
        test::WriteFile(mirror / "RM7" / "firmware" / "ffwnotes.rtf", std::string("{\\rtf1 notes}"));
        const std::string server = "file://" + mirror.Path().string();

        CFtpDlg dialog(rig.radio.pump, rig.dir.Path(), ScanFolder(rig.dir.Path()), server, false, {});
        dialog.show();
        QVERIFY(rig.RunUntilHidden(dialog));
        QCOMPARE(dialog.result(), kFtpResultDone);
        QVERIFY(dialog.Log()->toPlainText().contains(QStringLiteral("Copied 2 files from Tarnwell")));
        QVERIFY(dialog.OutcomeLabel()->isHidden());
        QCOMPARE(ScanFolder(rig.dir.Path()).Dsp().version, std::uint16_t{300});

        // A folder that is missing and not to be created: nothing is made, result 3.
        test::CRecordingPrompts prompts;  // answers No
        CFtpDlg refused(rig.radio.pump, rig.dir / "missing", FolderContents{}, server, false,
                        test::RecordingDialogPrompts(prompts));
        refused.show();
        QVERIFY(rig.RunUntilHidden(refused));
        QCOMPARE(refused.result(), kFtpResultFailed);
        QCOMPARE(prompts.AskedCaptions(), std::vector<std::string>{"Create folder"});
        QVERIFY(!std::filesystem::exists(rig.dir / "missing"));
    }

    void CopyDialogCancelsWhileRunningAndKeepsAFailureOnScreen() {
        Rig rig;
        const test::CTempFolder mirror;
        std::filesystem::create_directories(mirror / "RM7" / "firmware");
        test::WriteHexFile(mirror / "RM7" / "firmware" / "fdsp0300.hex", test::DspImageBytes(3000, 4, "0300"), 0);
        const std::string server = "file://" + mirror.Path().string();

        // The frame's close waits for the run; Cancel stops it, nothing copied, and the window
        // stays with what happened until Close, with result 2.
        // Closed before its run began: cancelled, and the run never starts.
        CFtpDlg early(rig.radio.pump, rig.dir.Path(), ScanFolder(rig.dir.Path()), server, false, {});
        early.show();
        early.close();
        QCoreApplication::processEvents();
        QCOMPARE(early.result(), kFtpResultCancelled);
        QCOMPARE(early.Job().State(), FtpState::Idle);

        CFtpDlg running(rig.radio.pump, rig.dir.Path(), ScanFolder(rig.dir.Path()), server, false, {});
        running.show();
        QCoreApplication::processEvents();
        QCOMPARE(running.Button()->text(), QStringLiteral("Cancel"));
        running.close();
        QVERIFY(running.isVisible());
        running.Button()->click();
        QCOMPARE(running.Button()->text(), QStringLiteral("Close"));
        QVERIFY(running.isVisible());
        QCOMPARE(running.OutcomeLabel()->text().toStdString(), std::string(kFetchCancelledText));
        running.Button()->click();
        QVERIFY(!running.isVisible());
        QCOMPARE(running.result(), kFtpResultCancelled);
        QVERIFY(!std::filesystem::exists(rig.dir / "fdsp0300.hex"));

        // A failure stays on the screen until the user has read it and clicks Close.
        CFtpDlg failed(rig.radio.pump, rig.dir.Path(), ScanFolder(rig.dir.Path()), "http://127.0.0.1/", false, {});
        failed.show();
        for (int i = 0; i < 100 && failed.Button()->text() != QStringLiteral("Close"); ++i) {
            rig.radio.pump.RunUntilIdle();
            QCoreApplication::processEvents();
        }
        QCOMPARE(failed.Button()->text(), QStringLiteral("Close"));
        QVERIFY(failed.isVisible());
        // Said once, at the end: what failed and why, in the outcome (and its one box), not also in the log.
        QVERIFY(failed.OutcomeLabel()->text().startsWith(QString::fromLatin1(kFetchFailedText) + QStringLiteral(": ")));
        QVERIFY(failed.OutcomeLabel()->text().contains(QStringLiteral("completed with error 0x00002EE6")));
        QVERIFY(!failed.Log()->toPlainText().contains(QStringLiteral("completed with error")));
        failed.Button()->click();
        QTRY_VERIFY(!failed.isVisible());  // once its box was seen
        QCOMPARE(failed.result(), kFtpResultFailed);

        // So does a run in which a newer file was refused: its "verify failed" stays readable.
        test::WriteFile(mirror / "RM7" / "firmware" / "fdsp0300.hex", std::string(":0400000001020304F2\r\n"));
        CFtpDlg refused(rig.radio.pump, rig.dir.Path(), ScanFolder(rig.dir.Path()), server, false, {});
        refused.show();
        QElapsedTimer waited;
        waited.start();
        while (refused.Button()->text() != QStringLiteral("Close") && waited.elapsed() < 30000) {
            rig.radio.pump.RunUntilIdle();
            QCoreApplication::processEvents();
            std::this_thread::yield();
        }
        QCOMPARE(refused.Button()->text(), QStringLiteral("Close"));
        QVERIFY(refused.isVisible());
        QVERIFY(refused.Log()->toPlainText().contains(QStringLiteral("File fdsp0300.hex verify failed")));
        QVERIFY(refused.OutcomeLabel()->text().contains(QStringLiteral("refused 1 of 1 files (fdsp0300.hex: ")));
        refused.Button()->click();
        QTRY_VERIFY(!refused.isVisible());
        QCOMPARE(refused.result(), kFtpResultFailed);
        QVERIFY(!std::filesystem::exists(rig.dir / "fdsp0300.hex"));
    }

    void LoadCheckboxIsKeptInTheSettings() {
        CManualPump pump;
        rm7sim::Radio radio(rm7sim::Options{});
        const test::CTempFolder dir;
        CSettingsStore store(dir / "settings.conf");
        store.WriteDword("", kLoadCheckboxName, kLoadDspBit);
        CModel model(pump, &store);
        CRadioSession session(model, std::make_unique<CMemoryPort>(pump, radio));
        model.advancedMode.Set(1);
        {
            CFirmwarePage page(session);
            page.OnSetActive();
            QVERIFY(!page.LoadBox(kKindMcu)->isChecked());
            QVERIFY(page.LoadBox(kKindDsp)->isChecked());
            // Enabled only for a file in the folder; the bits hold either way.
            model.firmwareFolder.Set(dir.Path().string());
            test::WriteFile(dir / "fmcu0260.hex", std::string(":00000001FF\r\n"));
            model.firmwareFolder.Set(dir.Path().string() + "/");
            QVERIFY(page.LoadBox(kKindMcu)->isEnabled());
            QVERIFY(!page.LoadBox(kKindDsp)->isEnabled());
            page.LoadBox(kKindMcu)->click();
        }
        std::uint32_t bits = 0;
        QCOMPARE(store.ReadDword("", kLoadCheckboxName, bits), kOk);
        QCOMPARE(bits, static_cast<std::uint32_t>(kLoadMcuBit | kLoadDspBit));
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::FirmwarePageTest)
#include "firmware_page_test.moc"
