#include "cli/usage.h"

#include <algorithm>
#include <charconv>

#include "cli/json_output.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/result_codes.h"

namespace rm7::cli {
namespace {

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "    0  done\n"
    "    1  the job failed or was refused (the reason is on standard error)\n"
    "    2  the command line was wrong or left out what the job needs (a port, a file to send)\n"
    "  130  the job was stopped by the user (Ctrl-C, SIGTERM, SIGHUP)";

std::string OptionLabel(const CLI::Option& opt) {
    std::string label;
    for (const std::string& s : opt.get_snames()) {
        label += "-" + s + ", ";
    }
    for (const std::string& l : opt.get_lnames()) {
        label += "--" + l + ", ";
    }
    if (label.size() >= 2) {
        label.resize(label.size() - 2);
    }
    // The type name carries the validator's description after a colon; the option's own
    // description says the range.
    const std::string type = opt.get_type_name().substr(0, opt.get_type_name().find(':'));
    if (opt.get_type_size() != 0 && !type.empty()) {
        label += " " + type;
    }
    return label;
}

std::string GlobalOptionsText(const CLI::App& app) {
    std::string text = "Global options (before or after the command):\n";
    for (const CLI::Option* opt : app.get_options()) {
        if (opt == app.get_help_ptr() || opt == app.get_version_ptr()) {
            continue;
        }
        text += StrFormat("  %-16s %s\n", OptionLabel(*opt).c_str(), opt->get_description().c_str());
    }
    return text;
}

void SetFooters(CLI::App& app, const std::string& footer) {
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        sub->footer(footer);
        SetFooters(*sub, footer);
    }
}

std::vector<std::string> CommandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        names.push_back(sub->get_name());
    }
    return names;
}

// The long options a command takes, its own and those of the commands it is under, without
// their dashes.
std::vector<std::string> LongOptionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* a = &app; a != nullptr; a = a->get_parent()) {
        for (const CLI::Option* opt : a->get_options()) {
            const std::vector<std::string>& longNames = opt->get_lnames();
            names.insert(names.end(), longNames.begin(), longNames.end());
        }
    }
    return names;
}

std::string CommandPath(const CLI::App& app) {
    std::string path = app.get_name();
    for (const CLI::App* p = app.get_parent(); p != nullptr; p = p->get_parent()) {
        path = p->get_name() + " " + path;
    }
    return path;
}

}  // namespace

CCommandEnvironment::CCommandEnvironment(IEnvironment& inner)
    : m_inner(inner), m_buf(inner.Out().rdbuf()), m_out(&m_buf) {}

CLI::Validator TimeoutValidator() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            double seconds = 0;
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, seconds);
            if (ec != std::errc() || ptr != end || !(seconds >= 1 && seconds <= 3600)) {
                return "a number of seconds from 1 to 3600, not \"" + value + "\"";
            }
            return {};
        },
        "1 to 3600");
}

void DescribeConventions(CLI::App& app) {
    app.footer(kExitStatuses);
    SetFooters(app, GlobalOptionsText(app) + "\n" + kExitStatuses);
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string NearestWord(std::string_view word, const std::vector<std::string>& candidates) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const std::string& c : candidates) {
        const std::size_t d = EditDistance(word, c);
        if (best.empty() || d < bestDistance) {
            best = c;
            bestDistance = d;
        }
    }
    // Beyond two edits (or half a short word) a suggestion is more likely to mislead than help.
    const std::size_t limit = std::min<std::size_t>(2, std::max<std::size_t>(1, word.size() / 2));
    return bestDistance <= limit ? best : std::string();
}

int ReportParseError(CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app.exit(error, out, err);
    }
    // The deepest command the words reached is where an unknown word was meant as a command.
    CLI::App* reached = &app;
    while (!reached->get_subcommands().empty()) {
        reached = reached->get_subcommands().front();
    }
    const std::vector<std::string> names = CommandNames(*reached);
    std::string unknown;
    for (const std::string& word : app.remaining(true)) {
        if (!word.empty() && word[0] != '-') {
            unknown = word;
            break;
        }
    }
    // An unknown option comes first: the word after it is most likely its value.
    std::string unknownOption;
    for (const std::string& word : app.remaining(true)) {
        if (word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9')) {
            unknownOption = word.substr(0, word.find('='));
            break;
        }
    }
    const std::string where = CommandPath(*reached);
    if (!unknownOption.empty()) {
        err << where << ": unknown option \"" << unknownOption << "\".";
        const std::size_t nameStart = std::min(unknownOption.find_first_not_of('-'), unknownOption.size());
        const std::string nearest = NearestWord(unknownOption.substr(nameStart), LongOptionNames(*reached));
        if (!nearest.empty()) {
            err << " Did you mean \"--" << nearest << "\"?";
        }
        err << "\n";
    } else if (!names.empty() && !unknown.empty()) {
        err << where << ": unknown command \"" << unknown << "\".";
        const std::string nearest = NearestWord(unknown, names);
        if (!nearest.empty()) {
            err << " Did you mean \"" << nearest << "\"?";
        }
        err << "\n";
    } else if (!names.empty() && dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        err << where << ": a command is needed, one of: " << CLI::detail::join(names, ", ") << "\n";
    } else {
        err << where << ": " << error.what() << "\n";
    }
    err << "Run \"" << where << " --help\" for the commands and options.\n";
    return kExitUsage;
}

namespace {

// A command's help as `--help` shows it. CLI::App::help would show the help of the command being
// run (help) instead.
std::string CommandHelp(const CLI::App& command) {
    return command.get_formatter()->make_help(&command, CommandPath(command), CLI::AppFormatMode::Normal);
}

// The help of every command below command, without the global options and exit statuses each
// repeats.
void AppendCommandsBelow(const CLI::App& command, std::string& text) {
    const auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(command.get_formatter());
    for (const CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; })) {
        text += "\n" + CommandPath(*sub) + "\n";
        if (formatter) {
            text += formatter->make_description(sub) + formatter->make_usage(sub, CommandPath(*sub)) +
                    formatter->make_positionals(sub) + formatter->make_groups(sub, CLI::AppFormatMode::Normal);
        }
        AppendCommandsBelow(*sub, text);
    }
}

}  // namespace

int PrintCommandHelp(CLI::App& app, const std::vector<std::string>& words, bool all, std::ostream& out,
                     std::ostream& err) {
    CLI::App* command = &app;
    for (const std::string& word : words) {
        CLI::App* next = nullptr;
        for (CLI::App* sub : command->get_subcommands([](CLI::App*) { return true; })) {
            if (sub->check_name(word)) {
                next = sub;
            }
        }
        if (next == nullptr) {
            const std::string where = CommandPath(*command);
            err << where << ": unknown command \"" << word << "\".";
            if (const std::string nearest = NearestWord(word, CommandNames(*command)); !nearest.empty()) {
                err << " Did you mean \"" << nearest << "\"?";
            }
            err << "\nRun \"" << where << " --help\" for the commands and options.\n";
            return kExitUsage;
        }
        command = next;
    }
    std::string text = CommandHelp(*command);
    if (all) {
        AppendCommandsBelow(*command, text);
    }
    out << text;
    return 0;
}

std::string CommandName(const CLI::App& command) {
    std::string name = command.get_name();
    for (const CLI::App* p = command.get_parent(); p != nullptr && p->get_parent() != nullptr; p = p->get_parent()) {
        name = p->get_name() + " " + name;
    }
    return name;
}

int RunCommand(CCommandEnvironment& env, const GlobalOptions& options, const std::string& name,
               const std::function<int()>& run) {
    (void)TakeReportedFailure();
    SetCommandName(name);
    int status = 1;
    std::string thrown;
    try {
        status = run();
    } catch (const std::exception& e) {
        // Failures travel as result codes. This only keeps a fault that throws from ending
        // the program without a word and without closing the port.
        thrown = e.what();
        env.Err() << "rm7util: " << thrown << "\n";
        status = 1;
    }
    SetCommandName({});
    const ReportedFailure failure = TakeReportedFailure();
    if (options.json && status != 0 && !env.OutWritten()) {
        nlohmann::json error;
        if (failure.code != kOk) {
            error["code"] = StrFormat("0x%08X", failure.code);
            error["text"] = JsonText(failure.text);
        } else {
            error["code"] = nullptr;
            error["text"] = JsonText(thrown.empty() ? StrFormat("Failed with exit status %d", status) : thrown);
        }
        error["exitStatus"] = status;
        PrintJson(env.Out(), nlohmann::json{{"error", error}});
    }
    return status;
}

}  // namespace rm7::cli
