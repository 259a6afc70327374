#include "platform/text.h"

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

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t cp = 0;
        std::uint32_t min = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, cp = lead & 0x1Fu, min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, cp = lead & 0x0Fu, min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, cp = lead & 0x07u, min = 0x10000;
        }
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            valid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        valid = valid && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            out.push_back('?');  // this byte only; decoding resumes at the next one
            ++i;
            continue;
        }
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
        i += length;
    }
    return out;
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
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string_view shown = bytes.substr(0, limit);
    std::string out = "\"";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto b = static_cast<unsigned char>(shown[i]);
        if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
            out += "\\x";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        } else {
            out += Latin1ToUtf8(shown.substr(i, 1));
        }
    }
    out += '"';
    if (shown.size() < bytes.size()) {
        out.insert(out.size() - 1, "...");
        out += " (" + std::to_string(bytes.size()) + " characters)";
    }
    return out;
}

std::string PrintableForm(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b <= 0x7E) {
            out.push_back(c);
        } else {
            out += "\\x";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

}  // namespace rm7
