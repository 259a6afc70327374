#include "terminal/terminal_text.h"

#include <array>

#include "platform/format.h"
#include "platform/text.h"

namespace rm7 {
namespace {

// What a character does in each mode. Only ASCII has a rule: no mode carries a character
// beyond it, so one never stands for the ASCII character of its low 7 bits.
enum Rule : std::uint8_t {
    kKeep,
    kDrop,
    kComma,      // ';'
    kLineBreak,  // CR: a space in CW, CR LF in RTTY, LF in PSK
};

struct ModeRules {
    Rule cw, rtty, psk;
};

constexpr ModeRules kAllKeep{kKeep, kKeep, kKeep};
constexpr ModeRules kNotCw{kDrop, kKeep, kKeep};
constexpr ModeRules kNotRtty{kKeep, kDrop, kKeep};
constexpr ModeRules kPskOnly{kDrop, kDrop, kKeep};

constexpr std::array<ModeRules, 128> MakeTable() {
    std::array<ModeRules, 128> table{};
    for (auto& rules : table) {
        rules = kPskOnly;  // the rest of the punctuation
    }
    for (const char c : std::string_view(" !(+,-./=?")) {
        table[static_cast<unsigned char>(c)] = kAllKeep;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[c] = kAllKeep;
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        table[c] = kAllKeep;
        table[c + 'a' - 'A'] = kAllKeep;
    }
    for (const char c : std::string_view("#$&'):")) {
        table[static_cast<unsigned char>(c)] = kNotCw;
    }
    for (const char c : std::string_view("%*_@")) {
        table[static_cast<unsigned char>(c)] = kNotRtty;
    }
    // Control characters are never keyed: an EOT would end the transmission where it stands,
    // and the end form goes only at the end. CR and LF end lines; they are no controls here.
    for (int c = 0; c < 0x20; ++c) {
        table[c] = {kDrop, kDrop, kDrop};
    }
    table[0x7F] = {kDrop, kDrop, kDrop};
    table['\n'] = kNotCw;
    table['\r'] = {kLineBreak, kLineBreak, kLineBreak};
    table[';'] = {kComma, kComma, kComma};
    return table;
}

constexpr std::array<ModeRules, 128> kRules = MakeTable();

constexpr struct {
    char sign;
    const char* letters;
} kProsigns[] = {{'_', "AA"}, {'+', "AR"}, {'%', "AS"}, {'=', "BT"}, {'(', "KN"}, {'*', "SK"}, {'!', "VE"}};

}  // namespace

const char* TerminalModeName(TerminalMode mode) {
    switch (mode) {
        case TerminalMode::kRtty:
            return "RTTY";
        case TerminalMode::kPsk:
            return "PSK";
        case TerminalMode::kCw:
            break;
    }
    return "CW";
}

std::optional<TerminalMode> TerminalModeFromName(std::string_view name) {
    for (const TerminalMode mode : {TerminalMode::kCw, TerminalMode::kRtty, TerminalMode::kPsk}) {
        if (EqualsNoCase(name, TerminalModeName(mode))) {
            return mode;
        }
    }
    return std::nullopt;
}

std::string FilterForMode(std::string_view text, TerminalMode mode) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= kRules.size()) {
            continue;
        }
        const ModeRules& rules = kRules[byte];
        const Rule rule = mode == TerminalMode::kCw ? rules.cw : mode == TerminalMode::kRtty ? rules.rtty : rules.psk;
        switch (rule) {
            case kKeep:
                out.push_back(c);
                break;
            case kDrop:
                break;
            case kComma:
                out.push_back(',');
                break;
            case kLineBreak:
                out += mode == TerminalMode::kCw ? " " : mode == TerminalMode::kRtty ? "\r\n" : "\n";
                break;
        }
    }
    return out;
}

std::string TransmitTextFromUtf8(std::string_view utf8) {
    const std::string text = Utf8ToLatin1(utf8, "");
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            out.push_back('\r');
        } else {
            out.push_back(text[i]);
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        }
    }
    return out;
}

std::string EchoForm(std::string_view filtered, TerminalMode mode) {
    if (mode != TerminalMode::kCw) {
        return std::string(filtered);
    }
    std::string out;
    for (const char c : filtered) {
        const char* letters = nullptr;
        for (const auto& p : kProsigns) {
            if (p.sign == c) {
                letters = p.letters;
            }
        }
        if (letters != nullptr) {
            out += letters;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

namespace {

// Removes every occurrence of marker; true when there was one.
bool TakeMarker(std::string& text, std::string_view marker, std::string_view replacement) {
    bool found = false;
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
        text.replace(at, marker.size(), replacement);
        at += replacement.size();
        found = true;
    }
    return found;
}

}  // namespace

MemoryText ExpandMemory(std::string_view memory) {
    MemoryText out{std::string(memory)};
    if (out.text.find('[') == std::string::npos) {
        return out;
    }
    out.txOff = TakeMarker(out.text, "[TXOFF]", "");
    out.txOn = TakeMarker(out.text, "[TXON]", "");
    TakeMarker(out.text, "[CRLF]", "\r");
    TakeMarker(out.text, "[NL]", "\r");
    return out;
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

AnswerCheck CheckTextBufferAnswer(std::string_view response) {
    if (response.size() <= 5 || !response.starts_with("TB") || !IsDigit(response[2]) || !IsDigit(response[3]) ||
        !IsDigit(response[4])) {
        return AnswerCheck::kInvalid;
    }
    const std::size_t length = static_cast<std::size_t>((response[3] - '0') * 10 + (response[4] - '0')) + 6;
    if (response.size() < length) {
        return AnswerCheck::kNeedMore;
    }
    // Longer than it says: the ';' that ends it is not where it should be.
    return ValidIf(response.size() == length && response.back() == ';');
}

TextBufferAnswer ParseTextBufferAnswer(std::string_view answer) {
    TextBufferAnswer out;
    out.untransmitted = static_cast<unsigned>(answer[2] - '0');
    const std::size_t count = static_cast<std::size_t>((answer[3] - '0') * 10 + (answer[4] - '0'));
    out.received = std::string(answer.substr(5, count));
    return out;
}

std::string TerminalTextForConsole(std::string_view radioText) {
    std::string out;
    for (std::size_t i = 0; i < radioText.size(); ++i) {
        const auto c = static_cast<unsigned char>(radioText[i]);
        if (c == '\r') {
            out.push_back('\n');
            if (i + 1 < radioText.size() && radioText[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n' || c == '\t') {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            out += StrFormat("\\x%02X", c);
        } else {
            out += Latin1ToUtf8(std::string_view(radioText.data() + i, 1));
        }
    }
    return out;
}

}  // namespace rm7
