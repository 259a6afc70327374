// rm7-utility: the desktop application.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSocketNotifier>

#include <string_view>

#include "app/app_icon.h"
#include "app/app_session.h"
#include "app/main_frame.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/program_version.h"
#include "platform/quit_signal.h"
#include "platform/version.h"

namespace {

struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Use this serial device for this run (not saved), e.g. /dev/ttyUSB0."),
                            QStringLiteral("DEV")};
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QStringLiteral("Start the simulated radio (rm7-sim) on a pty and use it.")};
    QCommandLineOption simArgs{QStringLiteral("sim-args"),
                               QStringLiteral("Options for the simulated radio, e.g. \"--speed 9600\"."),
                               QStringLiteral("ARGS")};

    CommandLine() {
        parser.setApplicationDescription(QString::fromStdString(
            rm7::StrFormat("Finds the %s transceiver on a serial port and looks after it.", rm7::kModelName)));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({port, simulate, simArgs});
    }
};

void SetNames() {
    QCoreApplication::setApplicationName(QString::fromLatin1(rm7::kProductName));
    QCoreApplication::setApplicationVersion(QString::fromStdString(rm7::ProgramVersionText()));
}

// --help and --version need no display: they are answered before the GUI starts, which would
// end the program on a machine without one.
bool AsksHelpOrVersion(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (AsksHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        SetNames();
        CommandLine commandLine;
        commandLine.parser.process(core);  // prints and ends the program
        return 0;
    }
    QApplication app(argc, argv);
    SetNames();
    QApplication::setDesktopFileName(QStringLiteral("rm7-utility"));
    QApplication::setWindowIcon(rm7::AppIcon());

    CommandLine commandLine;
    QCommandLineParser& parser = commandLine.parser;
    const QCommandLineOption& port = commandLine.port;
    const QCommandLineOption& simulate = commandLine.simulate;
    const QCommandLineOption& simArgs = commandLine.simArgs;
    parser.process(app);

    rm7::AppOptions options;
    options.port = parser.value(port).toStdString();
    options.simulate = parser.isSet(simulate);
    options.simArgs = parser.value(simArgs).toStdString();

    rm7::CAppSession session(options);
    const rm7::Result r = session.Start();
    if (r != rm7::kOk) {
        QMessageBox::critical(nullptr, QString::fromLatin1(rm7::kProductName),
                              QString::fromStdString(rm7::StrFormat(
                                  "The simulated radio (rm7-sim) could not be started.\nError 0x%08X: %s", r,
                                  rm7::ErrorText(r).c_str())));
        return 1;
    }
    session.Frame().show();
    // Asked to end (logout, kill, Ctrl+C): leave the loop so the settings and placement are saved.
    const int quitFd = rm7::QuitSignalFd();
    if (quitFd >= 0) {
        auto* quit = new QSocketNotifier(quitFd, QSocketNotifier::Read, &app);
        QObject::connect(quit, &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
    }
    return QApplication::exec();
}
