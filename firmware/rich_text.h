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
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rm7 {

inline constexpr int kRichTextDepthLimit = 100;
// A colour of "auto": the reader's default text colour.
inline constexpr std::uint32_t kRichTextAutoColour = 0xFF000000;

// The document is kept flat, a few bytes a run and a paragraph, so that a file that splits into
// millions of runs or paragraphs takes a small multiple of its own size: all the text in one
// string, each run the end of its text there, each paragraph the index of its first run.
inline constexpr std::uint16_t kRichTextNoFont = 0xFFFF;

struct RichRun {
    std::uint32_t end = 0;  // the run's text ends here in RichDocument::text; it begins where the run before ends
    std::uint32_t colour = kRichTextAutoColour;  // 0xRRGGBB
    std::uint16_t halfPoints = 24;               // 12 pt
    std::uint16_t font = kRichTextNoFont;        // in RichDocument::fonts
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

struct RichParagraph {
    enum class Align : std::uint8_t { Left, Centre, Right, Justify };
    std::uint32_t firstRun = 0;  // its runs go up to the next paragraph's first
    std::int16_t leftIndentTwips = 0;
    std::int16_t firstIndentTwips = 0;  // of the first line against the rest; negative: a hanging indent
    Align align = Align::Left;
};

struct RichDocument {
    std::string text;  // UTF-8; '\t' a tab, '\n' a line break within a paragraph; no other control character
    std::vector<RichRun> runs;
    std::vector<RichParagraph> paragraphs;
    std::vector<std::string> fonts;  // the font table's names

    std::span<const RichRun> Runs(std::size_t paragraph) const;
    std::string_view Text(const RichRun& run) const;  // run: one of runs
    std::string_view Font(const RichRun& run) const;  // empty when unknown
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
