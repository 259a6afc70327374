#include "platform/settings.h"

#include "platform/text.h"
#include "platform/version.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace rm7 {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence at s[i], 0 when there is none.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lo = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        hi = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lo = lead == 0xF0 ? 0x90 : 0x80;
        hi = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) {
            return 0;
        }
    }
    return length;
}

void AppendHexByte(std::string& out, unsigned char b) {
    out += "\\x";
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
}

// Escapes for a quoted string value.
std::string EscapeString(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        switch (b) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    AppendHexByte(out, b);
                } else if (const std::size_t n = Utf8Length(s, i); n > 1) {
                    out.append(s.substr(i, n));
                    i += n;
                    continue;
                } else if (n == 0) {
                    AppendHexByte(out, b);
                } else {
                    out.push_back(static_cast<char>(b));
                }
        }
        ++i;
    }
    return out;
}

// Escapes for a section or value name: also everything the line syntax gives a meaning to.
std::string EscapeName(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        const bool edge = i == 0 || i + 1 == s.size();
        if (b == '\\' || b == '=' || b == '[' || b == ']' || b == '"' || b == '#' || b == ';' || b < 0x20 ||
            b == 0x7F || ((b == ' ') && edge)) {
            AppendHexByte(out, b);
        } else if (b >= 0x80) {
            const std::size_t n = Utf8Length(s, i);
            if (n == 0) {
                AppendHexByte(out, b);
            } else {
                out.append(s.substr(i, n));
                i += n - 1;
            }
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

// Undoes the escapes above; false on a malformed escape.
bool Unescape(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out.push_back(s[i]);
            continue;
        }
        if (++i == s.size()) {
            return false;
        }
        switch (s[i]) {
            case '\\':
                out.push_back('\\');
                break;
            case '"':
                out.push_back('"');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'x': {
                const int hi = i + 1 < s.size() ? HexDigitValue(s[i + 1]) : -1;
                const int lo = i + 2 < s.size() ? HexDigitValue(s[i + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    return false;
                }
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool ConsumePrefix(std::string_view& s, std::string_view prefix) {
    if (s.substr(0, prefix.size()) != prefix) {
        return false;
    }
    s.remove_prefix(prefix.size());
    return true;
}

// The part of a string value between its quotes, or nothing when it is not one quoted string.
bool QuotedBody(std::string_view s, std::string_view& body) {
    if (s.empty() || s.front() != '"') {
        return false;
    }
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
        } else if (s[i] == '"') {
            body = s.substr(1, i - 1);
            return Trim(s.substr(i + 1)).empty();
        }
    }
    return false;
}

// A value in one of the typed forms, or a plain one (what a person writes by hand: Port=/dev/ttyUSB0),
// read as a string; a plain whole number is a dword, as Trace=1 means. Returns why when it fits none.
const char* ParseValue(std::string_view value,
                       std::optional<std::variant<std::uint32_t, std::string, std::vector<std::uint8_t>>>& out) {
    if (ConsumePrefix(value, "dword:")) {
        if (value.empty() || value.size() > 8) {
            return "bad dword";
        }
        std::uint32_t dword = 0;
        for (char c : value) {
            const int digit = HexDigitValue(c);
            if (digit < 0) {
                return "bad dword";
            }
            dword = dword << 4 | static_cast<std::uint32_t>(digit);
        }
        out = dword;
        return nullptr;
    }
    if (ConsumePrefix(value, "string:")) {
        std::string_view body;
        std::string decoded;
        if (!QuotedBody(value, body) || !Unescape(body, decoded)) {
            return "bad string";
        }
        out = std::move(decoded);
        return nullptr;
    }
    if (ConsumePrefix(value, "binary:")) {
        if (value.size() % 2 != 0) {
            return "bad binary";
        }
        std::vector<std::uint8_t> bytes;
        bytes.reserve(value.size() / 2);
        for (std::size_t i = 0; i < value.size(); i += 2) {
            const int hi = HexDigitValue(value[i]);
            const int lo = HexDigitValue(value[i + 1]);
            if (hi < 0 || lo < 0) {
                return "bad binary";
            }
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        out = std::move(bytes);
        return nullptr;
    }
    if (!value.empty() && value.size() <= 10 &&
        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const unsigned long long number = std::stoull(std::string(value));
        if (number <= 0xFFFFFFFFull) {
            out = static_cast<std::uint32_t>(number);
            return nullptr;
        }
    }
    std::string_view body;
    std::string decoded;
    if (!value.empty() && value.front() == '"') {
        if (!QuotedBody(value, body) || !Unescape(body, decoded)) {
            return "bad string";
        }
        out = std::move(decoded);
        return nullptr;
    }
    // Taken as written, escapes and all: a hand-written Windows-style path keeps its backslashes.
    out = std::string(value);
    return nullptr;
}

}  // namespace

bool CSettingsStore::NoCaseLess::operator()(std::string_view a, std::string_view b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = AsciiLower(a[i]);
        const char y = AsciiLower(b[i]);
        if (x != y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        }
    }
    return a.size() < b.size();
}

CSettingsStore::CSettingsStore(std::filesystem::path file) : m_file(std::move(file)) {}

const CSettingsStore::Value* CSettingsStore::Find(std::string_view section, std::string_view name) const {
    const auto s = m_sections.find(section);
    if (s == m_sections.end()) {
        return nullptr;
    }
    const auto v = s->second.find(name);
    return v == s->second.end() ? nullptr : &v->second;
}

void CSettingsStore::Put(std::string_view section, std::string_view name, Value value) {
    auto s = m_sections.find(section);
    if (s == m_sections.end()) {
        s = m_sections.emplace(std::string(section), Section{}).first;
    }
    auto v = s->second.find(name);
    if (v == s->second.end()) {
        s->second.emplace(std::string(name), std::move(value));
    } else {
        v->second = std::move(value);  // keeps the spelling it was first stored under
    }
}

Result CSettingsStore::ReadDword(std::string_view section, std::string_view name, std::uint32_t& out) const {
    const Value* v = Find(section, name);
    if (!v) {
        return kErrorFileNotFound;
    }
    const auto* dword = std::get_if<std::uint32_t>(v);
    if (!dword) {
        return kErrorInvalidData;
    }
    out = *dword;
    return kOk;
}

Result CSettingsStore::ReadString(std::string_view section, std::string_view name, std::string& out) const {
    const Value* v = Find(section, name);
    if (!v) {
        return kErrorFileNotFound;
    }
    const auto* text = std::get_if<std::string>(v);
    if (!text) {
        return kErrorInvalidData;
    }
    out = *text;
    return kOk;
}

Result CSettingsStore::ReadBinary(std::string_view section, std::string_view name,
                                  std::vector<std::uint8_t>& out) const {
    const Value* v = Find(section, name);
    if (!v) {
        return kErrorFileNotFound;
    }
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(v);
    if (!bytes) {
        return kErrorInvalidData;
    }
    out = *bytes;
    return kOk;
}

Result CSettingsStore::WriteDword(std::string_view section, std::string_view name, std::uint32_t value) {
    Put(section, name, value);
    return kOk;
}

Result CSettingsStore::WriteString(std::string_view section, std::string_view name, std::string_view value) {
    Put(section, name, std::string(value));
    return kOk;
}

Result CSettingsStore::WriteBinary(std::string_view section, std::string_view name,
                                   const std::vector<std::uint8_t>& value) {
    Put(section, name, value);
    return kOk;
}

bool CSettingsStore::Has(std::string_view section, std::string_view name) const {
    return Find(section, name) != nullptr;
}

void CSettingsStore::Remove(std::string_view section, std::string_view name) {
    const auto s = m_sections.find(section);
    if (s == m_sections.end()) {
        return;
    }
    if (const auto v = s->second.find(name); v != s->second.end()) {
        s->second.erase(v);
    }
    if (s->second.empty()) {
        m_sections.erase(s);
    }
}

void CSettingsStore::Clear() {
    m_sections.clear();
}

std::string CSettingsStore::ToText() const {
    std::string out = std::string("# ") + kProductName + " settings\n";
    for (const auto& [section, values] : m_sections) {
        if (values.empty()) {
            continue;
        }
        if (!section.empty()) {
            out += "\n[" + EscapeName(section) + "]\n";
        }
        for (const auto& [name, value] : values) {
            out += EscapeName(name);
            out += '=';
            if (const auto* dword = std::get_if<std::uint32_t>(&value)) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08X", static_cast<unsigned>(*dword));
                out += buf;
            } else if (const auto* text = std::get_if<std::string>(&value)) {
                out += "string:\"" + EscapeString(*text) + "\"";
            } else {
                out += "binary:";
                for (std::uint8_t b : std::get<std::vector<std::uint8_t>>(value)) {
                    out.push_back(kHexLower[b >> 4]);
                    out.push_back(kHexLower[b & 0x0F]);
                }
            }
            out += '\n';
        }
    }
    return out;
}

bool CSettingsStore::FromText(std::string_view text, std::string& warning) {
    m_sections.clear();
    warning.clear();
    std::string section;
    // After a header that cannot be read, the lines below it belong to no known section.
    bool sectionKnown = true;
    unsigned lineNo = 0;
    unsigned ignoredCount = 0;
    // One bad line costs that line only: the others are the user's settings all the same.
    const auto ignore = [&](const char* why) {
        if (ignoredCount++ == 0) {
            warning = "line " + std::to_string(lineNo) + ": " + why;
        }
    };

    while (!text.empty()) {
        ++lineNo;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        line = Trim(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            sectionKnown = line.back() == ']' && Unescape(Trim(line.substr(1, line.size() - 2)), section);
            if (!sectionKnown) {
                ignore("bad section header");
            }
            continue;
        }
        if (!sectionKnown) {
            ignore("below a bad section header");
            continue;
        }

        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            ignore("not a setting");
            continue;
        }
        std::string name;
        if (!Unescape(Trim(line.substr(0, eq)), name)) {
            ignore("bad name");
            continue;
        }
        std::optional<Value> value;
        const char* why = ParseValue(Trim(line.substr(eq + 1)), value);
        if (!value) {
            ignore(why);
            continue;
        }
        Put(section, name, std::move(*value));
    }
    if (ignoredCount > 1) {
        warning += "; " + std::to_string(ignoredCount - 1) + (ignoredCount == 2 ? " more line" : " more lines");
    }
    return ignoredCount == 0;
}

}  // namespace rm7
