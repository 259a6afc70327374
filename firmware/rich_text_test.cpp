#include "firmware/rich_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "firmware/release_notes.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

std::string Plain(std::string_view rtf) {
    const RichTextResult r = ReadRichText(rtf);
    EXPECT_TRUE(r.ok) << rtf << ": " << r.error;
    return RichTextToPlainText(r.document);
}

std::string ReadSample() {
    std::ifstream in(RM7_RTF_SAMPLE, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RichText, ReleaseNotesAsAWordProcessorWritesThem) {
    const RichTextResult r = ReadRichText(ReadSample());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(RichTextToPlainText(r.document),
              "RM7 Firmware Release Notes\n"
              "\n"
              "MCU 02.90, DSP 02.90\n"
              "Released 10 December 2026. Caf\u00e9 owners in M\u00fcnchen and S\u00e3o Paulo, rejoice \u2013 this "
              "release is for you.\n"
              "\n"
              "\u2022\tNew: keyer speeds up to 60 WPM.\n"
              "\u2022\tFixed: the SWR alarm no longer sounds at power-on.\n"
              "\u2022\tChanged: menu 73 now shows seconds; see the manual.\n"
              "\n"
              "MN073;  SWT20;\nSecond line\tafter a tab.\n"
              "Price: \u20ac 0 \u2014 free.\n");
    const RichDocument& d = r.document;
    const std::vector<RichParagraph>& p = d.paragraphs;
    ASSERT_EQ(p.size(), 11u);
    // The heading: centred, bold, 16 pt, in the table's first font.
    EXPECT_EQ(p[0].align, RichParagraph::Align::Centre);
    ASSERT_EQ(d.Runs(0).size(), 1u);
    EXPECT_TRUE(d.Runs(0)[0].bold);
    EXPECT_EQ(d.Runs(0)[0].halfPoints, 32);
    EXPECT_EQ(d.Font(d.Runs(0)[0]), "Arial");
    EXPECT_EQ(p[2].align, RichParagraph::Align::Left);
    // A bullet item: indented, the alarm in bold red, the manual's link text in navy.
    EXPECT_EQ(p[6].leftIndentTwips, 720);
    EXPECT_EQ(p[6].firstIndentTwips, -360);
    EXPECT_EQ(p[8].leftIndentTwips, 0);
    bool red = false;
    for (const RichRun& run : d.Runs(6)) {
        red = red || (d.Text(run) == "SWR alarm" && run.bold && run.colour == 0xC00000);
    }
    EXPECT_TRUE(red);
    EXPECT_EQ(d.Text(d.Runs(7).back()), ".");
    EXPECT_EQ(d.Runs(7)[d.Runs(7).size() - 2].colour, 0x000080u);
    EXPECT_TRUE(d.Runs(7)[2].underline);
    EXPECT_EQ(d.Font(d.Runs(9)[0]), "Courier New");
    EXPECT_TRUE(d.Runs(5)[2].italic);
}

TEST(RichText, CharactersEscapesAndWhatIsSkipped) {
    struct Case {
        const char* rtf;
        const char* text;
    };
    const Case cases[] = {
        {R"({\rtf1 a\par b})", "a\nb\n"},
        {R"({\rtf1 \\\{\}})", "\\{}\n"},
        {R"({\rtf1 \'e9\'93x\'94 \'80})", "\u00e9\u201cx\u201d \u20ac\n"},
        {R"({\rtf1 \u-10179?\u-8704?!})", "\U0001F600!\n"},
        {R"({\rtf1\uc2 \u8364XYz\uc0\u8364 w})", "\u20acz\u20acw\n"},
        {R"({\rtf1 {\*\unknown secret}shown})", "shown\n"},
        {R"({\rtf1 \unknownword12 text})", "text\n"},
        {R"({\rtf1 {\info{\title T}{\author A}}{\stylesheet{\s1 heading;}}body})", "body\n"},
        {R"({\rtf1 a\bin3 {}}b})", "ab\n"},
        {R"({\rtf1 one\line two\tab three})", "one\ntwo\tthree\n"},
        {R"({\rtf1 x\~y\-z\_w})", "x\u00a0yz\u2011w\n"},
        {"{\\rtf1 a\r\nb\\\r\nc}", "ab\nc\n"},
        {"\xEF\xBB\xBF \r\n{\\rtf1 bom}", "bom\n"},
        {R"({\rtf1 cut short)", "cut short\n"},
        {R"({\rtf1 a}after the end)", "a\n"},
        {R"({\rtf1 {\fonttbl{\f0\fcharset2 Symbol;}{\f1 Arial;}}\f0\'b7\f1\'b7})", "\u2022\u00b7\n"},
        // Control characters given as escapes never become text: ESC, BEL, DEL, a C1 CSI.
        {R"({\rtf1 a\'1b]0;TITLE\'07b\'7fc\u155?d\u27?e})", "a]0;TITLEbcde\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Plain(c.rtf), c.text) << c.rtf;
    }
}

TEST(RichText, WhatIsNotRichTextOrNestsTooDeepIsRefused) {
    EXPECT_FALSE(ReadRichText("").ok);
    EXPECT_FALSE(ReadRichText("Release notes in plain text").ok);
    EXPECT_FALSE(ReadRichText("{\\rt").ok);
    const std::string deepest = "{\\rtf1" + std::string(kRichTextDepthLimit - 1, '{') + "x";
    EXPECT_TRUE(ReadRichText(deepest).ok);
    const RichTextResult tooDeep = ReadRichText(deepest + "{");
    EXPECT_FALSE(tooDeep.ok);
    EXPECT_THAT(tooDeep.error, ::testing::HasSubstr("100"));
}

TEST(RichText, HtmlEscapesTextAndFontNames) {
    const RichTextResult r = ReadRichText(
        R"({\rtf1{\fonttbl{\f0 Ev"il'><b;}}{\colortbl;\red1\green2\blue3;}\f0\cf1 <script>&"'</script>\par})");
    ASSERT_TRUE(r.ok);
    const std::string html = RichTextToHtml(r.document);
    EXPECT_THAT(html, ::testing::Not(::testing::HasSubstr("<script>")));
    EXPECT_THAT(html, ::testing::HasSubstr("&lt;script&gt;&amp;&quot;&#39;&lt;/script&gt;"));
    EXPECT_THAT(html, ::testing::HasSubstr("font-family:'Evilb'"));
    EXPECT_THAT(html, ::testing::HasSubstr("color:#010203"));
}

TEST(ReleaseNotes, FoundInAnyCaseAndEveryFailureNamesThePath) {
    test::CTempFolder folder;
    ReleaseNotes none = LoadReleaseNotes(folder.Path().string());
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error,
              "Unable to open Firmware Release Notes \"" + (folder.Path() / "ffwnotes.rtf").string() + "\"");
    EXPECT_EQ(none.code, kErrorFileNotFound);

    const ReleaseNotes bare = LoadReleaseNotes("");
    EXPECT_EQ(bare.error, "Unable to open Firmware Release Notes \"ffwnotes.rtf\"");

    std::ofstream(folder.Path() / "FFWNOTES.RTF") << "plain text";
    const ReleaseNotes notRtf = LoadReleaseNotes(folder.Path().string());
    EXPECT_FALSE(notRtf.ok);
    EXPECT_EQ(notRtf.path, folder.Path() / "FFWNOTES.RTF");
    EXPECT_THAT(notRtf.reason, ::testing::HasSubstr("not rich text"));

    std::ofstream(folder.Path() / "FFWNOTES.RTF", std::ios::trunc) << ReadSample();
    const ReleaseNotes good = LoadReleaseNotes(folder.Path().string());
    ASSERT_TRUE(good.ok) << good.reason;
    EXPECT_EQ(good.document.paragraphs.size(), 11u);
}

}  // namespace
}  // namespace rm7
