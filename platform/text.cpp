#include "platform/text.h"

#include "platform/version.h"

#include <cstdint>

namespace rm7 {

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

namespace {

// The length of the well-formed UTF-8 sequence at utf8[i] and its code point, or 0 when the
// byte there starts none: overlong forms, surrogates and values past U+10FFFF are malformed too.
std::size_t DecodeUtf8(std::string_view utf8, std::size_t i, std::uint32_t& cp) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1Fu, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0Fu, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07u, min = 0x10000;
    }
    if (length == 0 || i + length > utf8.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(utf8[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void AppendEscapedByte(std::string& out, unsigned char b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
}

}  // namespace

std::string Utf8ToLatin1(std::string_view utf8, std::string_view unmappable) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t length = DecodeUtf8(utf8, i, cp);
        if (length == 0) {
            out += unmappable;  // this byte only; decoding resumes at the next one
            ++i;
            continue;
        }
        if (cp <= 0xFF) {
            out.push_back(static_cast<char>(cp));
        } else {
            out += unmappable;
        }
        i += length;
    }
    return out;
}

namespace {

constexpr bool IsControl(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// text with each byte that is not part of valid UTF-8, and each character escape() picks, as \xHH.
template <typename Escape>
std::string EscapeUtf8(std::string_view text, Escape escape) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t cp = 0;
        const std::size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) {
            AppendEscapedByte(out, static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (escape(cp)) {
            AppendEscapedByte(out, static_cast<unsigned char>(cp));
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

}  // namespace

std::string Utf8OrEscaped(std::string_view text) {
    return EscapeUtf8(text, [](std::uint32_t) { return false; });
}

std::string SafeToPrint(std::string_view text, bool keepLayout) {
    return EscapeUtf8(
        text, [keepLayout](std::uint32_t cp) { return IsControl(cp) && !(keepLayout && (cp == '\t' || cp == '\n')); });
}

bool HoldsControlCharacter(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t length = DecodeUtf8(utf8, i, cp);
        if (length != 0 && IsControl(cp)) {
            return true;
        }
        i += length != 0 ? length : 1;
    }
    return false;
}

std::string FlattenLineBreaks(std::string_view text, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\r\n", start)) != std::string_view::npos; start = pos + 2) {
        out.append(text.substr(start, pos - start)).append(replacement);
    }
    out.append(text.substr(start));
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string QuotedExcerpt(std::string_view bytes, std::size_t limit) {
    const std::string_view shown = bytes.substr(0, limit);
    std::string out = "\"" + SafeToPrint(Latin1ToUtf8(shown)) + "\"";
    if (shown.size() < bytes.size()) {
        out.insert(out.size() - 1, "...");
        out += " (" + std::to_string(bytes.size()) + " characters)";
    }
    return out;
}

std::string PrintableForm(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b <= 0x7E) {
            out.push_back(c);
        } else {
            AppendEscapedByte(out, b);
        }
    }
    return out;
}

bool SplitShellWords(std::string_view line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++i == line.size()) {
                error = "a \\ at the end";
                return false;
            }
            word += line[i];
        } else if (c == '\'') {
            const std::size_t end = line.find('\'', i + 1);
            if (end == std::string_view::npos) {
                error = "a ' is not closed";
                return false;
            }
            word += line.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i == line.size()) {
                    error = "a \" is not closed";
                    return false;
                }
                if (line[i] == '"') {
                    break;
                }
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\"\\$`\n").find(line[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                word += line[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return true;
}

std::string WithModelName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += kModelName;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace rm7
