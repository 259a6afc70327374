#pragma once
// A small reader for the rich text the firmware's release notes come in, and the two forms it
// is shown in: HTML for the release-notes window and plain text for rm7util.
//
// It keeps what a reader of release notes sees: paragraphs and their alignment and indent,
// bold, italic, underline, font size, font and colour (through the font and colour tables),
// characters given as \'hh (Windows-1252) or \uN (Unicode, with its fallback skipped), tabs,
// line breaks and the common typographic symbols. Destinations and control words it does not
// know are skipped, never shown as text. The file is outside input: groups nest at most
// kRichTextDepthLimit deep, and a file that does not begin as rich text is refused.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rm7 {

inline constexpr int kRichTextDepthLimit = 100;
// A colour of "auto": the reader's default text colour.
inline constexpr std::uint32_t kRichTextAutoColour = 0xFF000000;

struct RichRun {
    std::string text;  // UTF-8; '\t' a tab, '\n' a line break within the paragraph
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;                         // 12 pt
    std::uint32_t colour = kRichTextAutoColour;  // 0xRRGGBB
    std::string font;                            // the font table's name, empty when unknown
};

struct RichParagraph {
    enum class Align { Left, Centre, Right, Justify };
    Align align = Align::Left;
    int leftIndentTwips = 0;
    int firstIndentTwips = 0;  // of the first line against the rest; negative: a hanging indent
    std::vector<RichRun> runs;
};

struct RichDocument {
    std::vector<RichParagraph> paragraphs;
};

struct RichTextResult {
    bool ok = false;
    std::string error;  // why the text was refused, for the user
    RichDocument document;
};

RichTextResult ReadRichText(std::string_view rtf);

// An HTML page (html and body, no head) with every text escaped.
std::string RichTextToHtml(const RichDocument& document);
// Paragraphs end with '\n'.
std::string RichTextToPlainText(const RichDocument& document);

}  // namespace rm7
