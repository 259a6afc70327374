#include "firmware/rich_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

#include "platform/format.h"

namespace rm7 {
namespace {

// 0x80-0x9F of Windows-1252, the code page release notes are written in; 0 where it has none.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        cp = 0xFFFD;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

enum class Destination { Text, Skip, FontTable, ColourTable };

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;
    int font = -1;
    int colour = 0;
    bool operator==(const CharFormat&) const = default;
};

struct ParaFormat {
    RichParagraph::Align align = RichParagraph::Align::Left;
    int leftIndentTwips = 0;
    int firstIndentTwips = 0;
};

struct GroupState {
    CharFormat chr;
    ParaFormat para;
    Destination destination = Destination::Text;
    int fallbackLength = 1;  // \ucN: characters that follow a \uN for readers without Unicode
};

struct Font {
    std::uint16_t index = kRichTextNoFont;  // in the document's fonts
    bool symbol = false;                    // \fcharset2: the Symbol font's own code points
};

std::size_t Utf8Length(std::uint32_t cp) {
    std::string out;
    AppendUtf8(out, cp);
    return out.size();
}

// C0, DEL and C1: never part of the document's text (its own tab and line break aside).
constexpr bool IsControl(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// Destinations whose text is not the document's.
bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view kSkipped[] = {
        "annotation", "atnid",
        "author",     "bkmkend",
        "bkmkstart",  "colorschememapping",
        "comment",    "datastore",
        "docvar",     "falt",
        "filetbl",    "fldinst",
        "footer",     "footerf",
        "footerl",    "footerr",
        "footnote",   "generator",
        "header",     "headerf",
        "headerl",    "headerr",
        "info",       "latentstyles",
        "listtable",  "listoverridetable",
        "mmathPr",    "nonshppict",
        "object",     "operator",
        "panose",     "pgdsctbl",
        "pict",       "private",
        "revtbl",     "rsidtbl",
        "shp",        "shpinst",
        "stylesheet", "template",
        "themedata",  "title",
        "userprops",  "xmlnstbl",
    };
    for (std::string_view s : kSkipped) {
        if (word == s) {
            return true;
        }
    }
    return false;
}

class CReader {
  public:
    // A counting reader only measures what the document will need, so that the reading one makes
    // each part once at its final size: no copy of a half-grown part beside the grown one.
    struct Sizes {
        std::size_t text = 0;
        std::size_t runs = 0;
        std::size_t paragraphs = 0;
    };
    CReader(std::string_view in, const Sizes* reserve) : m_in(in), m_counting(reserve == nullptr) {
        if (reserve != nullptr) {
            m_document.text.reserve(reserve->text);
            m_document.runs.reserve(reserve->runs);
            m_document.paragraphs.reserve(reserve->paragraphs);
        }
    }
    const Sizes& Measured() const { return m_sizes; }

    RichTextResult Read() {
        RichTextResult result;
        std::size_t start = 0;
        if (m_in.substr(0, 3) == "\xEF\xBB\xBF") {
            start = 3;
        }
        while (start < m_in.size() && std::isspace(static_cast<unsigned char>(m_in[start])) != 0) {
            ++start;
        }
        if (m_in.substr(start, 5) != "{\\rtf") {
            result.error = "The file is not rich text (RTF)";
            return result;
        }
        m_pos = start;
        if (!Parse(result.error)) {
            return result;
        }
        EndParagraph(false);
        result.ok = true;
        result.document = std::move(m_document);
        return result;
    }

  private:
    bool Parse(std::string& error) {
        while (m_pos < m_in.size()) {
            const char c = m_in[m_pos++];
            switch (c) {
                case '{':
                    if (m_stack.size() >= static_cast<std::size_t>(kRichTextDepthLimit)) {
                        error = StrFormat("The file nests groups more than %d deep", kRichTextDepthLimit);
                        return false;
                    }
                    m_stack.push_back(m_state);
                    m_skip = 0;
                    break;
                case '}':
                    if (m_stack.empty()) {
                        return true;  // the document's own group has ended
                    }
                    CloseGroup();
                    if (m_stack.empty()) {
                        return true;
                    }
                    break;
                case '\\':
                    ControlWord();
                    break;
                case '\r':
                case '\n':
                    break;
                default:
                    Character(static_cast<unsigned char>(c));
                    break;
            }
        }
        return true;  // a file cut short keeps what was read
    }

    void CloseGroup() {
        if (m_state.destination == Destination::FontTable && m_stack.back().destination == Destination::FontTable) {
            StoreFont();
        }
        m_state = m_stack.back();
        m_stack.pop_back();
        m_skip = 0;
    }

    void ControlWord() {
        if (m_pos >= m_in.size()) {
            return;
        }
        const char first = m_in[m_pos];
        if (std::isalpha(static_cast<unsigned char>(first)) == 0) {
            ++m_pos;
            ControlSymbol(first);
            return;
        }
        const std::size_t wordStart = m_pos;
        while (m_pos < m_in.size() && std::isalpha(static_cast<unsigned char>(m_in[m_pos])) != 0) {
            ++m_pos;
        }
        const std::string_view word = m_in.substr(wordStart, m_pos - wordStart);
        bool hasParameter = false;
        long long parameter = 0;
        bool negative = false;
        if (m_pos < m_in.size() && m_in[m_pos] == '-') {
            negative = true;
            ++m_pos;
        }
        while (m_pos < m_in.size() && std::isdigit(static_cast<unsigned char>(m_in[m_pos])) != 0) {
            hasParameter = true;
            if (parameter < 100000000) {
                parameter = parameter * 10 + (m_in[m_pos] - '0');
            }
            ++m_pos;
        }
        if (m_pos < m_in.size() && m_in[m_pos] == ' ') {
            ++m_pos;
        }
        const int value = static_cast<int>(negative ? -parameter : parameter);
        Word(word, hasParameter, value);
    }

    void ControlSymbol(char c) {
        switch (c) {
            case '\\':
            case '{':
            case '}':
                Character(static_cast<unsigned char>(c));
                break;
            case '\'': {
                if (m_pos + 2 > m_in.size()) {
                    m_pos = m_in.size();
                    return;
                }
                const int hi = HexValue(m_in[m_pos]);
                const int lo = HexValue(m_in[m_pos + 1]);
                m_pos += 2;
                if (hi >= 0 && lo >= 0) {
                    Byte(static_cast<unsigned char>(hi * 16 + lo));
                }
                break;
            }
            case '*':
                m_state.destination = Destination::Skip;
                break;
            case '~':
                Emit(0x00A0);
                break;
            case '_':
                Emit(0x2011);
                break;
            case '\r':
            case '\n':
                EndParagraph(true);
                break;
            default:
                break;  // \- (optional hyphen), \: and symbols of indexes show nothing
        }
    }

    static int HexValue(char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return (l >= 'a' && l <= 'f') ? l - 'a' + 10 : -1;
    }

    void Word(std::string_view word, bool hasParameter, int value) {
        CharFormat& chr = m_state.chr;
        const bool on = !hasParameter || value != 0;
        if (word == "fonttbl") {
            m_state.destination = Destination::FontTable;
            m_fontNumber = -1;
        } else if (word == "colortbl") {
            m_state.destination = Destination::ColourTable;
            m_colours.clear();
            m_red = m_green = m_blue = -1;
        } else if (IsSkippedDestination(word)) {
            m_state.destination = Destination::Skip;
        } else if (word == "bin") {
            // Binary data of a picture or an object: never text.
            const std::size_t length = hasParameter && value > 0 ? static_cast<std::size_t>(value) : 0;
            m_pos += std::min(length, m_in.size() - m_pos);
        } else if (m_state.destination == Destination::FontTable) {
            FontTableWord(word, value);
        } else if (m_state.destination == Destination::ColourTable) {
            const int component = std::clamp(value, 0, 255);
            if (word == "red") {
                m_red = component;
            } else if (word == "green") {
                m_green = component;
            } else if (word == "blue") {
                m_blue = component;
            }
        } else if (word == "par" || word == "sect" || word == "page") {
            EndParagraph(true);
        } else if (word == "pard") {
            m_state.para = ParaFormat{};
        } else if (word == "plain") {
            chr = CharFormat{};
            chr.font = m_defaultFont;
        } else if (word == "deff") {
            m_defaultFont = value;
            chr.font = value;
        } else if (word == "b") {
            chr.bold = on;
        } else if (word == "i") {
            chr.italic = on;
        } else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" || word == "uldash") {
            chr.underline = on;
        } else if (word == "ulnone") {
            chr.underline = false;
        } else if (word == "fs") {
            chr.halfPoints = hasParameter ? std::clamp(value, 2, 3276) : 24;
        } else if (word == "f") {
            chr.font = value;
        } else if (word == "cf") {
            chr.colour = std::max(value, 0);
        } else if (word == "ql") {
            m_state.para.align = RichParagraph::Align::Left;
        } else if (word == "qc") {
            m_state.para.align = RichParagraph::Align::Centre;
        } else if (word == "qr") {
            m_state.para.align = RichParagraph::Align::Right;
        } else if (word == "qj") {
            m_state.para.align = RichParagraph::Align::Justify;
        } else if (word == "li") {
            m_state.para.leftIndentTwips = std::clamp(value, 0, 14400);
        } else if (word == "fi") {
            m_state.para.firstIndentTwips = std::clamp(value, -14400, 14400);
        } else if (word == "uc") {
            m_state.fallbackLength = std::clamp(value, 0, 10);
        } else if (word == "u") {
            Unicode(value);
        } else if (word == "tab") {
            Emit('\t');
        } else if (word == "line") {
            Emit('\n');
        } else if (word == "emdash") {
            Emit(0x2014);
        } else if (word == "endash") {
            Emit(0x2013);
        } else if (word == "bullet") {
            Emit(0x2022);
        } else if (word == "lquote") {
            Emit(0x2018);
        } else if (word == "rquote") {
            Emit(0x2019);
        } else if (word == "ldblquote") {
            Emit(0x201C);
        } else if (word == "rdblquote") {
            Emit(0x201D);
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            Emit(' ');
        }
    }

    void FontTableWord(std::string_view word, int value) {
        if (word == "f") {
            StoreFont();
            m_fontNumber = value;
            m_fontName.clear();
            m_fontSymbol = false;
        } else if (word == "fcharset") {
            m_fontSymbol = value == 2;
        }
    }

    void StoreFont() {
        if (m_fontNumber < 0) {
            return;
        }
        std::string name = m_fontName;
        while (!name.empty() && (name.back() == ' ' || name.back() == ';')) {
            name.pop_back();
        }
        while (!name.empty() && name.front() == ' ') {
            name.erase(0, 1);
        }
        if (m_fonts.size() < 1000 || m_fonts.count(m_fontNumber) != 0) {
            Font& font = m_fonts[m_fontNumber];
            if (font.index == kRichTextNoFont) {
                font.index = static_cast<std::uint16_t>(m_document.fonts.size());
                m_document.fonts.emplace_back();
            }
            m_document.fonts[font.index] = name.substr(0, 64);
            font.symbol = m_fontSymbol || EqualsSymbol(name);
        }
        m_fontNumber = -1;
        m_fontName.clear();
    }

    static bool EqualsSymbol(const std::string& name) { return name == "Symbol"; }

    void Unicode(int value) {
        std::uint32_t cp = static_cast<std::uint32_t>(value < 0 ? value + 65536 : value) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            m_highSurrogate = cp;
            m_skip = m_state.fallbackLength;
            return;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF && m_highSurrogate != 0) {
            cp = 0x10000 + ((m_highSurrogate - 0xD800) << 10) + (cp - 0xDC00);
        }
        m_highSurrogate = 0;
        EmitText(cp);
        m_skip = m_state.fallbackLength;
    }

    // A character of the file's text as it stands.
    void Character(unsigned char c) {
        if (c < 0x20) {
            return;
        }
        Byte(c);
    }

    // A byte of the document's code page: Windows-1252, or the Symbol font's own.
    void Byte(unsigned char c) {
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        if (m_state.destination == Destination::FontTable) {
            if (c == ';') {
                StoreFont();
            } else if (m_fontName.size() < 256) {
                m_fontName.push_back(static_cast<char>(c));
            }
            return;
        }
        if (m_state.destination == Destination::ColourTable) {
            if (c == ';') {
                if (m_colours.size() < 1000) {
                    m_colours.push_back(m_red < 0
                                            ? kRichTextAutoColour
                                            : static_cast<std::uint32_t>((m_red << 16) | (std::max(m_green, 0) << 8) |
                                                                         std::max(m_blue, 0)));
                }
                m_red = m_green = m_blue = -1;
            }
            return;
        }
        const auto font = m_fonts.find(m_state.chr.font);
        if (font != m_fonts.end() && font->second.symbol) {
            EmitText(SymbolCodePoint(c));
            return;
        }
        if (c >= 0x80 && c <= 0x9F) {
            const std::uint16_t cp = kCp1252High[c - 0x80];
            EmitText(cp != 0 ? cp : 0xFFFD);
            return;
        }
        EmitText(c);
    }

    // A character the file gives as text: a control character there is left out.
    void EmitText(std::uint32_t cp) {
        if (!IsControl(cp)) {
            Emit(cp);
        }
    }

    // The few Symbol-font characters release notes use (list bullets, arrows); others as Latin-1.
    static std::uint32_t SymbolCodePoint(unsigned char c) {
        switch (c) {
            case 0xB7:
                return 0x2022;
            case 0xAE:
                return 0x2192;
            case 0xAC:
                return 0x2190;
            case 0xA7:
                return 0x25AA;
            case 0xD8:
                return 0x00AC;
            default:
                return c;
        }
    }

    void Emit(std::uint32_t cp) {
        if (m_state.destination != Destination::Text) {
            return;
        }
        const CharFormat& chr = m_state.chr;
        const bool newRun = m_paragraphRuns == 0 || !(chr == m_runFormat);
        if (newRun) {
            ++m_paragraphRuns;
            m_runFormat = chr;
        }
        if (m_counting) {
            m_sizes.runs += newRun ? 1 : 0;
            m_sizes.text += Utf8Length(cp);
            return;
        }
        if (newRun) {
            RichRun run;
            run.bold = chr.bold;
            run.italic = chr.italic;
            run.underline = chr.underline;
            run.halfPoints = static_cast<std::uint16_t>(chr.halfPoints);
            run.colour = static_cast<std::size_t>(chr.colour) < m_colours.size()
                             ? m_colours[static_cast<std::size_t>(chr.colour)]
                             : kRichTextAutoColour;
            const auto font = m_fonts.find(chr.font);
            run.font = font != m_fonts.end() ? font->second.index : kRichTextNoFont;
            m_document.runs.push_back(run);
        }
        AppendUtf8(m_document.text, cp);
        m_document.runs.back().end = static_cast<std::uint32_t>(m_document.text.size());
    }

    // explicit: a \par, which ends a paragraph even when it is empty.
    void EndParagraph(bool explicitEnd) {
        if (m_state.destination != Destination::Text && explicitEnd) {
            return;
        }
        if (!explicitEnd && m_paragraphRuns == 0) {
            return;
        }
        if (m_counting) {
            ++m_sizes.paragraphs;
        } else {
            RichParagraph paragraph;
            paragraph.firstRun = static_cast<std::uint32_t>(m_document.runs.size() - m_paragraphRuns);
            paragraph.align = m_state.para.align;
            paragraph.leftIndentTwips = static_cast<std::int16_t>(m_state.para.leftIndentTwips);
            paragraph.firstIndentTwips = static_cast<std::int16_t>(m_state.para.firstIndentTwips);
            m_document.paragraphs.push_back(paragraph);
        }
        m_paragraphRuns = 0;
    }

    std::string_view m_in;
    bool m_counting = false;
    Sizes m_sizes;
    std::size_t m_paragraphRuns = 0;  // the runs of the paragraph under way
    std::size_t m_pos = 0;
    GroupState m_state;
    std::vector<GroupState> m_stack;
    int m_skip = 0;
    std::uint32_t m_highSurrogate = 0;
    int m_defaultFont = -1;
    std::map<int, Font> m_fonts;
    int m_fontNumber = -1;
    std::string m_fontName;
    bool m_fontSymbol = false;
    std::vector<std::uint32_t> m_colours;
    int m_red = -1;
    int m_green = -1;
    int m_blue = -1;
    CharFormat m_runFormat;  // the format of the paragraph's last run
    RichDocument m_document;
};

void AppendEscaped(std::string& html, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&':
                html += "&amp;";
                break;
            case '<':
                html += "&lt;";
                break;
            case '>':
                html += "&gt;";
                break;
            case '"':
                html += "&quot;";
                break;
            case '\'':
                html += "&#39;";
                break;
            case '\n':
                html += "<br>";
                break;
            default:
                html.push_back(c);
                break;
        }
    }
}

// A font name as CSS takes it inside an attribute: letters, digits, spaces and dashes only.
std::string CssFontName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == ' ' || c == '-' || c == '_') {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

RichTextResult ReadRichText(std::string_view rtf) {
    // Offsets are 32-bit; the notes' own size limit is far below.
    if (rtf.size() > 0x3FFFFFFF) {
        return {false, "The file is too large for release notes", {}};
    }
    CReader counter(rtf, nullptr);
    if (RichTextResult counted = counter.Read(); !counted.ok) {
        return counted;
    }
    const CReader::Sizes sizes = counter.Measured();
    return CReader(rtf, &sizes).Read();
}

std::span<const RichRun> RichDocument::Runs(std::size_t paragraph) const {
    const std::size_t first = paragraphs[paragraph].firstRun;
    const std::size_t last = paragraph + 1 < paragraphs.size() ? paragraphs[paragraph + 1].firstRun : runs.size();
    return std::span<const RichRun>(runs).subspan(first, last - first);
}

std::string_view RichDocument::Text(const RichRun& run) const {
    const auto index = static_cast<std::size_t>(&run - runs.data());
    const std::uint32_t begin = index == 0 ? 0 : runs[index - 1].end;
    return std::string_view(text).substr(begin, run.end - begin);
}

std::string_view RichDocument::Font(const RichRun& run) const {
    return run.font < fonts.size() ? std::string_view(fonts[run.font]) : std::string_view();
}

std::string RichTextToHtml(const RichDocument& document) {
    std::string html = "<html><body>";
    for (std::size_t p = 0; p < document.paragraphs.size(); ++p) {
        const RichParagraph& paragraph = document.paragraphs[p];
        const std::span<const RichRun> runs = document.Runs(p);
        static constexpr const char* kAlign[] = {"left", "center", "right", "justify"};
        html += StrFormat(
            "<p style=\"margin-top:0;margin-bottom:0;white-space:pre-wrap;text-align:%s;margin-left:%dpx;"
            "text-indent:%dpx\">",
            kAlign[static_cast<int>(paragraph.align)], paragraph.leftIndentTwips / 15, paragraph.firstIndentTwips / 15);
        if (runs.empty()) {
            html += "&nbsp;";
        }
        for (const RichRun& run : runs) {
            std::string style = StrFormat("font-size:%g", run.halfPoints / 2.0) + "pt";
            if (run.bold) {
                style += ";font-weight:bold";
            }
            if (run.italic) {
                style += ";font-style:italic";
            }
            if (run.underline) {
                style += ";text-decoration:underline";
            }
            if (run.colour != kRichTextAutoColour) {
                style += StrFormat(";color:#%06X", static_cast<unsigned>(run.colour & 0xFFFFFF));
            }
            if (const std::string font = CssFontName(document.Font(run)); !font.empty()) {
                style += ";font-family:'" + font + "'";
            }
            html += "<span style=\"" + style + "\">";
            AppendEscaped(html, document.Text(run));
            html += "</span>";
        }
        html += "</p>";
    }
    html += "</body></html>";
    return html;
}

std::string RichTextToPlainText(const RichDocument& document) {
    std::string text;
    text.reserve(document.text.size() + document.paragraphs.size());
    for (std::size_t p = 0; p < document.paragraphs.size(); ++p) {
        for (const RichRun& run : document.Runs(p)) {
            text += document.Text(run);
        }
        text.push_back('\n');
    }
    return text;
}

}  // namespace rm7
