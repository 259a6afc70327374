// rm7_gui_screenshots DIR: the main window in each state the radio can put it in (searching,
// found, boot loader, closed), plus the Configuration and Terminal pages (with the terminal's
// dialogs) and the help, as PNG files for the README and for looking at. Runs offscreen against
// rm7-sim; not a test.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/app_icon.h"
#include "app/app_session.h"
#include "app/main_frame.h"
#include "app/tab_view.h"
#include "clock/ui/date_time_sheet.h"
#include "config/ui/config_compare_dialog.h"
#include "link/contact.h"
#include "link/ui/port_page.h"
#include "memories/ui/banner_sheet.h"
#include "memories/ui/cw_memory_dialog.h"
#include "memories/ui/macro_editor_sheet.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "terminal/ui/command_tester_page.h"
#include "terminal/ui/terminal_page.h"
#include "txgain/ui/txgc_wizard.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
    }
}

void CloseBoxes(QWidget* frame) {
    for (QMessageBox* box : frame->findChildren<QMessageBox*>()) {
        box->close();
    }
    Settle();
}

// The window as a desktop shows it: offscreen there is no window manager to draw the title bar,
// and the title is where the radio's serial number, port and speed are.
QPixmap WithTitleBar(QWidget* window) {
    const QPixmap body = window->grab();
    const int bar = 30;
    QPixmap out(body.width() + 2, body.height() + bar + 1);
    out.fill(QColor(0x2b, 0x31, 0x37));
    QPainter p(&out);
    p.drawPixmap(1, bar, body);
    p.drawPixmap(8, 6, QApplication::windowIcon().pixmap(18, 18));
    QFont font = window->font();
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(34, 0, out.width() - 42, bar), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
    return out;
}

bool Save(QWidget* widget, const QDir& dir, const char* name) {
    Settle();
    const QString file = dir.filePath(QString::fromLatin1(name));
    const bool ok = WithTitleBar(widget).save(file);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(rm7::AppIcon());
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR RM7-SIM\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const std::string sim = argv[2];
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());

    struct Shot {
        const char* file;
        std::vector<std::string> simArgs;
        std::function<bool(rm7::CAppSession&)> reach;
    };
    auto idle = [](rm7::CAppSession& s) { return s.Radio().Contact().IsIdle(); };
    const Shot shots[] = {
        {"main-searching.png",
         {"--faults", "drop=1"},
         [](rm7::CAppSession& s) {
             return WaitFor([&] { return s.Frame().StatusBarText().startsWith(QStringLiteral("Attempting")); });
         }},
        {"main-found.png",
         {"--serial", "1234", "--mcu", "02.88", "--dsp", "02.88"},
         [&](rm7::CAppSession& s) { return WaitFor([&] { return idle(s); }); }},
        {"main-bootloader.png",
         {"--boot-loader"},
         [&](rm7::CAppSession& s) { return WaitFor([&] { return idle(s); }); }},
        {"main-closed.png",
         {"--serial", "1234"},
         [&](rm7::CAppSession& s) {
             if (!WaitFor([&] { return idle(s); })) {
                 return false;
             }
             auto* page = static_cast<rm7::CPortPage*>(s.Frame().TabView()->Page(rm7::kPagePort));
             CloseBoxes(&s.Frame());
             page->CloseButton()->click();
             return true;
         }},
        {"main-terminal.png",
         {"--rx-text", "CQ CQ DE N0CALL N0CALL K\r\n", "--rx-char-ms", "20", "--tx-char-ms", "40"},
         [&](rm7::CAppSession& s) {
             if (!WaitFor([&] { return idle(s); })) {
                 return false;
             }
             CloseBoxes(&s.Frame());
             s.Frame().TabView()->SelectPage(rm7::kPageTerminal);
             auto* page = static_cast<rm7::CTerminalPage*>(s.Frame().TabView()->Page(rm7::kPageTerminal));
             page->Settings().Captions(rm7::TerminalMode::kCw).Set(0, "CQ");
             page->Settings().Captions(rm7::TerminalMode::kCw).Set(1, "Reply");
             // The call heard first, then the answer keyed and part of it reported sent.
             if (!WaitFor([&] { return page->ReceivePane()->toPlainText().contains(QStringLiteral("K\n")); })) {
                 return false;
             }
             page->TransmitPane()->AppendUnsent("N0CALL DE RM7SIM = GM OM TNX FER CALL\rUR RST 599 599");
             page->Terminal().TransmitOn();
             return WaitFor([&] { return page->TransmitPane()->SentLength() > 40; });
         }},
    };
    bool ok = QApplication::windowIcon().pixmap(256, 256).save(out.filePath(QStringLiteral("icon-256.png")));
    for (const Shot& shot : shots) {
        rm7::CChildProcess radio;
        std::string port;
        if (radio.Start(sim, shot.simArgs) != rm7::kOk || !radio.ReadFirstLine(port, 10000)) {
            std::fprintf(stderr, "rm7-sim did not start\n");
            return 1;
        }
        // Each state from a fresh start: no placement or page left by the shot before.
        QFile::remove(QString::fromStdString(rm7::SettingsFilePath().string()));
        rm7::AppOptions options;
        options.port = port;
        rm7::CAppSession session(options);
        session.Start();
        session.Frame().show();
        if (!shot.reach(session)) {
            std::fprintf(stderr, "state of %s not reached\n", shot.file);
            ok = false;
            continue;
        }
        // The box the Port page opens is part of the found state: shoot it too.
        for (QMessageBox* box : session.Frame().findChildren<QMessageBox*>()) {
            if (box->isVisible()) {
                ok = Save(box, out, (std::string("box-") + shot.file).c_str()) && ok;
            }
        }
        CloseBoxes(&session.Frame());
        ok = Save(&session.Frame(), out, shot.file) && ok;
        if (std::string(shot.file) == "main-closed.png") {
            // What the radio's actions say while the port is closed.
            session.Frame().TabView()->SelectPage(rm7::kPageConfiguration);
            ok = Save(&session.Frame(), out, "main-closed-configuration.png") && ok;
            session.Frame().TabView()->SelectPage(rm7::kPageCommandTester);
            ok = Save(&session.Frame(), out, "main-closed-command-tester.png") && ok;
            // Test Communications on a path that is not there.
            session.Frame().TabView()->SelectPage(rm7::kPagePort);
            session.Model().portName.Set("/dev/ttyUSB-not-here");
            static_cast<rm7::CPortPage*>(session.Frame().TabView()->Page(rm7::kPagePort))->TestButton()->click();
            Settle();
            for (QMessageBox* box : session.Frame().findChildren<QMessageBox*>()) {
                if (box->isVisible()) {
                    ok = Save(box, out, "box-missing-port.png") && ok;
                }
            }
            CloseBoxes(&session.Frame());
            ok = Save(&session.Frame(), out, "main-missing-port.png") && ok;
        }
        if (std::string(shot.file) == "main-terminal.png") {
            auto* page = static_cast<rm7::CTerminalPage*>(session.Frame().TabView()->Page(rm7::kPageTerminal));
            rm7::CTerminalMemoriesDlg memories(page->Settings(), nullptr, rm7::TerminalMode::kCw, page);
            memories.show();
            ok = Save(&memories, out, "terminal-memories.png") && ok;
            rm7::CTerminalOptionsDlg options(page->Settings(), nullptr, page);
            options.show();
            ok = Save(&options, out, "terminal-options.png") && ok;
        }
        if (std::string(shot.file) == "main-found.png") {
            session.Frame().TabView()->SelectPage(rm7::kPageConfiguration);
            ok = Save(&session.Frame(), out, "main-configuration.png") && ok;
            {
                // "Compare with Radio...": a file and a radio three bytes apart.
                rm7::ConfigurationSide file;
                file.serialNumber = 1234;
                file.image.fill(0xFF);
                rm7::ConfigurationSide radio = file;
                radio.image[0x0012] = 0x05;
                radio.image[0x6810] = 0x20;
                radio.image[0x6811] = 0x21;
                const rm7::ConfigurationDifference diff = rm7::CompareConfigurations(file, radio);
                rm7::CConfigDifferenceDlg compare(
                    diff, rm7::ConfigurationDifferenceText(diff, "SN01234.20261210T101500.RM7Config", "the radio"),
                    &session.Frame());
                compare.show();
                ok = Save(&compare, out, "compare-with-radio.png") && ok;
            }
            {
                rm7::CPowerOnBannerSheet banner(session.Radio(), &session.Frame());
                banner.show();
                Settle();
                ok = Save(&banner, out, "banner.png") && ok;
                static_cast<QDialog&>(banner).reject();
                WaitFor([&] { return !banner.isVisible(); });
            }
            {
                rm7::CDateTimeSheet clock(session.Radio(), &session.Frame());
                clock.show();
                WaitFor([&] { return !clock.Difference()->text().isEmpty(); });
                ok = Save(&clock, out, "set-time.png") && ok;
                static_cast<QDialog&>(clock).reject();
                WaitFor([&] { return !clock.isVisible(); });
            }
            {
                rm7::CCWMemoryDlg memories(session.Radio(), &session.Frame());
                memories.show();
                ok = Save(&memories, out, "cw-memories.png") && ok;
                static_cast<QDialog&>(memories).reject();
                WaitFor([&] { return !memories.isVisible(); });
            }
            session.Frame().TabView()->SelectPage(rm7::kPageFirmware);
            CloseBoxes(&session.Frame());
            ok = Save(&session.Frame(), out, "main-firmware.png") && ok;
            session.Frame().TabView()->SelectPage(rm7::kPageCommandTester);
            auto* tester =
                static_cast<rm7::CCommandTesterPage*>(session.Frame().TabView()->Page(rm7::kPageCommandTester));
            tester->Macros().labels.Set(0, "VERSION");
            tester->Macros().texts.Set(0, "RVM;RVD;");
            tester->Tester().Send("RVM;");
            tester->Tester().SendMacro(0, "");
            WaitFor([&] { return tester->Output()->toPlainText().count(QStringLiteral("RVD")) >= 2; });
            tester->Input()->setText(QStringLiteral("FA"));
            ok = Save(&session.Frame(), out, "main-command-tester.png") && ok;
            {
                rm7::CCommandMacrosSheet sheet(session.Radio(), tester->Macros(), &session.Frame());
                sheet.show();
                ok = Save(&sheet, out, "macro-editor.png") && ok;
            }
            // The release notes of a folder that holds them (the test corpus's word-processor file).
            QTemporaryDir notes;
            if (QFile::copy(QStringLiteral(RM7_RTF_SAMPLE), notes.filePath(QStringLiteral("ffwnotes.rtf")))) {
                session.Model().firmwareFolder.Set(notes.path().toStdString());
                session.Frame().ShowReleaseNotes();
                ok = session.Frame().ReleaseNotesWindow() != nullptr &&
                     Save(session.Frame().ReleaseNotesWindow(), out, "release-notes.png") && ok;
            }
            session.Frame().TabView()->SelectPage(rm7::kPageCalibration);
            ok = Save(&session.Frame(), out, "main-calibration.png") && ok;
            {
                // The calibrate page in the middle of a run, on its fourth band.
                rm7::CTXGCWizard wizard(session.Radio(), &session.Frame());
                wizard.show();
                wizard.next();
                wizard.next();
                wizard.CalibrateButton()->click();
                ok = WaitFor([&] { return wizard.LogBox()->toPlainText().contains(QStringLiteral("7.100 MHz")); }) &&
                     Save(&wizard, out, "txgc-calibrate.png") && ok;
                wizard.reject();
                WaitFor([&] { return !wizard.Job().Running(); });
            }
            QTimer::singleShot(0, &session.Frame(), [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    ok = Save(box, out, "about.png") && ok;
                    box->accept();
                }
            });
            session.Frame().findChild<QAction*>(QStringLiteral("aboutAction"))->trigger();
            session.Frame().ShowHelp(QStringLiteral("Port.htm"));
            session.Frame().HelpWindow()->FindField()->setText(QStringLiteral("speed"));
            session.Frame().HelpWindow()->FindNext();
            ok = Save(session.Frame().HelpWindow(), out, "help-port.png") && ok;
            session.Frame().resize(session.Frame().minimumSize() + QSize(300, 200));
            session.Frame().TabView()->SelectPage(rm7::kPagePort);
            ok = Save(&session.Frame(), out, "main-found-large.png") && ok;
        }
    }
    return ok ? 0 : 1;
}
