// The command macros: their fields, their settings and the machine that reads and writes macros
// 1 to 8, against the in-process simulated radio in virtual time.
#include "memories/command_macro.h"

#include "link/idle_exchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "memories/command_macro_job.h"
#include "platform/error_text.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_job_view.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using test::CRecordingWindow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Erased(std::size_t n) {
    return std::string(n, '\xFF');
}

TEST(CommandMacroField, IsCheckedAsAWriteWouldStoreIt) {
    const struct {
        const char* typed;
        MacroField field;
        const char* tidied;
        Result check;
    } cases[] = {
        {"  qrp ", MacroField::Label, "QRP", kOk},
        {"abcdefgh", MacroField::Label, "ABCDEFGH", kOk},
        {" abcdefgh\t", MacroField::Label, "ABCDEFGH", kOk},  // blanks trimmed before counting
        {"abcdefghi", MacroField::Label, "ABCDEFGHI", kErrMacroTooLong},
        {"\xC3\xA9t\xC3\xA9", MacroField::Label, "\xC3\xA9T\xC3\xA9", kOk},  // only a-z change case
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", MacroField::Label, nullptr,
         kOk},                                                                   // 8 characters, 16 bytes
        {"FA;\xE2\x82\xAC", MacroField::Commands, nullptr, kErrMacroCharacter},  // the euro sign
        {"FA;\xC3\xBF", MacroField::Commands, nullptr, kErrMacroCharacter},      // 0xFF would end the field
        {"FA;\xC3", MacroField::Commands, nullptr, kErrMacroCharacter},          // not UTF-8
        {"", MacroField::Label, "", kOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string tidied = TidyMacroText(c.typed);
        if (c.tidied != nullptr) {
            EXPECT_EQ(tidied, c.tidied);
        }
        EXPECT_EQ(CheckMacroField(tidied, c.field), c.check);
    }
    EXPECT_EQ(CheckMacroField(std::string(120, 'F'), MacroField::Commands), kOk);
    EXPECT_EQ(CheckMacroField(std::string(121, 'F'), MacroField::Commands), kErrMacroTooLong);
}

TEST(CommandMacroField, ReadsUpToItsEndByteAndNeverPastTheField) {
    const std::uint8_t full[] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'X', 0};
    EXPECT_EQ(MacroTextFromBytes(full, 8), "ABCDEFGH");
    const std::uint8_t ended[] = {'Q', 'R', 'P', 0xFF, 'X'};
    EXPECT_EQ(MacroTextFromBytes(ended, 5), "QRP");
    const std::uint8_t latin1[] = {0xE9, 0xA0, 'A', 0};
    EXPECT_EQ(MacroTextFromBytes(latin1, 4),
              "\xC3\xA9\xC2\xA0"
              "A");
}

TEST(CommandMacroRefusal, NamesTheFirstMacroThatCannotBeStoredLabelFirst) {
    CManualPump pump;
    CCommandMacros macros(pump);
    macros.texts.Set(2, std::string(121, 'F'));
    macros.labels.Set(4, "NINE CHAR");
    macros.labels.Set(8, std::string(50, 'L'));  // macros 9 to 16 never reach the radio
    MacroRefusal refusal = CheckRadioMacros(macros.labels, macros.texts);
    EXPECT_EQ(refusal.code, kErrMacroTooLong);
    EXPECT_EQ(refusal.caption, "Macro Commands Length Error");
    EXPECT_EQ(refusal.text, "Macro Commands 3 must be no longer than 120 characters");
    macros.labels.Set(2, "L\xE2\x82\xAC");
    refusal = CheckRadioMacros(macros.labels, macros.texts);
    EXPECT_EQ(refusal.code, kErrMacroCharacter);
    EXPECT_EQ(refusal.caption, "Macro Label Character Error");
    EXPECT_THAT(refusal.text, ::testing::StartsWith("Macro Label 3 holds a character the RM7 cannot store"));
    macros.labels.Set(2, "");
    macros.texts.Set(2, "");
    refusal = CheckRadioMacros(macros.labels, macros.texts);
    EXPECT_EQ(refusal.caption, "Macro Label Length Error");
    EXPECT_EQ(refusal.text, "Macro Label 5 must be no longer than 8 characters");
}

TEST(CommandMacroSettings, LoadFillsEmptyLabelsAndSavesOnlyWhatChanged) {
    test::CTempFolder dir;
    CManualPump pump;
    CSettingsStore store(dir / "settings.conf");
    ASSERT_EQ(store.WriteString("", "CommandCaption2", "TUNE"), kOk);
    ASSERT_EQ(store.WriteString("", "CommandText2", "TX;"), kOk);
    ASSERT_EQ(store.WriteDword("", "CommandText3", 7), kOk);  // of the wrong type: keeps its default
    CCommandMacros macros(pump);
    macros.Load(&store);
    EXPECT_EQ(macros.labels.Get(0), "MACRO1");
    EXPECT_EQ(macros.labels.Get(1), "TUNE");
    EXPECT_EQ(macros.labels.Get(15), "MACRO16");
    EXPECT_EQ(macros.texts.Get(1), "TX;");
    EXPECT_EQ(macros.texts.Get(2), "");

    store.Remove("", "CommandText2");
    macros.texts.Set(9, "FA;");
    ASSERT_EQ(macros.Save(&store), kOk);
    EXPECT_FALSE(store.Has("", "CommandText2"));  // unchanged: not written again
    std::string saved;
    EXPECT_EQ(store.ReadString("", "CommandCaption16", saved), kOk);  // a default label is saved
    EXPECT_EQ(saved, "MACRO16");
    EXPECT_EQ(store.ReadString("", "CommandText10", saved), kOk);
    EXPECT_EQ(saved, "FA;");

    CSettingsStore again(dir / "settings.conf");
    ASSERT_EQ(again.Load(), kOk);
    EXPECT_EQ(again.ReadString("", "CommandText10", saved), kOk);
    EXPECT_EQ(saved, "FA;");
}

class CommandMacroMachine : public ::testing::Test {
  protected:
    CommandMacroMachine() {
        bench.session->SetActiveMachine(&machine);
        bench.SetEeprom(kMacroBaseAddress, Erased(kRadioMacroCount * kMacroSlotSize));
    }
    template <typename Start>
    Result Run(Start start) {
        CRecordingWindow done;
        CObservation observation(bench.model->portEvent, &done);
        if (!start()) {
            return GetLastError();
        }
        EXPECT_TRUE(bench.pump.AdvanceUntil([&] { return !done.completions.empty(); }, 600000));
        return done.completions.empty() ? kErrorTimeout : done.completions.back();
    }
    std::vector<std::string> Commands(std::size_t from) {
        const auto all = bench.JobCommands();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }
    std::string Slot(std::size_t index, MacroField field, std::size_t length) {
        return bench.EepromText(MacroFieldAddress(index, field), length);
    }

    CRadioBench bench{BenchStart::Contacted};
    CCommandMacros macros{bench.pump};
    CCommandMacroStateMachine machine{*bench.session, macros.labels, macros.texts};
};

TEST_F(CommandMacroMachine, ReadsEveryFieldAsStoredAndNeverPastIt) {
    bench.SetEeprom(MacroFieldAddress(0, MacroField::Label), std::string("QRP\0ZZZZ", 8));
    bench.SetEeprom(MacroFieldAddress(0, MacroField::Commands), std::string("PC5;\xFF", 5));
    // Macro 2 fills both fields: no end byte; the next slot's label follows at once.
    bench.SetEeprom(MacroFieldAddress(1, MacroField::Label), "ABCDEFGH");
    bench.SetEeprom(MacroFieldAddress(1, MacroField::Commands), std::string(120, 'C'));
    bench.SetEeprom(MacroFieldAddress(2, MacroField::Label), std::string("\xE9T\xE9\0", 4));
    macros.labels.Set(3, "OLD");   // an erased slot reads as empty
    macros.labels.Set(9, "KEEP");  // beyond the radio's eight: untouched

    ASSERT_EQ(Run([&] { return machine.StartRead(); }), kOk);
    EXPECT_EQ(macros.labels.Get(0), "QRP");
    EXPECT_EQ(macros.texts.Get(0), "PC5;");
    EXPECT_EQ(macros.labels.Get(1), "ABCDEFGH");
    EXPECT_EQ(macros.texts.Get(1), std::string(120, 'C'));
    EXPECT_EQ(macros.labels.Get(2), "\xC3\xA9T\xC3\xA9");
    EXPECT_EQ(macros.labels.Get(3), "");
    EXPECT_EQ(macros.labels.Get(9), "KEEP");

    const auto commands = Commands(0);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "TT0");
    // Per macro: the label (8 bytes), then the commands in two blocks of at most 64.
    ASSERT_EQ(commands.size(), 1 + 8 * 3);
    EXPECT_EQ(commands[1].substr(0, 8), "ER750008");
    EXPECT_EQ(commands[2].substr(0, 8), "ER750840");
    EXPECT_EQ(commands[3].substr(0, 8), "ER754838");
    EXPECT_EQ(commands[4].substr(0, 8), "ER758008");
    EXPECT_EQ(commands.back().substr(0, 8), "ER78C838");  // macro 8's commands end at 0x78FF
}

TEST_F(CommandMacroMachine, WritesTidiedFieldsLeavesTheRestOfTheSlotAndReadsBackTheSame) {
    const std::string oldTail = Slot(0, MacroField::Label, kMacroLabelSize).substr(4);
    macros.labels.Set(0, "  qrp ");
    macros.texts.Set(0, "fa00014060000;md3;");
    macros.labels.Set(1, "12345678");
    macros.texts.Set(1, std::string(120, 'X'));
    macros.labels.Set(2, "\xC3\xA9t\xC3\xA9");

    ASSERT_EQ(Run([&] { return machine.StartWrite(); }), kOk);
    EXPECT_EQ(macros.labels.Get(0), "QRP");  // the editor shows what was written
    EXPECT_EQ(macros.texts.Get(0), "FA00014060000;MD3;");
    EXPECT_EQ(Slot(0, MacroField::Label, 4), std::string("QRP\0", 4));
    EXPECT_EQ(Slot(0, MacroField::Label, kMacroLabelSize).substr(4), oldTail);
    EXPECT_EQ(Slot(0, MacroField::Commands, 19), std::string("FA00014060000;MD3;\0", 19));
    EXPECT_EQ(Slot(1, MacroField::Label, kMacroLabelSize), "12345678");  // full: no 0 byte
    EXPECT_EQ(Slot(1, MacroField::Commands, 120), std::string(120, 'X'));
    EXPECT_EQ(Slot(2, MacroField::Label, 4), std::string("\xE9T\xE9\0", 4));
    EXPECT_EQ(Slot(3, MacroField::Label, 1), std::string(1, '\0'));  // an empty macro is written empty

    const auto commands = Commands(0);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front().substr(0, 16), "EW75000451525000");  // Q R P 0, and no "TT0;" first

    CCommandMacros fresh(bench.pump);
    CCommandMacroStateMachine reader(*bench.session, fresh.labels, fresh.texts);
    bench.session->SetActiveMachine(&reader);
    CRecordingWindow done;
    CObservation completions(bench.model->portEvent, &done);
    ASSERT_TRUE(reader.StartRead());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !done.completions.empty(); }, 600000));
    ASSERT_EQ(done.completions.back(), kOk);
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        EXPECT_EQ(fresh.labels.Get(i), macros.labels.Get(i)) << i;
        EXPECT_EQ(fresh.texts.Get(i), macros.texts.Get(i)) << i;
    }
}

TEST_F(CommandMacroMachine, RefusesWhatCannotBeStoredBeforeSendingAnything) {
    const struct {
        const char* name;
        std::size_t index;
        bool label;
        std::string text;
        Result code;
    } cases[] = {
        {"label too long", 4, true, "NINECHARS", kErrMacroTooLong},
        {"commands too long", 2, false, std::string(121, 'F'), kErrMacroTooLong},
        {"outside 8 bits", 7, false, "FA;\xE2\x82\xAC", kErrMacroCharacter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CCommandMacros local(bench.pump);
        (c.label ? local.labels : local.texts).Set(c.index, c.text);
        CCommandMacroStateMachine m(*bench.session, local.labels, local.texts);
        bench.session->SetActiveMachine(&m);
        SetLastError(kOk);
        EXPECT_FALSE(m.StartWrite());
        EXPECT_EQ(GetLastError(), c.code);
        EXPECT_TRUE(m.IsIdle());
        bench.pump.AdvanceBy(10000);
        EXPECT_THAT(bench.JobCommands(), IsEmpty());
        EXPECT_EQ((c.label ? local.labels : local.texts).Get(c.index), c.text);  // left as typed
    }
}

TEST_F(CommandMacroMachine, ASilentRadioEndsWithTheEepromCodeAndKeepsWhatWasRead) {
    bench.SetEeprom(MacroFieldAddress(0, MacroField::Label), std::string("ONE\0", 4));
    bench.SetEeprom(MacroFieldAddress(1, MacroField::Label), std::string("TWO\0", 4));
    const struct {
        const char* name;
        bool write;
        Result code;
    } cases[] = {
        {"read", false, kErrNoResponseReadEeprom},
        {"write", true, kErrNoResponseWriteEeprom},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.radio->SetSilent(false);
        CCommandMacros local(bench.pump);
        CCommandMacroStateMachine m(*bench.session, local.labels, local.texts);
        bench.session->SetActiveMachine(&m);
        const std::size_t before = bench.JobCommands().size();
        // Silent from the fifth EEPROM block on: macro 1 and macro 2's label are done.
        CRecordingWindow done;
        CObservation completions(bench.model->portEvent, &done);
        ASSERT_TRUE(c.write ? m.StartWrite() : m.StartRead());
        ASSERT_TRUE(bench.pump.AdvanceUntil(
            [&] {
                std::size_t blocks = 0;
                for (const auto& command : Commands(before)) {
                    blocks += command.rfind("E", 0) == 0 ? 1 : 0;
                }
                if (blocks >= 5) {
                    bench.radio->SetSilent(true);
                }
                return !done.completions.empty();
            },
            600000));
        EXPECT_EQ(done.completions.back(), c.code);
        EXPECT_EQ(ErrorText(c.code),
                  c.write ? "No response to Write EEPROM block" : "No response to Read EEPROM block");
        if (!c.write) {
            EXPECT_EQ(local.labels.Get(0), "ONE");
            EXPECT_EQ(local.labels.Get(1), "TWO");
        }
    }
}

TEST(CommandTesterText, PacesOnlyTextsBeginningWithBangOrAt) {
    EXPECT_FALSE(IsPacedText("FA;"));
    EXPECT_FALSE(IsPacedText(""));
    EXPECT_TRUE(IsPacedText("@ABC"));
    std::vector<std::string_view> pieces;
    const std::string text = "!ABCDEF";  // seven characters: 3, 2, 2
    for (std::size_t at = 0; !PacedPiece(text, at).empty(); at += PacedPiece(text, at).size()) {
        pieces.push_back(PacedPiece(text, at));
    }
    EXPECT_THAT(pieces, ElementsAre("!AB", "CD", "EF"));
}

}  // namespace
}  // namespace rm7

namespace rm7 {
namespace {

// The macro editor's job through the one shell: each end is told once, with what happened.
class MacroEditorJob : public ::testing::Test {
  protected:
    bool RunToEnd() {
        return bench.pump.AdvanceUntil([&] { return view.Ended(); }, 600000);
    }
    // Stops the job once the radio has heard `blocks` EEPROM blocks of it.
    bool StopAfterBlocks(std::size_t blocks) {
        const std::size_t before = bench.JobCommands().size();
        bool asked = false;
        return bench.pump.AdvanceUntil(
            [&] {
                std::size_t seen = 0;
                const auto all = bench.JobCommands();
                for (std::size_t i = before; i < all.size(); ++i) {
                    seen += all[i].rfind("E", 0) == 0 ? 1 : 0;
                }
                if (!asked && seen >= blocks) {
                    asked = true;
                    EXPECT_EQ(job.Shell().RequestStop(), StopRequest::kStopping);
                }
                return view.Ended();
            },
            600000);
    }

    CRadioBench bench{BenchStart::Contacted};
    CCommandMacros macros{bench.pump};
    test::CRecordingJobView view;
    CMacroEditorJob job{*bench.session, macros, view};
};

TEST_F(MacroEditorJob, AReadAndAWriteSayWhatTheyDid) {
    bench.SetEeprom(MacroFieldAddress(0, MacroField::Label), std::string("ONE\0", 4));
    job.Read();
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kDone);
    EXPECT_EQ(view.Last().what, kMacrosReadText);
    EXPECT_EQ(view.Last().radio, RadioState::kUnchanged);
    EXPECT_EQ(macros.labels.Get(0), "ONE");
    EXPECT_THAT(view.busy, ElementsAre(true, false));

    // rm7util's set: read, write, read back, one outcome for the three.
    view = {};
    job.WriteOne(2, " qrp ", "pc5;");
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kDone);
    EXPECT_THAT(view.Last().Lines(), ElementsAre(kMacrosWrittenText, RadioStateText(RadioState::kRunning)));
    EXPECT_EQ(bench.EepromText(MacroFieldAddress(2, MacroField::Label), 4), std::string("QRP\0", 4));
    EXPECT_EQ(bench.EepromText(MacroFieldAddress(0, MacroField::Label), 4), std::string("ONE\0", 4));
    EXPECT_EQ(macros.texts.Get(2), "PC5;");  // as read back
}

TEST_F(MacroEditorJob, AFailureOrAStopIsToldOnceWithTheRadiosState) {
    // A silent radio: the read fails with the EEPROM's code, nothing changed.
    bench.radio->SetSilent(true);
    job.Read();
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kFailed);
    EXPECT_EQ(view.Last().code, kErrNoResponseReadEeprom);
    EXPECT_THAT(view.Last().Lines(),
                ElementsAre(std::string(kMacrosReadFailedText) + ": " + ErrorText(kErrNoResponseReadEeprom),
                            RadioStateText(RadioState::kUnchanged)));
    bench.radio->SetSilent(false);

    // Stopped during a read: nothing changed.
    view = {};
    job.Read();
    ASSERT_TRUE(StopAfterBlocks(2));
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kCancelled);
    EXPECT_EQ(view.Last().what, kMacrosReadCancelledText);
    EXPECT_EQ(view.Last().radio, RadioState::kUnchanged);

    // Stopped during the write: the radio may hold part of it, and the next step is said.
    view = {};
    const std::size_t before = bench.JobCommands().size();
    job.WriteOne(0, "A", "B;");
    ASSERT_TRUE(bench.pump.AdvanceUntil(
        [&] {
            const auto all = bench.JobCommands();
            return std::any_of(all.begin() + static_cast<std::ptrdiff_t>(before), all.end(),
                               [](const std::string& c) { return c.rfind("EW", 0) == 0; });
        },
        600000));
    EXPECT_EQ(job.Shell().RequestStop(), StopRequest::kStopping);
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kCancelled);
    EXPECT_THAT(view.Last().Lines(), ElementsAre(kMacrosWriteCancelledText, kMacrosReadAgainText));
    EXPECT_EQ(view.Last().radio, RadioState::kUnknown);
}

}  // namespace
}  // namespace rm7
