#include "terminal/terminal_text.h"

#include <gtest/gtest.h>

#include "terminal/command_tester.h"

namespace rm7 {
namespace {

constexpr TerminalMode kCw = TerminalMode::kCw;
constexpr TerminalMode kRtty = TerminalMode::kRtty;
constexpr TerminalMode kPsk = TerminalMode::kPsk;

// One row per class of characters: what each mode sends of it.
TEST(TerminalFilter, EachModeKeepsDropsOrReplacesItsCharacters) {
    const struct {
        std::string text;
        std::string cw, rtty, psk;
    } cases[] = {
        {" !(+,-./09=?AZaz", " !(+,-./09=?AZaz", " !(+,-./09=?AZaz", " !(+,-./09=?AZaz"},
        {"\n#$&'):", "", "\n#$&'):", "\n#$&'):"},
        {"%*_@", "%*_@", "", "%*_@"},
        {"\"<>[\\]^`{|}~", "", "", "\"<>[\\]^`{|}~"},
        {"A\rB", "A B", "A\r\nB", "A\nB"},
        {"a;b", "a,b", "a,b", "a,b"},
        // Control characters are never keyed: an EOT inside the text would end the transmission.
        {std::string("x\0y", 3), "xy", "xy", "xy"},
        {"DE\x04K\x01\x06\x07\x08\t\x0B\x0C\x0E\x1B\x1F\x7F!", "DEK!", "DEK!", "DEK!"},
        // No mode carries a character beyond ASCII; none goes as the ASCII of its low 7 bits
        // (0xE9 'i', 0xBB ';', 0xC1 'A', 0x8D CR, 0x84 EOT).
        {"caf\xE9 \xF1 \xBBx\xAB", "caf  x", "caf  x", "caf  x"},
        {"\xC1\x8D\x84\xA0\xFF", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterForMode(c.text, kCw), c.cw) << c.text;
        EXPECT_EQ(FilterForMode(c.text, kRtty), c.rtty) << c.text;
        EXPECT_EQ(FilterForMode(c.text, kPsk), c.psk) << c.text;
    }
}

// Typed or --send text, as the pane holds it: each line break one CR, a character without a
// byte left out (it never goes as '?').
TEST(TerminalFilter, TypedTextHasOneCrForEachLineBreak) {
    const struct {
        const char* utf8;
        std::string pane;
    } cases[] = {
        {"CQ\r\nDE", "CQ\rDE"},
        {"CQ\nDE\rK", "CQ\rDE\rK"},
        {"A\r\n\r\nB\n\r", "A\r\rB\r\r"},
        {"caf\xC3\xA9 \xE2\x82\xAC"
         "5 \xF0\x9F\x93\xBB?",
         "caf\xE9 5 ?"},
        {"bad \xFF byte", "bad  byte"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TransmitTextFromUtf8(c.utf8), c.pane) << c.utf8;
    }
    // CR LF given is one line break on the air.
    EXPECT_EQ(FilterForMode(TransmitTextFromUtf8("CQ\r\nDE"), kRtty), "CQ\r\nDE");
    EXPECT_EQ(FilterForMode(TransmitTextFromUtf8("CQ\r\nDE"), kPsk), "CQ\nDE");
    EXPECT_EQ(FilterForMode(TransmitTextFromUtf8("CQ\r\nDE"), kCw), "CQ DE");
}

TEST(TerminalFilter, CwEchoShowsProsignsAsTheirLetters) {
    EXPECT_EQ(EchoForm("_+%=(*!", kCw), "AAARASBTKNSKVE");
    EXPECT_EQ(EchoForm("CQ = K", kCw), "CQ BT K");
    EXPECT_EQ(EchoForm("CQ = K", kRtty), "CQ = K");
    EXPECT_EQ(EchoForm("%*", kPsk), "%*");
}

TEST(TerminalMemory, MarkersBecomeFlagsAndLineBreaks) {
    const struct {
        const char* memory;
        const char* text;
        bool txOn, txOff;
    } cases[] = {
        {"CQ CQ", "CQ CQ", false, false},
        {"CQ DE ME[CRLF][TXON]", "CQ DE ME\r", true, false},
        {"[TXON]73[NL]SK[TXOFF]", "73\rSK", true, true},
        {"[TXOFF][TXOFF]a[NL][NL]", "a\r\r", false, true},
        {"[txon] [XYZ", "[txon] [XYZ", false, false},
    };
    for (const auto& c : cases) {
        const MemoryText m = ExpandMemory(c.memory);
        EXPECT_EQ(m.text, c.text) << c.memory;
        EXPECT_EQ(m.txOn, c.txOn) << c.memory;
        EXPECT_EQ(m.txOff, c.txOff) << c.memory;
    }
}

TEST(TerminalAnswer, TextBufferAnswerIsReadByItsLength) {
    const struct {
        const char* response;
        AnswerCheck check;
    } cases[] = {
        {"TB000;", AnswerCheck::kValid},     {"TB903ABC;", AnswerCheck::kValid},
        {"TB002;", AnswerCheck::kNeedMore},  // its text is ";;"
        {"TB002;;", AnswerCheck::kNeedMore}, {"TB002;;;", AnswerCheck::kValid},
        {"TB001AB;", AnswerCheck::kInvalid},  // longer than it says
        {"TB00;", AnswerCheck::kInvalid},    {"TBX00;", AnswerCheck::kInvalid},
        {"?;", AnswerCheck::kInvalid},       {"RVM02.54;", AnswerCheck::kInvalid},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckTextBufferAnswer(c.response), c.check) << c.response;
    }
    const TextBufferAnswer answer = ParseTextBufferAnswer("TB704A;B;;");
    EXPECT_EQ(answer.untransmitted, 7u);
    EXPECT_EQ(answer.received, "A;B;");
}

TEST(TerminalText, ConsoleFormKeepsLinesAndEscapesControls) {
    EXPECT_EQ(TerminalTextForConsole("CQ\r\nDE\rX\nY\tZ"), "CQ\nDE\nX\nY\tZ");
    EXPECT_EQ(TerminalTextForConsole("\x1B[2J\x07\x7F"), "\\x1B[2J\\x07\\x7F");
    EXPECT_EQ(TerminalTextForConsole("\xE9"), "\xC3\xA9");
    EXPECT_EQ(TerminalModeFromName("rtty"), kRtty);
    EXPECT_FALSE(TerminalModeFromName("fm").has_value());
}

TEST(CommandTesterText, ShowsPrintableLatin1AndEscapesTheRest) {
    EXPECT_EQ(TesterPrintableForm("FA00014060000;"), "FA00014060000;");
    EXPECT_EQ(TesterPrintableForm("?;\r\n"), "?;\\x0D\\x0A");
    EXPECT_EQ(TesterPrintableForm(std::string("\x00\x7F\x9F\xA0\xE9", 5)), "\\x00\\x7F\\x9F\xC2\xA0\xC3\xA9");
}

}  // namespace
}  // namespace rm7
