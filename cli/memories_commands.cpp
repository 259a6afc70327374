// banner and cw: the radio's power-on banner and CW memories, read and written from a terminal
// with the machines of the desktop application's dialogs.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/session.h"
#include "memories/banner.h"
#include "memories/cw_memory.h"
#include "platform/result_codes.h"

namespace rm7::cli {
namespace {

void PrintBanner(const GlobalOptions& options, const std::string& text) {
    if (options.json) {
        std::cout << nlohmann::json({{"banner", text}}).dump(2) << "\n";
    } else {
        std::printf("%s\n", text.c_str());
    }
}

int RunBannerGet(const GlobalOptions& options) {
    CSession session(options);
    Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CBannerStateMachine machine(session.Radio());
    CMachineRun run(session);
    r = run.Run(machine, [&] { return machine.StartRead(); });
    if (r != kOk) {
        return ReportFailure(r);
    }
    PrintBanner(options, machine.text.Get());
    return 0;
}

int RunBannerSet(const GlobalOptions& options, const std::string& typed) {
    // Checked before the radio is touched: a text that does not fit is refused, not cut short.
    const std::string text = TidyBannerText(typed);
    BannerBuffer bytes;
    if (const Result r = BannerBytesFromText(text, bytes); r != kOk) {
        std::fprintf(stderr, "The power-on banner holds at most %zu characters.\n", kBannerMaxLength);
        return ReportFailure(r);
    }
    CSession session(options);
    Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CBannerStateMachine machine(session.Radio());
    machine.text.SetPending(0, text);
    CMachineRun run(session);
    // The write is followed by a read-back, so the value is what the radio now holds.
    r = run.Run(machine, [&] { return machine.StartWrite(); });
    if (r != kOk) {
        return ReportFailure(r);
    }
    const std::string& readBack = machine.text.Get();
    if (readBack != BannerTextFromBytes(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "The radio reads back \"%s\".\n", readBack.c_str());
        return ReportFailure(kErrorInvalidData);
    }
    PrintBanner(options, readBack);
    return 0;
}

void PrintCwMemories(const GlobalOptions& options, const CCWMemoryStateMachine& machine) {
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
            list.push_back(machine.texts.Get(i));
        }
        std::cout << nlohmann::json({{"memories", list}}).dump(2) << "\n";
        return;
    }
    for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
        std::printf("M%zu: %s\n", i + 1, machine.texts.Get(i).c_str());
    }
}

int RunCwGet(const GlobalOptions& options) {
    CSession session(options);
    Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CCWMemoryStateMachine machine(session.Radio());
    CMachineRun run(session);
    r = run.Run(machine, [&] { return machine.StartRead(); });
    if (r != kOk) {
        return ReportFailure(r);
    }
    PrintCwMemories(options, machine);
    return 0;
}

int RunCwSet(const GlobalOptions& options, int memory, const std::string& typed) {
    // Checked before the radio is touched: nothing the radio cannot send, nothing cut short.
    if (const Result r = CheckCwText(typed); r != kOk) {
        if (r == kErrorInvalidData) {
            std::fprintf(stderr, "The radio cannot send \"%s\"; it sends A-Z, 0-9, space and ~|_+%%=(*!/,-.?@\n",
                         typed.c_str());
        }
        return ReportFailure(r);
    }
    const std::string text = KeepCwTypeable(typed);
    const auto index = static_cast<std::size_t>(memory - 1);
    CSession session(options);
    Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CCWMemoryStateMachine machine(session.Radio());
    CMachineRun run(session);
    // Read first: only a memory whose text differs from the radio's is written.
    r = run.Run(machine, [&] { return machine.StartRead(); });
    if (r == kOk) {
        machine.texts.SetPending(index, text);
        r = run.Run(machine, [&] { return machine.StartWrite(); });
    }
    if (r == kOk) {
        r = run.Run(machine, [&] { return machine.StartRead(); });
    }
    if (r != kOk) {
        return ReportFailure(r);
    }
    if (machine.texts.Get(index) != text) {
        std::fprintf(stderr, "The radio reads back \"%s\".\n", machine.texts.Get(index).c_str());
        return ReportFailure(kErrorInvalidData);
    }
    PrintCwMemories(options, machine);
    return 0;
}

}  // namespace

void RegisterMemoriesCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands) {
    auto* banner =
        app.add_subcommand("banner", "Read or change the text the radio shows when switched on")->fallthrough();
    banner->require_subcommand(1);
    auto* bannerGet = banner->add_subcommand("get", "Print the power-on banner")->fallthrough();
    commands.push_back({bannerGet, [&options] { return RunBannerGet(options); }});
    auto bannerText = std::make_shared<std::string>();
    auto* bannerSet =
        banner
            ->add_subcommand("set", "Write a new power-on banner (upper case, at most 22 characters) and read it back")
            ->fallthrough();
    bannerSet->add_option("TEXT", *bannerText, "The banner; \"\" for none")->required();
    commands.push_back({bannerSet, [&options, bannerText] { return RunBannerSet(options, *bannerText); }});

    auto* cw = app.add_subcommand("cw", "Read or change the radio's CW memories M1 to M6")->fallthrough();
    cw->require_subcommand(1);
    auto* cwGet = cw->add_subcommand("get", "Print the six CW memories")->fallthrough();
    commands.push_back({cwGet, [&options] { return RunCwGet(options); }});
    auto cwMemory = std::make_shared<int>(1);
    auto cwText = std::make_shared<std::string>();
    auto* cwSet =
        cw->add_subcommand("set", "Write one CW memory (at most 250 characters the radio can send) and read it back")
            ->fallthrough();
    cwSet->add_option("N", *cwMemory, "The memory, 1 to 6")->required()->check(CLI::Range(1, 6));
    cwSet->add_option("TEXT", *cwText, "The text; ~ is a half space, | the IM sign, \"\" empties the memory")
        ->required();
    commands.push_back({cwSet, [&options, cwMemory, cwText] { return RunCwSet(options, *cwMemory, *cwText); }});
}

}  // namespace rm7::cli
