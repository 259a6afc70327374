#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace rm7 {
namespace {

using namespace std::string_literals;

TEST(Text, EveryByteSurvivesTheRoundTripThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::string utf8 = Latin1ToUtf8(all);
    EXPECT_EQ(utf8.size(), 128u + 2u * 128u);
    EXPECT_EQ(Utf8ToLatin1(utf8), all);
    EXPECT_EQ(Latin1ToUtf8("\xE9"), "\xC3\xA9");
}

TEST(Text, Utf8ToLatin1ReplacesWhatOneByteCannotHold) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"abc;", "abc;"},
        {"caf\xC3\xA9", "caf\xE9"},
        {"\xE2\x82\xAC\x35", "?5"},    // U+20AC needs more than a byte
        {"\xF0\x9F\x93\xBB!", "?!"},   // four-byte character
        {"a\x80\x62", "a?b"},          // stray continuation byte
        {"\xC3", "?"},                 // truncated at the end
        {"\xC3\x41", "?A"},            // truncated before ASCII: the A is kept
        {"\xC0\xAF", "??"},            // overlong '/'
        {"\xE0\x80\xAF", "???"},       // overlong, three bytes
        {"\xED\xA0\x80", "???"},       // a surrogate
        {"\xF4\x90\x80\x80", "????"},  // past U+10FFFF
        {"\xFF\xFE", "??"},
        {"\0x"s, "\0x"s},  // NUL is a character like any other
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToLatin1(c.in), c.out) << PrintableForm(c.in);
    }
}

TEST(Text, WithModelNameFillsEveryPlaceAndLeavesOtherPercentSigns) {
    const std::pair<const char*, const char*> cases[] = {
        {"%s must be in \"TX NORM\"", "RM7 must be in \"TX NORM\""},
        {"%s time; the %s clock", "RM7 time; the RM7 clock"},
        {"100% %d %", "100% %d %"},
        {"%%s", "%RM7"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(WithModelName(text), expected) << text;
    }
}

TEST(Text, PrintableFormEscapesEverythingOutsidePrintableAscii) {
    EXPECT_EQ(PrintableForm("ab\rc;"), "ab\\x0Dc;");
    EXPECT_EQ(PrintableForm("\0\x1F \x7E\x7F\x80\xFF"s), "\\x00\\x1F ~\\x7F\\x80\\xFF");
    EXPECT_EQ(PrintableForm("\\x"), "\\x");  // a literal backslash is printable and stays
    EXPECT_EQ(PrintableForm(""), "");
}

TEST(Text, QuotedExcerptCutsLongTextShortAndKeepsControlsOffTheTerminal) {
    struct Case {
        std::string in;
        std::size_t limit;
        std::string out;
    } cases[] = {
        {"MEM2 zz", 60, "\"MEM2 zz\""},
        {"", 60, "\"\""},
        {"abcdef", 6, "\"abcdef\""},                                    // exactly the limit: whole, unmarked
        {"abcdefg", 6, "\"abcdef...\" (7 characters)"},                 // one more: cut and marked
        {"caf\xE9", 60, "\"caf\xC3\xA9\""},                             // 8-bit text shown as UTF-8
        {"a\x1B[2Jb\x9B\x7F\t"s, 60, "\"a\\x1B[2Jb\\x9B\\x7F\\x09\""},  // no escape sequence gets out
        {"\xE9\xE9\xE9", 2, "\"\xC3\xA9\xC3\xA9...\" (3 characters)"},  // cut by characters, not UTF-8 bytes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuotedExcerpt(c.in, c.limit), c.out) << PrintableForm(c.in);
    }
    const std::string megabyte(1 << 20, 'x');
    EXPECT_EQ(QuotedExcerpt(megabyte), "\"" + std::string(60, 'x') + "...\" (1048576 characters)");
}

// File names and typed arguments reach JSON and logs through this; what it gives is always UTF-8.
TEST(Text, Utf8OrEscapedKeepsGoodSequencesAndEscapesEveryOtherByte) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"/fw/fmcu0288.hex", "/fw/fmcu0288.hex"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBB", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBB"},
        {"fdsp\xFF.hex", "fdsp\\xFF.hex"},
        {"caf\xE9;", "caf\\xE9;"},             // ISO-8859-1, not UTF-8
        {"\xC3\x41", "\\xC3A"},                // truncated before ASCII: the A is kept
        {"\xE2\x82", "\\xE2\\x82"},            // truncated at the end
        {"\xC0\xAF", "\\xC0\\xAF"},            // overlong
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},   // a surrogate
        {"tab\tand\0nul"s, "tab\tand\0nul"s},  // control characters are valid UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8OrEscaped(c.in), c.out) << PrintableForm(c.in);
        EXPECT_EQ(Utf8OrEscaped(c.out), c.out) << "the result is well-formed UTF-8";
    }
}
TEST(Text, SafeToPrintLetsNoControlCharacterReachATerminal) {
    struct Case {
        std::string in;
        std::string out;
        std::string layoutKept;
        bool controls;
    } cases[] = {
        {"fmcu0300.hex caf\xC3\xA9 \xE2\x82\xAC", "fmcu0300.hex caf\xC3\xA9 \xE2\x82\xAC",
         "fmcu0300.hex caf\xC3\xA9 \xE2\x82\xAC", false},
        // An OSC title sequence, BEL, a C1 CSI (U+009B), DEL and NUL.
        {"\x1B]0;TITLE\x07", "\\x1B]0;TITLE\\x07", "\\x1B]0;TITLE\\x07", true},
        {"a\xC2\x9B"
         "2Jb\x7F\0c"s,
         "a\\x9B"
         "2Jb\\x7F\\x00c",
         "a\\x9B"
         "2Jb\\x7F\\x00c",
         true},
        {"a\tb\r\nc", "a\\x09b\\x0D\\x0Ac", "a\tb\\x0D\nc", true},
        // A lone C1 byte is not UTF-8 at all; U+00A0 and above are text.
        {"\x9B[2J \xC2\xA0", "\\x9B[2J \xC2\xA0", "\\x9B[2J \xC2\xA0", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeToPrint(c.in), c.out) << PrintableForm(c.in);
        EXPECT_EQ(SafeToPrint(c.in, true), c.layoutKept) << PrintableForm(c.in);
        EXPECT_EQ(HoldsControlCharacter(c.in), c.controls) << PrintableForm(c.in);
    }
}

TEST(Text, FlattenLineBreaksReplacesEachCrLfPairOnly) {
    struct Case {
        std::string_view text;
        std::string_view replacement;
        std::string out;
    } cases[] = {
        {"Sent MCU\r\nRM7 responded", "\n  ", "Sent MCU\n  RM7 responded"},
        {"a\r\nb\r\nc", " ", "a b c"},
        {"\r\n\r\n", "|", "||"},
        {"a\rb\nc\n\rd", " ", "a\rb\nc\n\rd"},  // lone CR, lone LF and LF CR stay
        {"a\r\r\nb", " ", "a\r b"},
        {"end\r\n", "", "end"},
        {"a\r\nb", "\r\n", "a\r\nb"},  // one pass: the replacement is not replaced again
        {"", " ", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlattenLineBreaks(c.text, c.replacement), c.out) << PrintableForm(c.text);
    }
}

TEST(Text, NoCaseComparisonsFoldAsciiLettersOfEitherSide) {
    struct Case {
        std::string_view text;
        std::string_view prefix;
        bool startsWith;
    } cases[] = {
        {"R51;", "R5", true},
        {"r51;", "R5", true},
        {"R51;", "r5", true},
        {"FMCU0288.hex", "fmcu", true},
        {"fmcu0288.hex", "FmCu", true},
        {"fMcU0288.hex", "FMCU", true},
        {"anything", "", true},
        {"", "", true},
        {"R", "R5", false},  // shorter than the prefix
        {"R4;", "R5", false},
        {"fdsp.hex", "fmcu", false},
        {"[x", "{X", false},  // '[' and '{' are not a letter and its case
        {"@a", "`A", false},
        {"Été", "éT", false},  // only ASCII letters fold
        {"Été", "ÉT", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(PrintableForm(c.text) + " / " + PrintableForm(c.prefix));
        EXPECT_EQ(StartsWithNoCase(c.text, c.prefix), c.startsWith);
        EXPECT_EQ(EqualsNoCase(c.text, c.prefix), c.startsWith && c.text.size() == c.prefix.size());
        EXPECT_EQ(EqualsNoCase(c.prefix, c.text), c.startsWith && c.text.size() == c.prefix.size());
    }
    EXPECT_TRUE(EqualsNoCase(".HEX", ".hex"));
    EXPECT_FALSE(EqualsNoCase(".hex", ".hexx"));
}

TEST(Text, HexDigitValueTakesBothCasesAndNothingElse) {
    struct Case {
        char c;
        int value;
    } cases[] = {
        {'0', 0},  {'9', 9},  {'A', 10}, {'F', 15}, {'a', 10}, {'f', 15},  {'/', -1},    {':', -1},    {'@', -1},
        {'G', -1}, {'`', -1}, {'g', -1}, {' ', -1}, {'x', -1}, {'\0', -1}, {'\xC1', -1}, {'\xE1', -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexDigitValue(c.c), c.value) << PrintableForm(std::string(1, c.c));
        EXPECT_EQ(IsHexDigit(c.c), c.value >= 0) << PrintableForm(std::string(1, c.c));
    }
}

TEST(ShellWords, SplitAsAShellWould) {
    const struct {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {
        {"", {}},
        {"  --speed   9600 ", {"--speed", "9600"}},
        {"--rx-text 'CQ CQ DE N0CALL K'", {"--rx-text", "CQ CQ DE N0CALL K"}},
        {"--rx-text \"say \\\"hi\\\" \\\\ \\n\"", {"--rx-text", "say \"hi\" \\ \\n"}},
        {"a\\ b 'it'\\''s' \"\"", {"a b", "it's", ""}},
        {"x'y z'\"w\"", {"xy zw"}},
        {"'$HOME' *", {"$HOME", "*"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"stale"};
        std::string error;
        EXPECT_TRUE(SplitShellWords(c.line, words, error)) << c.line << ": " << error;
        EXPECT_EQ(words, c.words) << c.line;
    }
    for (const char* bad : {"'open", "--rx-text \"open", "end\\"}) {
        std::vector<std::string> words;
        std::string error;
        EXPECT_FALSE(SplitShellWords(bad, words, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace rm7
