// banner and cw: the radio's power-on banner and CW memories, read and written from a terminal
// with the machines of the desktop application's dialogs.
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "memories/banner_job.h"
#include "memories/cw_code.h"
#include "memories/cw_memory_job.h"
#include "memories/cw_memory_machine.h"
#include "platform/format.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7::cli {
namespace {

// The job's outcome (and with --json the banner in its object); the banner on standard output
// when done.
int EndBannerJob(IEnvironment& env, const GlobalOptions& options, CTerminalJobView& view, CBannerJob& job, int status) {
    const std::string& text = job.Machine().text.Get();
    view.PrintJsonOutcome({{"banner", JsonText(text)}});
    if (status == 0 && !options.json) {
        env.Out() << SafeToPrint(text) << "\n";
    }
    return status;
}

}  // namespace

int RunBannerGet(IEnvironment& env, const GlobalOptions& options) {
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CBannerJob job(session.Radio(), view);
        const int status = RunJobToOutcome(session, job.Shell(), view, [&job] { job.Read(); });
        return EndBannerJob(env, options, view, job, status);
    });
}

int RunBannerSet(IEnvironment& env, const GlobalOptions& options, const std::string& typed) {
    // Checked before the radio is touched: a text that does not fit is refused, not cut short.
    const std::string text = TidyBannerText(typed);
    BannerBuffer bytes;
    if (const Result r = BannerBytesFromText(text, bytes); r != kOk) {
        env.Err() << StrFormat("The power-on banner holds at most %zu characters.\n", kBannerMaxLength);
        return ReportFailure(env.Err(), r);
    }
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CBannerJob job(session.Radio(), view);
        // The write is followed by a read-back, so the value is what the radio now holds.
        const int status = RunJobToOutcome(session, job.Shell(), view, [&] { job.Write(text); });
        return EndBannerJob(env, options, view, job, status);
    });
}

namespace {

nlohmann::json CwMemoriesJson(const CCWMemoryStateMachine& machine) {
    nlohmann::json list = nlohmann::json::array();
    for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
        list.push_back(JsonText(machine.texts.Get(i)));
    }
    return {{"memories", list}};
}

// The job's outcome (and with --json the memories in its object); the memories on standard
// output when done.
int EndCwJob(IEnvironment& env, const GlobalOptions& options, CTerminalJobView& view, CCWMemoryJob& job, int status) {
    view.PrintJsonOutcome(CwMemoriesJson(job.Machine()));
    if (status == 0 && !options.json) {
        for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
            env.Out() << StrFormat("M%zu: %s\n", i + 1, SafeToPrint(job.Machine().texts.Get(i)).c_str());
        }
    }
    return status;
}

}  // namespace

int RunCwGet(IEnvironment& env, const GlobalOptions& options) {
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CCWMemoryJob job(session.Radio(), view);
        const int status = RunJobToOutcome(session, job.Shell(), view, [&job] { job.Read(); });
        return EndCwJob(env, options, view, job, status);
    });
}

int RunCwSet(IEnvironment& env, const GlobalOptions& options, int memory, const std::string& typed) {
    // Checked before the radio is touched: nothing the radio cannot send, nothing cut short.
    if (const Result r = CheckCwText(typed); r != kOk) {
        if (r == kErrorInvalidData) {
            env.Err() << StrFormat("The radio cannot send \"%s\"; it sends A-Z, 0-9, space and ~|_+%%=(*!/,-.?@\n",
                                   typed.c_str());
        }
        const int status = ReportFailure(env.Err(), r);
        if (r == kErrCwMemoryTooLong) {
            env.Err() << StrFormat("The text has %zu characters; a CW memory holds at most %zu.\n", CwTextLength(typed),
                                   kCwEditLimit);
        }
        return status;
    }
    const std::string text = KeepCwTypeable(typed);
    const auto index = static_cast<std::size_t>(memory - 1);
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CCWMemoryJob job(session.Radio(), view);
        // Read first: only a memory whose text differs from the radio's is written; then read back.
        const int status = RunJobToOutcome(session, job.Shell(), view, [&] { job.WriteOne(index, text); });
        return EndCwJob(env, options, view, job, status);
    });
}

}  // namespace rm7::cli
