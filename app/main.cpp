// rm7-utility: the desktop application.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cstdio>
#include <string_view>

#include "app/app_icon.h"
#include "app/app_session.h"
#include "app/main_frame.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/program_version.h"
#include "platform/quit_signal.h"
#include "platform/version.h"
#include "ui/quit_request.h"

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

// Qt's own options, which QApplication takes out of the arguments before ours are parsed.
bool IsQtOption(const QString& name) {
    static const QStringList kQtOptions =
        QStringLiteral(
            "platform platformpluginpath platformtheme plugin qmljsdebugger qwindowgeometry qwindowicon "
            "qwindowtitle reverse session display geometry style stylesheet widgetcount name title visual "
            "ncols cmap im inputstyle nograb dograb sync fontengine")
            .split(QLatin1Char(' '));
    return kQtOptions.contains(name.section(QLatin1Char('='), 0, 0));
}

// A mistake on the command line is answered without a display too (the GUI would end the program
// on a machine without one): what was wrong on standard error, and true.
bool RefusesArguments(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    CommandLine check;
    // "-platform" is one of Qt's options, not -p -l -a ...
    check.parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (check.parser.parse(args)) {
        return false;
    }
    QString why;
    for (const QString& name : check.parser.unknownOptionNames()) {
        if (!IsQtOption(name)) {
            // As it was typed, one dash or two.
            QString typed = QStringLiteral("--") + name;
            for (const QString& arg : args) {
                const QString option = arg.section(QLatin1Char('='), 0, 0);
                qsizetype dashes = 0;
                while (dashes < option.size() && option[dashes] == QLatin1Char('-')) {
                    ++dashes;
                }
                if (dashes > 0 && option.mid(dashes) == name) {
                    typed = option;
                    break;
                }
            }
            why = QStringLiteral("unknown option \"%1\".").arg(typed);
            break;
        }
    }
    // Any other mistake (a value missing) is told in the parser's own words, which come first.
    if (why.isEmpty() && !check.parser.errorText().startsWith(QStringLiteral("Unknown option"))) {
        why = check.parser.errorText();
    }
    if (why.isEmpty()) {
        return false;
    }
    std::fprintf(stderr, "rm7-utility: %s\nRun \"rm7-utility --help\" for the options.\n",
                 why.toLocal8Bit().constData());
    return true;
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
    if (RefusesArguments(argc, argv)) {
        return 2;
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
    // Asked to end (logout, kill, Ctrl+C): a job's dialog closes its own way first (a calibration
    // puts the radio back), then the loop is left so the settings and placement are saved.
    const int quitFd = rm7::QuitSignalFd();
    if (quitFd >= 0) {
        auto* request = new rm7::CQuitRequest({}, &app);
        auto* quit = new QSocketNotifier(quitFd, QSocketNotifier::Read, &app);
        QObject::connect(quit, &QSocketNotifier::activated, &app, [request] {
            for (int count = rm7::DrainQuitSignals(); count > 0; --count) {
                request->Request();
            }
        });
    }
    return QApplication::exec();
}
