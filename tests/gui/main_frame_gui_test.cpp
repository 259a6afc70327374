// The desktop application's wiring, offscreen, against rm7-sim on a real pty: the title and
// status bar follow the radio, the Port page's choices reach the model, the start-up rules
// (saved page, placement, this run's port) hold, and boxes the core asks for appear without
// stopping the radio's conversation.
#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/app_session.h"
#include "app/frame_logic.h"
#include "app/help_window.h"
#include "app/main_frame.h"
#include "app/tab_view.h"
#include "clock/ui/date_time_sheet.h"
#include "config/ui/configuration_page.h"
#include "firmware/ui/firmware_page.h"
#include "firmware/ui/release_notes_dialog.h"
#include "link/contact.h"
#include "link/ui/port_page.h"
#include "memories/ui/banner_sheet.h"
#include "memories/ui/cw_memory_dialog.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "platform/program_version.h"
#include "platform/version.h"
#include "terminal/ui/command_tester_page.h"
#include "tests/support/recording_window.h"
#include "txgain/txgc_job.h"
#include "txgain/ui/calibration_page.h"

namespace rm7 {
namespace {

constexpr int kDeadlineMs = 60000;

const QString kVersion = QStringLiteral("RM7 Utility Version %1.%2.%3.%4")
                             .arg(kVersionMajor)
                             .arg(kVersionMinor)
                             .arg(kVersionPatch)
                             .arg(kVersionTweak);

// A simulated radio on a pty for the length of a test.
class CSimulatedRadio {
  public:
    explicit CSimulatedRadio(const std::vector<std::string>& args) {
        if (m_process.Start(std::string(RM7_BIN_DIR) + "/rm7-sim", args) == kOk) {
            m_process.ReadFirstLine(m_port, 10000);
        }
    }
    const std::string& Port() const { return m_port; }
    QString QPort() const { return QString::fromStdString(m_port); }

  private:
    CChildProcess m_process;
    std::string m_port;
};

// The boxes the core opened, oldest first.
std::vector<QMessageBox*> Boxes(QWidget* frame) {
    std::vector<QMessageBox*> boxes;
    for (QMessageBox* box : frame->findChildren<QMessageBox*>(QStringLiteral("messageBox"))) {
        if (box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

bool HasBox(QWidget* frame, const QString& caption, const QString& text) {
    for (QMessageBox* box : Boxes(frame)) {
        if (box->windowTitle() == caption && box->text() == text) {
            return true;
        }
    }
    return false;
}

void CloseBoxes(QWidget* frame) {
    for (QMessageBox* box : Boxes(frame)) {
        box->close();
    }
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_home;
    std::unique_ptr<CAppSession> m_session;

    // Settings as a previous run left them.
    void WriteSettings(const std::function<void(CSettingsStore&)>& fill) {
        CSettingsStore store(SettingsFilePath());
        fill(store);
        QCOMPARE(store.Save(), kOk);
    }
    CSettingsStore SavedSettings() {
        CSettingsStore store(SettingsFilePath());
        store.Load();
        return store;
    }
    CMainFrame& Start(const std::string& port, bool show = true) {
        AppOptions options;
        options.port = port;
        m_session = std::make_unique<CAppSession>(options);
        m_session->Start();
        if (show) {
            m_session->Frame().show();
        }
        return m_session->Frame();
    }
    CPortPage* PortPage() { return static_cast<CPortPage*>(m_session->Frame().TabView()->Page(kPagePort)); }
    // The title is complete once the serial number is read; the contact ends after the DSP version.
    void WaitForRadio(CMainFrame& frame, const QString& title) {
        QTRY_COMPARE_WITH_TIMEOUT(frame.windowTitle(), title, kDeadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_session->Radio().Contact().IsIdle(), kDeadlineMs);
    }
    // Opens a page's dialog with its button and presses F1 once the dialog's read is done (so it
    // closes without a question); the main window's help topic then, empty without one.
    template <class Dialog>
    QString F1TopicIn(CMainFrame& frame, QPushButton* button) {
        QString topic;
        QTimer::singleShot(0, &frame, [&] {
            auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    other->reject();
                }
                return;
            }
            const bool read = QTest::qWaitFor(
                [&] { return dialog->Job().Machine().IsIdle() && dialog->SaveButton()->isEnabled(); }, kDeadlineMs);
            if (read) {
                QTest::keyClick(dialog, Qt::Key_F1);
                if (frame.HelpWindow() != nullptr && frame.HelpWindow()->isVisible()) {
                    topic = frame.HelpWindow()->CurrentTopic();
                }
            }
            static_cast<QDialog*>(dialog)->reject();
        });
        button->click();
        return topic;
    }
    QString FoundTitle(int serial, const CSimulatedRadio& radio, int speed) {
        return kVersion + QStringLiteral(" - S/N %1 on %2 at %3 bit/s")
                              .arg(serial, 5, 10, QLatin1Char('0'))
                              .arg(radio.QPort())
                              .arg(speed);
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
    }

    void cleanup() {
        m_session.reset();
        QFile::remove(QString::fromStdString(SettingsFilePath().string()));
    }

    // A radio left transmitting: the window asks, from the event loop, whether to switch it to
    // receive; Yes does, and the contact that follows finds it in receive.
    void radioFoundTransmittingIsOfferedReceive() {
        CSimulatedRadio radio({"--transmitting"});
        QVERIFY(!radio.Port().empty());
        CMainFrame& frame = Start(radio.Port());
        const auto question = [&frame] {
            auto* box = frame.findChild<QMessageBox*>(QStringLiteral("transmitQuestion"));
            return box != nullptr && box->isVisible() ? box : nullptr;
        };
        QTRY_VERIFY_WITH_TIMEOUT(question() != nullptr, kDeadlineMs);
        QCOMPARE(question()->windowTitle(), QString::fromUtf8(kTransmittingCaption));
        QCOMPARE(question()->text(), QString::fromUtf8(kTransmittingQuestion));
        QVERIFY(m_session->Model().transmitState == CModel::TransmitState::kTransmitting);
        // The radio's conversation went on behind the question: the contact has ended.
        QVERIFY(m_session->Radio().Contact().IsIdle());
        question()->button(QMessageBox::Yes)->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_session->Model().transmitState == CModel::TransmitState::kReceiving &&
                                     m_session->Radio().Contact().IsIdle(),
                                 kDeadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(question() == nullptr, kDeadlineMs);
        CloseBoxes(&frame);
    }

    void foundRadioShowsInTitleStatusAndIndicator() {
        CSimulatedRadio radio({"--speed", "9600", "--serial", "1234"});
        QVERIFY(!radio.Port().empty());
        WriteSettings([](CSettingsStore& s) { s.WriteString("", "Port", "/dev/ttyUSB7"); });
        CMainFrame& frame = Start(radio.Port());

        WaitForRadio(frame, FoundTitle(1234, radio, 9600));
        const QString mcu = QStringLiteral("RM7 MCU version 02.54 on %1 at 9600 bit/s").arg(radio.QPort());
        QCOMPARE(frame.StatusBarText(), mcu);
        // The indicator tells what was found; no box at start-up (only Test Communications has one).
        QVERIFY(frame.IndicatorText().startsWith(QStringLiteral("RM7 S/N 01234 MCU 02.54")));
        QCOMPARE(frame.Indicator()->toolTip(), QStringLiteral("RM7 found on %1 at 9600 bit/s").arg(radio.QPort()));
        QVERIFY(Boxes(&frame).empty());
        // Test Communications looks again and says what it found in a box.
        QTest::mouseClick(PortPage()->TestButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(HasBox(&frame, QStringLiteral("RM7 Status"), mcu), kDeadlineMs);
        CloseBoxes(&frame);

        // This run's port is not saved: the saved one stays.
        m_session.reset();
        std::string saved;
        QCOMPARE(SavedSettings().ReadString("", "Port", saved), kOk);
        QCOMPARE(saved, std::string("/dev/ttyUSB7"));
    }

    void simulateStartsTheSimulatedRadioAndNeverSavesItsPort() {
        AppOptions options;
        options.simulate = true;
        options.simArgs = "--speed 19200 --serial 300";
        options.simulator = std::string(RM7_BIN_DIR) + "/rm7-sim";
        m_session = std::make_unique<CAppSession>(options);
        QCOMPARE(m_session->Start(), kOk);
        QVERIFY(!m_session->SimulatedPort().empty());
        m_session->Frame().show();
        QTRY_COMPARE_WITH_TIMEOUT(m_session->Frame().windowTitle(),
                                  kVersion + QStringLiteral(" - S/N 00300 on %1 at 19200 bit/s")
                                                 .arg(QString::fromStdString(m_session->SimulatedPort())),
                                  kDeadlineMs);
        // A scratch folder, empty, and a scratch mirror with newer firmware: a copy has work to do.
        const std::filesystem::path folder = m_session->Model().firmwareFolder.Get();
        const std::string server = m_session->Model().fileServerForRun;
        QVERIFY(std::filesystem::is_directory(folder) && std::filesystem::is_empty(folder));
        QVERIFY(server.starts_with("file:///"));
        const std::filesystem::path mirror = server.substr(7);
        QVERIFY(std::filesystem::is_regular_file(mirror / "RM7" / "firmware" / "fmcu0300.hex"));
        QVERIFY(std::filesystem::is_regular_file(mirror / "RM7" / "firmware" / "ffwnotes.rtf"));
        m_session.reset();
        std::string saved;
        QVERIFY(SavedSettings().ReadString("", "Port", saved) != kOk || saved.empty());
        // Neither the scratch folder nor the scratch server is saved, and both are gone.
        QVERIFY(SavedSettings().ReadString("", "FirmwareFolder", saved) != kOk || saved != folder.string());
        QVERIFY(SavedSettings().ReadString("", "FileServer", saved) != kOk || saved != server);
        QVERIFY(!std::filesystem::exists(folder) && !std::filesystem::exists(mirror));
    }

    void choosingAnotherPortContactsAgainAndTheSameDoesNothing() {
        CSimulatedRadio first({"--speed", "9600", "--serial", "1234"});
        CSimulatedRadio second({"--speed", "19200", "--serial", "4321"});
        QVERIFY(!first.Port().empty() && !second.Port().empty());
        CMainFrame& frame = Start(first.Port());
        WaitForRadio(frame, FoundTitle(1234, first, 9600));
        CloseBoxes(&frame);

        test::CRecordingWindow recorder;
        CObservation portState(m_session->Model().portState, &recorder);
        CPortPage* page = PortPage();
        // The same port, picked from the list and typed: nothing closes, nothing restarts.
        const int index = page->PortList()->findData(first.QPort());
        QVERIFY(index >= 0);
        page->PortList()->setCurrentIndex(index);
        emit page->PortList()->activated(index);
        page->PortList()->lineEdit()->setText(first.QPort());
        QTest::keyClick(page->PortList()->lineEdit(), Qt::Key_Return);
        QVERIFY(recorder.messages.empty());
        QVERIFY(m_session->Radio().Contact().IsIdle());
        QCOMPARE(frame.windowTitle(), FoundTitle(1234, first, 9600));

        // Another port, typed as a path: the first closes and the second radio is found.
        page->PortList()->lineEdit()->setText(QStringLiteral("  ") + second.QPort());
        QTest::keyClick(page->PortList()->lineEdit(), Qt::Key_Return);
        QVERIFY(!recorder.messages.empty());
        QCOMPARE(m_session->Model().portName.Get(), second.Port());
        WaitForRadio(frame, FoundTitle(4321, second, 19200));
        // The typed port joined the list, and is the one selected.
        QCOMPARE(page->PortList()->currentData().toString(), second.QPort());
        CloseBoxes(&frame);
    }

    void closePortShowsClosedWhetherOrNotARadioWasFound() {
        CSimulatedRadio radio({"--speed", "9600", "--serial", "1234"});
        CMainFrame& frame = Start(radio.Port());
        WaitForRadio(frame, FoundTitle(1234, radio, 9600));
        CloseBoxes(&frame);
        QTest::mouseClick(PortPage()->CloseButton(), Qt::LeftButton);
        QCOMPARE(frame.windowTitle(), kVersion + QStringLiteral(" on %1 closed").arg(radio.QPort()));
        QCOMPARE(frame.StatusBarText(), QStringLiteral("Serial port %1 is closed").arg(radio.QPort()));
        m_session.reset();

        // A radio that never answers: closing changes nothing else the title shows.
        CSimulatedRadio silent({"--faults", "drop=1"});
        CMainFrame& searching = Start(silent.Port());
        QTRY_VERIFY_WITH_TIMEOUT(searching.StatusBarText().startsWith(QStringLiteral("Attempting to contact RM7")),
                                 kDeadlineMs);
        QCOMPARE(searching.windowTitle(), kVersion + QStringLiteral(" on %1 at 38400 bit/s").arg(silent.QPort()));
        QTest::mouseClick(PortPage()->CloseButton(), Qt::LeftButton);
        QCOMPARE(searching.windowTitle(), kVersion + QStringLiteral(" on %1 closed").arg(silent.QPort()));
        QCOMPARE(searching.StatusBarText(), QStringLiteral("Serial port %1 is closed").arg(silent.QPort()));
        // The search stops at its next poll, which finds the port closed; the texts stay.
        QTRY_VERIFY_WITH_TIMEOUT(m_session->Radio().Contact().IsIdle(), kDeadlineMs);
        QCOMPARE(searching.windowTitle(), kVersion + QStringLiteral(" on %1 closed").arg(silent.QPort()));
        QCOMPARE(searching.StatusBarText(), QStringLiteral("Serial port %1 is closed").arg(silent.QPort()));
    }

    // Every page disables what needs the radio, with the reason in its tooltip, and leaves what
    // needs none alone; the indicator follows.
    void radioActionsFollowTheRadioOnEveryPage() {
        CSimulatedRadio radio({"--speed", "9600", "--serial", "1234"});
        CMainFrame& frame = Start(radio.Port());
        WaitForRadio(frame, FoundTitle(1234, radio, 9600));
        auto* configuration = static_cast<CConfigurationPage*>(frame.TabView()->Page(kPageConfiguration));
        auto* tester = static_cast<CCommandTesterPage*>(frame.TabView()->Page(kPageCommandTester));
        const auto check = [&](bool radioThere, const QString& reason) {
            QVERIFY(frame.TabView()->SelectPage(kPageConfiguration));
            for (int i = 0; i < CConfigurationPage::kActionCount; ++i) {
                QPushButton* button = configuration->Button(static_cast<CConfigurationPage::Action>(i));
                QCOMPARE(button->isEnabled(), radioThere);
                if (!radioThere) {
                    QCOMPARE(button->toolTip(), reason);
                }
            }
            if (radioThere) {
                QCOMPARE(configuration->Button(CConfigurationPage::kSetTime)->toolTip(),
                         QStringLiteral("Set RM7 Time from PC Time"));  // its own tip is back
            }
            QVERIFY(frame.TabView()->SelectPage(kPageCalibration));
            auto* calibration = static_cast<CCalibrationPage*>(frame.TabView()->CurrentPage());
            QCOMPARE(calibration->CalibrateButton()->isEnabled(), radioThere);
            QCOMPARE(calibration->CalibrateButton()->toolTip(),
                     radioThere ? QString::fromLatin1(kCalibrateButtonTip) : reason);
            QVERIFY(frame.TabView()->SelectPage(kPageCommandTester));
            QCOMPARE(tester->Input()->isEnabled(), radioThere);
            QCOMPARE(tester->MacroButton(0)->isEnabled(), radioThere);
            QCOMPARE(tester->Input()->toolTip(), radioThere ? QString() : reason);
            QVERIFY(tester->EditButton()->isEnabled());  // the macros and the transcript need no radio
            QVERIFY(tester->ClearButton()->isEnabled());
        };
        check(true, QString());
        QVERIFY(frame.TabView()->SelectPage(kPagePort));
        QTest::mouseClick(PortPage()->CloseButton(), Qt::LeftButton);
        QCOMPARE(frame.IndicatorText(), QStringLiteral("Port closed"));
        check(false, QStringLiteral("Needs the radio: serial port %1 is closed (Port page)").arg(radio.QPort()));
        // Looked for again from another page: enabled again once it answers.
        QVERIFY(frame.TabView()->SelectPage(kPageConfiguration));
        m_session->Radio().Contact().StartAtOpenPort();
        QTRY_VERIFY_WITH_TIMEOUT(configuration->Button(CConfigurationPage::kSave)->isEnabled(), kDeadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_session->Radio().Contact().IsIdle(), kDeadlineMs);
        check(true, QString());
    }

    void aRadioThatDoesNotAnswerShowsAsNoRadio() {
        CSimulatedRadio silent({"--faults", "drop=1"});
        CMainFrame& frame = Start(silent.Port());
        QTRY_VERIFY_WITH_TIMEOUT(frame.StatusBarText().startsWith(QStringLiteral("Attempting to contact RM7")),
                                 kDeadlineMs);
        QCOMPARE(frame.IndicatorText(), QStringLiteral("No radio"));
        QVERIFY(frame.TabView()->SelectPage(kPageConfiguration));
        auto* configuration = static_cast<CConfigurationPage*>(frame.TabView()->CurrentPage());
        QVERIFY(!configuration->Button(CConfigurationPage::kRestore)->isEnabled());
        QCOMPARE(configuration->Button(CConfigurationPage::kRestore)->toolTip(),
                 QStringLiteral("Needs the radio: no RM7 answers on %1").arg(silent.QPort()));
        QTest::mouseClick(PortPage()->CloseButton(), Qt::LeftButton);
    }

    // A path that is not there is said at once, in a box, and joins no list.
    void testCommunicationsOnAMissingPathSaysSoAtOnce() {
        QTemporaryDir folder;
        const QString missing = folder.filePath(QStringLiteral("ttyUSB9"));
        CMainFrame& frame = Start(missing.toStdString());
        QTest::mouseClick(PortPage()->TestButton(), Qt::LeftButton);
        QVERIFY(
            HasBox(&frame, QStringLiteral("Serial Port"),
                   missing + QStringLiteral(": No such file or directory\n\nChoose the radio's port from the list.")));
        QCOMPARE(frame.IndicatorText(), QStringLiteral("Port closed"));
        QVERIFY(m_session->Radio().Contact().IsIdle());
        QCOMPARE(PortPage()->PortList()->findData(missing), -1);
        QCOMPARE(PortPage()->PortList()->currentText(), missing);  // still shown as the port in use
        CloseBoxes(&frame);
        PortPage()->PortList()->hidePopup();
    }

    void testCommunicationsWithoutAPortAsksForOne() {
        CMainFrame& frame = Start("");
        QCOMPARE(frame.windowTitle(), kVersion);
        QTest::mouseClick(PortPage()->TestButton(), Qt::LeftButton);
        QVERIFY(HasBox(&frame, QStringLiteral("Select a serial port"),
                       QStringLiteral("Please choose a serial port on the Port page")));
        QCOMPARE(frame.StatusBarText(), QStringLiteral("Please choose a serial port on the Port page"));
        // Once the box is read, the list drops down.
        QVERIFY(!PortPage()->PortList()->view()->isVisible());
        Boxes(&frame).front()->done(QMessageBox::Ok);
        QTRY_VERIFY_WITH_TIMEOUT(PortPage()->PortList()->view()->isVisible(), kDeadlineMs);
        PortPage()->PortList()->hidePopup();
    }

    void releaseNotesOpenFromTheHelpMenuOneWindowAtATime() {
        QTemporaryDir folder;
        CMainFrame& frame = Start("");
        m_session->Model().firmwareFolder.Set(folder.path().toStdString());
        QAction* command = frame.findChild<QAction*>(QStringLiteral("releaseNotesAction"));
        QVERIFY(command != nullptr);

        // No notes: the error box alone.
        command->trigger();
        const QString path = folder.filePath(QStringLiteral("ffwnotes.rtf"));
        QVERIFY(HasBox(
            &frame, QStringLiteral("Release Notes Error"),
            QStringLiteral("Unable to open Firmware Release Notes \"%1\"\n\nNo such file or directory").arg(path)));
        QVERIFY(frame.ReleaseNotesWindow() == nullptr);
        CloseBoxes(&frame);

        QVERIFY(QFile::copy(QStringLiteral(RM7_RTF_SAMPLE), path));
        command->trigger();
        QPointer<CReleaseInfoDlg> first = frame.ReleaseNotesWindow();
        QVERIFY(first != nullptr);
        QVERIFY(first->isVisible());
        QVERIFY(!first->isModal());
        QCOMPARE(first->windowTitle(), QStringLiteral("Firmware Release Notes"));
        QVERIFY(first->Browser()->toPlainText().contains(QStringLiteral("Caf\u00e9 owners in M\u00fcnchen")));
        QCOMPARE(first->minimumSize(), first->size());

        // Again: the open window gives way to one showing the file as it is now.
        QVERIFY(QFile::remove(path));
        QFile edited(path);
        QVERIFY(edited.open(QIODevice::WriteOnly));
        edited.write("{\\rtf1 Edited notes\\par}");
        edited.close();
        command->trigger();
        QVERIFY(first.isNull());
        QVERIFY(frame.ReleaseNotesWindow() != nullptr);
        QCOMPARE(frame.ReleaseNotesWindow()->Browser()->toPlainText(), QStringLiteral("Edited notes"));
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                               [](QWidget* w) { return w->objectName() == QStringLiteral("releaseNotesWindow"); }),
                 1);
    }

    void newerFirmwareInTheFolderOpensItsReleaseNotes() {
        QTemporaryDir folder;
        QVERIFY(QFile::copy(QStringLiteral(RM7_RTF_SAMPLE), folder.filePath(QStringLiteral("ffwnotes.rtf"))));
        QFile newer(folder.filePath(QStringLiteral("fmcu0290.hex")));
        QVERIFY(newer.open(QIODevice::WriteOnly));
        newer.write(":00000001FF\n");
        newer.close();
        WriteSettings([&](CSettingsStore& s) { s.WriteString("", "FirmwareFolder", folder.path().toStdString()); });
        CSimulatedRadio radio({"--speed", "9600", "--serial", "1234"});
        CMainFrame& frame = Start(radio.Port());
        QVERIFY(frame.TabView()->SelectPage(kPageFirmware));
        QVERIFY(frame.ReleaseNotesWindow() == nullptr);
        WaitForRadio(frame, FoundTitle(1234, radio, 9600));
        QTRY_VERIFY_WITH_TIMEOUT(frame.ReleaseNotesWindow() != nullptr, kDeadlineMs);
        QVERIFY(frame.ReleaseNotesWindow()->Browser()->toPlainText().contains(QStringLiteral("SWR alarm")));
        CloseBoxes(&frame);
    }

    // One contact, one line for the radio in the Firmware page's log, though the contact changes
    // the status, the serial number and the speed one after the other.
    void aContactIsLoggedOnceOnTheFirmwarePage() {
        CSimulatedRadio radio({"--speed", "9600", "--serial", "1234"});
        CMainFrame& frame = Start(radio.Port());
        QVERIFY(frame.TabView()->SelectPage(kPageFirmware));
        WaitForRadio(frame, FoundTitle(1234, radio, 9600));
        auto* log = frame.findChild<QTextEdit*>(QStringLiteral("activityLog"));
        QVERIFY(log != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().contains(QStringLiteral("RM7 MCU version 02.54")), kDeadlineMs);
        QCOMPARE(log->toPlainText().count(QStringLiteral("RM7 MCU version 02.54")), 1);
        CloseBoxes(&frame);
    }

    void unexpectedDeviceBoxAppears() {
        CSimulatedRadio radio({"--device", "R5", "--speed", "38400"});
        CMainFrame& frame = Start(radio.Port());
        QTRY_VERIFY_WITH_TIMEOUT(HasBox(&frame, QStringLiteral("Unexpected Device"),
                                        QStringLiteral("Connected device does not appear to be an Tarnwell RM7")),
                                 kDeadlineMs);
        QVERIFY(m_session->Radio().Contact().IsIdle());
    }

    void savedActivePageIsUsedOnlyWithASavedPort() {
        struct Case {
            const char* port;
            int activePage;
            int expected;
        } cases[] = {
            {"", kPageConfiguration, kPagePort},
            {"/nonexistent/rm7-port", kPageConfiguration, kPageConfiguration},
            {"/nonexistent/rm7-port", kPageCount, kPagePort},
        };
        for (const Case& c : cases) {
            WriteSettings([&](CSettingsStore& s) {
                s.WriteString("", "Port", c.port);
                s.WriteDword("", "ActivePage", static_cast<std::uint32_t>(c.activePage));
            });
            CMainFrame& frame = Start("");
            QCOMPARE(frame.TabView()->CurrentPageIndex(), c.expected);
            m_session.reset();
        }
        // Closing keeps the selected page.
        CMainFrame& frame = Start("");
        QVERIFY(frame.TabView()->SelectPage(kPageConfiguration));
        m_session->CloseFrame();
        std::uint32_t saved = 0;
        QCOMPARE(SavedSettings().ReadDword("", "ActivePage", saved), kOk);
        QCOMPARE(saved, std::uint32_t{kPageConfiguration});
    }

    void placementIsAppliedOnlyWhenComplete() {
        const QRect stored(60, 80, 900, 640);
        auto writePlacement = [&](const char* leaveOut) {
            WriteSettings([&](CSettingsStore& s) {
                SavePlacement(
                    s, MakePlacement(stored.x(), stored.y(), stored.width(), stored.height(), false, false, false));
                if (leaveOut != nullptr) {
                    s.Remove(kPlacementSection, leaveOut);
                }
            });
        };
        writePlacement(nullptr);
        CMainFrame* frame = &Start("");
        QCOMPARE(frame->geometry(), stored);
        // Moved and resized, it comes back there next time.
        const QRect moved(100, 90, 950, 700);
        frame->setGeometry(moved);
        QTRY_COMPARE(frame->geometry(), moved);
        m_session.reset();
        const std::optional<WindowPlacement> saved = LoadPlacement(SavedSettings());
        QVERIFY(saved.has_value());
        QCOMPARE(QRect(saved->left, saved->top, saved->right - saved->left, saved->bottom - saved->top), moved);

        for (const char* leaveOut : {"top", "flags"}) {
            writePlacement(leaveOut);
            frame = &Start("");
            QCOMPARE(frame->size(), frame->minimumSize());
            QVERIFY(frame->size() != stored.size());
            m_session.reset();
        }
    }

    void minimumSizeHoldsEveryControl() {
        CMainFrame& frame = Start("");
        const QSize minimum = frame.minimumSize();
        const QSize tab = frame.TabView()->sizeHint();
        QVERIFY(minimum.width() >= (tab.width() * 105 + 50) / 100);
        QVERIFY(minimum.height() >= (tab.height() * 109 + 50) / 100);
        frame.resize(10, 10);
        QCOMPARE(frame.size(), minimum);
        // A long status text is shortened, never widens the window, and is kept whole.
        const std::string longText =
            "Serial port \"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\" "
            "access denied; may be in use by another program or USB cable may have been "
            "removed.";
        frame.StatusText(longText);
        QApplication::processEvents();
        QCOMPARE(frame.size(), minimum);
        QCOMPARE(frame.StatusBarText(), QString::fromStdString(longText));
        auto* pane = frame.findChild<QLabel*>(QStringLiteral("statusText"));
        QVERIFY(pane != nullptr);
        QVERIFY(pane->text().endsWith(QChar(0x2026)));
        QVERIFY(pane->fontMetrics().horizontalAdvance(pane->text()) <= pane->contentsRect().width());
        QCOMPARE(pane->toolTip(), QString::fromStdString(longText));
        // A text of several lines is one line, as tall as any other.
        const int height = frame.statusBar()->height();
        frame.StatusText("Contact failed 0x2 No such file or directory\nAdd yourself to the group \"dialout\"\n");
        QApplication::processEvents();
        QCOMPARE(frame.StatusBarText(),
                 QStringLiteral("Contact failed 0x2 No such file or directory. Add yourself to the group \"dialout\""));
        QVERIFY(!pane->text().contains(QLatin1Char('\n')));
        QCOMPARE(frame.statusBar()->height(), height);
        // A page's message does not stay under another page, and is not the next page's text.
        QVERIFY(frame.TabView()->SelectPage(kPageConfiguration));
        const QString frameLine = QString::fromStdString(FrameStatusText(m_session->Model()));
        QCOMPARE(frame.StatusBarText(), frameLine);
        frame.StatusText("A message of the Configuration page");
        QVERIFY(frame.TabView()->SelectPage(kPageFirmware));  // which says its own
        QVERIFY(frame.StatusBarText() != QStringLiteral("A message of the Configuration page"));
        auto* firmware = static_cast<CFirmwarePage*>(frame.TabView()->CurrentPage());
        QVERIFY(!firmware->ActivityLog()->toPlainText().contains(frameLine));
        for (CPage* page : frame.TabView()->Pages()) {
            QVERIFY2(page->minimumSizeHint().width() <= frame.TabView()->currentWidget()->width(),
                     qPrintable(page->Title()));
        }
    }

    void portMenuOnlyForTechnicians() {
        CMainFrame* frame = &Start("");
        QVERIFY(frame->PortMenu() == nullptr);
        for (QAction* action : frame->menuBar()->actions()) {
            QVERIFY(action->text() != QStringLiteral("&Port"));
        }
        m_session.reset();

        WriteSettings([](CSettingsStore& s) {
            s.WriteDword("", "TechnicianTXGainCalibration", 1);
            s.WriteString("", "Port", "/nonexistent/rm7-port");
        });
        frame = &Start("");
        QVERIFY(frame->PortMenu() != nullptr);
        QCOMPARE(frame->menuBar()->actions().at(1)->text(), QStringLiteral("&Port"));
        const QList<QAction*> items = frame->PortMenu()->actions();
        QVERIFY(!items.isEmpty());
        QCOMPARE(items.front()->text(), QStringLiteral("NONE"));
        QCOMPARE(items.front()->data().toUInt(), 30000u);
        items.front()->trigger();
        QCOMPARE(m_session->Model().portName.Get(), std::string());
        QCOMPARE(frame->windowTitle(), kVersion);
    }

    void viewMenuSwitchesTheModelsValues() {
        CMainFrame& frame = Start("");
        CModel& model = m_session->Model();
        struct Case {
            const char* action;
            std::function<long()> value;
        } cases[] = {
            {"advancedModeAction", [&] { return static_cast<long>(model.advancedMode.Get()); }},
            {"traceAction", [&] { return static_cast<long>(model.trace.Get()); }},
            {"verboseLoggingAction", [&] { return static_cast<long>(model.verboseLogging.Get()); }},
        };
        for (const Case& c : cases) {
            auto* action = frame.findChild<QAction*>(QString::fromLatin1(c.action));
            QVERIFY2(action != nullptr && !action->isChecked(), c.action);
            action->trigger();
            QCOMPARE(c.value(), 1L);
            action->trigger();
            QCOMPARE(c.value(), 0L);
        }
        auto* statusBarAction = frame.findChild<QAction*>(QStringLiteral("statusBarAction"));
        QVERIFY(statusBarAction->isChecked());
        statusBarAction->trigger();
        QVERIFY(frame.statusBar()->isHidden());
    }

    void quitAndAboutFollowTheDesktopsConventions() {
        CMainFrame& frame = Start("");
        auto* quit = frame.findChild<QAction*>(QStringLiteral("quitAction"));
        QVERIFY(quit != nullptr);
        QCOMPARE(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QVERIFY(!quit->text().contains(QLatin1Char('\t')));  // the toolkit shows the shortcut itself
        QString about;
        QTimer::singleShot(0, &frame, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                about = box->text();
                box->accept();
            }
        });
        frame.findChild<QAction*>(QStringLiteral("aboutAction"))->trigger();
        for (const QString& part : {QString::fromStdString(ProgramVersionText()), QString::fromUtf8(kCopyrightLine),
                                    QString::fromUtf8(kLicenceLine), QString::fromUtf8(kLicenceTextLine)}) {
            QVERIFY2(about.contains(part), qPrintable(part));
        }
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!frame.isVisible(), kDeadlineMs);
    }

    void helpFindsTextAndClosesWithEscOrCtrlW() {
        CMainFrame& frame = Start("");
        for (const auto& key : {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::CTRL | Qt::Key_W)}) {
            frame.ShowHelp(QStringLiteral("Port.htm"));
            CHelpWindow* help = frame.HelpWindow();
            QVERIFY(QTest::qWaitForWindowActive(help));
            help->FindField()->setText(QStringLiteral("speed"));
            QVERIFY(help->FindNext());
            QCOMPARE(help->Browser()->textCursor().selectedText().toLower(), QStringLiteral("speed"));
            const int first = help->Browser()->textCursor().position();
            QVERIFY(help->FindNext());
            QVERIFY(help->Browser()->textCursor().position() != first);
            help->FindField()->setText(QStringLiteral("no such words anywhere"));
            QVERIFY(!help->FindNext());
            QCOMPARE(help->findChild<QLabel*>(QStringLiteral("helpFindResult"))->text(), QStringLiteral("Not found"));
            QTest::keyClick(help->Browser(), key.key(), key.keyboardModifiers());
            QVERIFY(!help->isVisible());
        }
    }

    void helpOpensAtThePagesTopicAndEveryTopicExists() {
        CMainFrame& frame = Start("");
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_F1);
        QVERIFY(frame.HelpWindow() != nullptr && frame.HelpWindow()->isVisible());
        QCOMPARE(frame.HelpWindow()->CurrentTopic(), QStringLiteral("Port.htm"));
        frame.findChild<QAction*>(QStringLiteral("helpAction"))->trigger();
        QCOMPARE(frame.HelpWindow()->CurrentTopic(), QString::fromLatin1(CHelpWindow::kContents));

        const QStringList topics = {
            QStringLiteral("Port.htm"),
            QStringLiteral("Port.htm#AccessDenied"),
            QStringLiteral("Firmware.htm"),
            QStringLiteral("Configuration.htm"),
            QStringLiteral("Configuration.htm#SetDateTime"),
            QStringLiteral("Configuration.htm#PowerOnBanner"),
            QStringLiteral("EditCWMemories.htm"),
            QStringLiteral("TXGainCalibration.htm#Welcome"),
            QStringLiteral("TXGainCalibration.htm#DummyLoad"),
            QStringLiteral("TXGainCalibration.htm#Calibrate4W"),
            QStringLiteral("TXGainCalibration.htm#Completion"),
            QStringLiteral("CommandTester.htm"),
            QStringLiteral("CommandTester.htm#MacroEditor"),
            QStringLiteral("Terminal.htm#Options"),
            QStringLiteral("MainWindow.htm"),
        };
        for (const QString& topic : topics) {
            frame.ShowHelp(topic);
            QTextBrowser* browser = frame.HelpWindow()->Browser();
            QVERIFY2(!browser->toPlainText().trimmed().isEmpty(), qPrintable(topic));
            QCOMPARE(frame.HelpWindow()->CurrentTopic(), topic);
            const QString anchor = topic.section(QLatin1Char('#'), 1);
            if (!anchor.isEmpty()) {
                QVERIFY2(browser->toHtml().contains(QStringLiteral("name=\"%1\"").arg(anchor)), qPrintable(topic));
            }
        }
        for (CPage* page : frame.TabView()->Pages()) {
            frame.ShowHelp(page->HelpTopic());
            QVERIFY2(!frame.HelpWindow()->Browser()->toPlainText().trimmed().isEmpty(), qPrintable(page->Title()));
        }
    }

    // The dialogs a page opens show their help in the main window's help window.
    void configurationDialogsOpenTheMainWindowsHelp() {
        CSimulatedRadio radio({"--speed", "9600", "--serial", "1234"});
        CMainFrame& frame = Start(radio.Port());
        WaitForRadio(frame, FoundTitle(1234, radio, 9600));
        QVERIFY(frame.TabView()->SelectPage(kPageConfiguration));
        auto* page = static_cast<CConfigurationPage*>(frame.TabView()->CurrentPage());

        QCOMPARE(F1TopicIn<CCWMemoryDlg>(frame, page->Button(CConfigurationPage::kCwMemories)),
                 QStringLiteral("EditCWMemories.htm"));
        QCOMPARE(F1TopicIn<CPowerOnBannerSheet>(frame, page->Button(CConfigurationPage::kBanner)),
                 QStringLiteral("Configuration.htm#PowerOnBanner"));

        // "Set Time..." reads the radio's time at once; Cancel leaves the time menu, then closes.
        QPushButton* setTime = page->Button(CConfigurationPage::kSetTime);
        QVERIFY(setTime->isEnabled());
        QCOMPARE(setTime->toolTip(), QStringLiteral("Set RM7 Time from PC Time"));
        QString topic;
        QString radioTime;
        QTimer::singleShot(0, &frame, [&] {
            auto* sheet = dynamic_cast<CDateTimeSheet*>(QApplication::activeModalWidget());
            if (sheet == nullptr) {
                if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    other->reject();
                }
                return;
            }
            if (QTest::qWaitFor([&] { return !sheet->RadioTime()->text().isEmpty(); }, kDeadlineMs)) {
                radioTime = sheet->RadioTime()->text();
                QTest::keyClick(sheet, Qt::Key_F1);
                if (frame.HelpWindow() != nullptr && frame.HelpWindow()->isVisible()) {
                    topic = frame.HelpWindow()->CurrentTopic();
                }
            }
            static_cast<QDialog*>(sheet)->reject();
        });
        setTime->click();
        QCOMPARE(topic, QStringLiteral("Configuration.htm#SetDateTime"));
        QCOMPARE(radioTime.size(), 8);
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::MainFrameTest)
#include "main_frame_gui_test.moc"
