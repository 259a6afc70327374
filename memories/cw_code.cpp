#include "memories/cw_code.h"

#include <algorithm>
#include <vector>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

struct Pattern {
    char c;
    const char* morse;
};

constexpr Pattern kPatterns[] = {
    {'A', ".-"},    {'B', "-..."},  {'C', "-.-."},   {'D', "-.."},    {'E', "."},      {'F', "..-."},   {'G', "--."},
    {'H', "...."},  {'I', ".."},    {'J', ".---"},   {'K', "-.-"},    {'L', ".-.."},   {'M', "--"},     {'N', "-."},
    {'O', "---"},   {'P', ".--."},  {'Q', "--.-"},   {'R', ".-."},    {'S', "..."},    {'T', "-"},      {'U', "..-"},
    {'V', "...-"},  {'W', ".--"},   {'X', "-..-"},   {'Y', "-.--"},   {'Z', "--.."},   {'0', "-----"},  {'1', ".----"},
    {'2', "..---"}, {'3', "...--"}, {'4', "....-"},  {'5', "....."},  {'6', "-...."},  {'7', "--..."},  {'8', "---.."},
    {'9', "----."}, {'_', ".-.-"},  {'+', ".-.-."},  {'%', ".-..."},  {'=', "-...-"},  {'(', "-.--."},  {'*', "...-.-"},
    {'!', "...-."}, {'/', "-..-."}, {',', "--..--"}, {'-', "-....-"}, {'.', ".-.-.-"}, {'?', "..--.."}, {'@', ".--.-."},
};

constexpr std::uint8_t CodeOf(const char* morse) {
    std::uint32_t n = 0;
    std::uint32_t dashes = 0;
    for (; morse[n] != '\0'; ++n) {
        if (morse[n] == '-') {
            dashes |= 1u << n;
        }
    }
    return static_cast<std::uint8_t>((1u << n) + dashes);
}

struct Tables {
    std::array<std::uint8_t, 64> encode{};  // 0x20-0x5F
    std::array<char, 120> decode{};
    Tables() {
        encode[' ' - 0x20] = kCwWordSpace;
        for (const Pattern& p : kPatterns) {
            const std::uint8_t code = CodeOf(p.morse);
            encode[static_cast<std::size_t>(p.c - 0x20)] = code;
            if (code < decode.size()) {
                decode[code] = p.c;
            }
        }
    }
};

const Tables& TheTables() {
    static const Tables tables;
    return tables;
}

// The text's characters, one per code point; a malformed byte counts as a character of its own.
std::vector<char32_t> CodePoints(std::string_view utf8) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
        if (i + n > utf8.size()) {
            n = 1;
        }
        char32_t c = n == 1 ? b : (b & (0x7F >> n));
        for (std::size_t k = 1; k < n; ++k) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out.push_back(n == 1 && b >= 0x80 ? 0xFFFD : c);
        i += n;
    }
    return out;
}

char32_t Upper(char32_t c) {
    return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
}

std::uint8_t CodeOfChar(char32_t c) {
    c = Upper(c);
    if (c == '~') {
        return kCwHalfSpace;
    }
    if (c == '|') {
        return kCwImSign;
    }
    return (c >= 0x20 && c <= 0x5F) ? CwEncodingEntry(static_cast<char>(c)) : 0;
}

}  // namespace

std::uint8_t CwEncodingEntry(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u <= 0x5F) ? TheTables().encode[u - 0x20] : 0;
}

char CwDecodingEntry(std::uint8_t code) {
    return code < 120 ? TheTables().decode[code] : '\0';
}

bool IsCwTypeable(char32_t c) {
    return CodeOfChar(c) != 0;
}

std::string KeepCwTypeable(std::string_view utf8) {
    std::string out;
    for (char32_t c : CodePoints(utf8)) {
        if (IsCwTypeable(c)) {
            out += static_cast<char>(Upper(c));
        }
    }
    return out;
}

std::size_t CwTextLength(std::string_view utf8) {
    return CodePoints(utf8).size();
}

Result CheckCwText(std::string_view utf8, std::size_t limit) {
    const std::vector<char32_t> chars = CodePoints(utf8);
    if (chars.size() > limit) {
        return kErrCwMemoryTooLong;
    }
    return std::all_of(chars.begin(), chars.end(), IsCwTypeable) ? kOk : kErrorInvalidData;
}

std::string DecodeCwArea(const CwArea& area, std::size_t stop) {
    std::string text;
    for (std::size_t offset = kCwAreaSize; offset-- > stop;) {
        const std::uint8_t code = area[offset];
        if (code == kCwEndMark || code == kCwErased) {
            break;
        }
        if (code == kCwHalfSpace) {
            text += '~';
        } else if (code == kCwImSign) {
            text += '|';
        } else {
            const char c = CwDecodingEntry(code);
            text += c != '\0' ? c : ' ';
        }
    }
    return text;
}

std::uint32_t EncodeCwArea(std::string_view utf8, CwArea& area) {
    std::vector<char32_t> chars = CodePoints(utf8);
    if (chars.size() > kCwAreaSize) {
        chars.resize(kCwAreaSize);
    }
    CwArea forward{};
    std::size_t n = 0;
    for (char32_t c : chars) {
        forward[n++] = CodeOfChar(c);
    }
    if (n < kCwAreaSize) {
        forward[n++] = kCwEndMark;
    }
    std::reverse_copy(forward.begin(), forward.end(), area.begin());
    return static_cast<std::uint32_t>(n);
}

}  // namespace rm7
