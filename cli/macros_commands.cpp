// macros: the command tester's sixteen macros from a terminal. Macros 1 to 8 are read from and
// written to the radio with the macro editor's machine; 9 to 16 live in the settings only.
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "memories/command_macro.h"
#include "memories/command_macro_job.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7::cli {
namespace {

nlohmann::json MacrosJson(const CCommandMacros& macros, std::size_t from, std::size_t to) {
    nlohmann::json list = nlohmann::json::array();
    for (std::size_t i = from; i < to; ++i) {
        list.push_back({{"macro", i + 1},
                        {"label", JsonText(macros.labels.Get(i))},
                        {"commands", JsonText(macros.texts.Get(i))},
                        {"in_radio", i < kRadioMacroCount}});
    }
    return {{"macros", list}};
}

void PrintMacros(IEnvironment& env, const GlobalOptions& options, const CCommandMacros& macros, std::size_t from,
                 std::size_t to) {
    if (options.json) {
        PrintJson(env.Out(), MacrosJson(macros, from, to));
        return;
    }
    for (std::size_t i = from; i < to; ++i) {
        // What the radio or the settings hold is outside text.
        env.Out() << StrFormat("%2zu %-8s %s\n", i + 1, SafeToPrint(macros.labels.Get(i)).c_str(),
                               SafeToPrint(macros.texts.Get(i)).c_str());
    }
}

// A job's end: with --json the one object (the macros in it when done), else the macros when done.
int EndMacrosJob(IEnvironment& env, const GlobalOptions& options, CTerminalJobView& view, const CCommandMacros& macros,
                 std::size_t from, std::size_t to, int status) {
    if (options.json) {
        view.PrintJsonOutcome(MacrosJson(macros, from, to));
    } else if (status == 0) {
        PrintMacros(env, options, macros, from, to);
    }
    return status;
}

// The radio's commands are printable text; a control character in a macro would only reach the
// terminal of whoever lists the macros later.
MacroRefusal ControlCharacterRefusal(int macro, const std::string& label, const std::string& commands) {
    for (const auto& [field, text] : {std::pair{"label", &label}, std::pair{"commands", &commands}}) {
        if (HoldsControlCharacter(*text)) {
            return {kErrMacroCharacter, "",
                    StrFormat("Macro %d %s holds a control character (\"%s\"): only printable text can be stored",
                              macro, field, SafeToPrint(*text).c_str())};
        }
    }
    return {};
}

int ReportRefusal(IEnvironment& env, const MacroRefusal& refusal) {
    env.Err() << refusal.text << "\n";
    return ReportFailure(env.Err(), refusal.code);
}

}  // namespace

int RunMacrosGet(IEnvironment& env, const GlobalOptions& options) {
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CCommandMacros macros(session.Pump());
        macros.Load(session.Model().Settings());
        CMacroEditorJob job(session.Radio(), macros, view);
        const int status = RunJobToOutcome(session, job.Shell(), view, [&job] { job.Read(); });
        return EndMacrosJob(env, options, view, macros, 0, kMacroCount, status);
    });
}

int RunMacrosSet(IEnvironment& env, const GlobalOptions& options, int macro, const std::string& label,
                 const std::string& commands) {
    const auto index = static_cast<std::size_t>(macro - 1);
    if (const MacroRefusal refusal = ControlCharacterRefusal(macro, label, commands); refusal.code != kOk) {
        return ReportRefusal(env, refusal);
    }
    if (index >= kRadioMacroCount) {
        // Kept as typed, as the editor's second page keeps it.
        CSession session(env, options);
        CCommandMacros macros(session.Pump());
        macros.Load(session.Model().Settings());
        macros.labels.Set(index, label);
        macros.texts.Set(index, commands);
        macros.FillDefaultLabels();
        if (const Result r = macros.Save(session.Model().Settings()); r != kOk) {
            return ReportFailure(env.Err(), r);
        }
        PrintMacros(env, options, macros, index, index + 1);
        return 0;
    }
    // Checked before the radio is touched: nothing is cut short or changed on the way.
    if (const MacroRefusal refusal = CheckRadioMacro(index, label, commands); refusal.code != kOk) {
        return ReportRefusal(env, refusal);
    }
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        // The job writes all eight: the other seven go back as the radio holds them.
        CCommandMacros macros(session.Pump());
        CMacroEditorJob job(session.Radio(), macros, view);
        if (const int status =
                RunJobToOutcome(session, job.Shell(), view, [&] { job.WriteOne(index, label, commands); });
            status != 0) {
            return EndMacrosJob(env, options, view, macros, index, index + 1, status);
        }
        // As the editor closed with OK: the tester's buttons show what the radio now holds.
        CCommandMacros saved(session.Pump());
        saved.Load(session.Model().Settings());
        for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
            saved.labels.Set(i, macros.labels.Get(i));
            saved.texts.Set(i, macros.texts.Get(i));
        }
        saved.FillDefaultLabels();
        if (const Result r = saved.Save(session.Model().Settings()); r != kOk) {
            return ReportFailure(env.Err(), r);
        }
        return EndMacrosJob(env, options, view, macros, index, index + 1, 0);
    });
}

int RunMacrosRun(IEnvironment& env, const GlobalOptions& options, int macro, std::uint32_t waitMs) {
    const auto index = static_cast<std::size_t>(macro - 1);
    CSession session(env, options);
    CCommandMacros macros(session.Pump());
    macros.Load(session.Model().Settings());
    const std::string text = macros.texts.Get(index);
    if (text.empty()) {
        env.Err() << StrFormat("Macro %d (%s) holds no commands; rm7util macros set gives it some.\n", macro,
                               SafeToPrint(macros.labels.Get(index)).c_str());
        return 1;
    }
    return RunOnRadio(session, [&](CSession&, CTerminalJobView&) {
        const CSession::IdleAnswer answer = session.ExchangeCommands(text, waitMs);
        if (options.json) {
            PrintJson(env.Out(), {{"macro", macro},
                                  {"label", JsonText(macros.labels.Get(index))},
                                  {"sent", JsonText(text)},
                                  {"answer", PrintableForm(answer.bytes)}});
        } else {
            env.Out() << PrintableForm(answer.bytes) << "\n";
        }
        return answer.result == kOk ? 0 : ReportFailure(env.Err(), answer.result);
    });
}

}  // namespace rm7::cli
