#include "config/config_file.h"

#include <bitset>
#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>

#include "config/crc32.h"
#include "config/file_classes.h"
#include "model/user_notifier.h"
#include "platform/program_version.h"
#include "platform/result_codes.h"
#include "platform/text.h"
#include "platform/version.h"
#include "platform/wall_clock.h"

namespace rm7 {
namespace {

constexpr std::string_view kCheckKey = "CRC32";
constexpr std::string_view kDataKey = "MEM2";
constexpr std::string_view kLegacyKey = "MEM";
constexpr std::string_view kSavedOnPrefix = "*Configuration saved on ";

std::string Key(const char* what) {
    return std::string(kModelName) + " " + what;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool AllHex(std::string_view s) {
    for (const char c : s) {
        if (HexDigitValue(c) < 0) {
            return false;
        }
    }
    return true;
}

std::uint8_t HexByte(std::string_view two) {
    return static_cast<std::uint8_t>(HexDigitValue(two[0]) * 16 + HexDigitValue(two[1]));
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// A decimal number in the manner of the C library's conversion: leading white space and a sign
// allowed, stops at the first non-digit, saturates on overflow. `digits` tells whether any were read.
long long DecimalAt(std::string_view s, std::size_t pos, bool& digits, std::size_t* end = nullptr) {
    digits = false;
    while (pos < s.size() && IsSpace(s[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        negative = s[pos] == '-';
        ++pos;
    }
    unsigned long long magnitude = 0;
    constexpr unsigned long long kLimit = static_cast<unsigned long long>(LLONG_MAX) + 1;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        digits = true;
        const unsigned digit = static_cast<unsigned>(s[pos] - '0');
        magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
        ++pos;
    }
    if (end != nullptr) {
        *end = pos;
    }
    if (negative) {
        return magnitude >= kLimit ? LLONG_MIN : -static_cast<long long>(magnitude);
    }
    return magnitude >= kLimit ? LLONG_MAX : static_cast<long long>(magnitude);
}

// An information value must not carry a line end into the file.
std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = '?';
        }
    }
    return out;
}

void ShowReaderError(const ConfigurationReadContext& context, const std::string& text) {
    if (context.notifier != nullptr) {
        context.notifier->MessageBox(kRestoreErrorCaption, text, MessageIcon::Error);
    }
}

}  // namespace

SavedAtTime SavedAtFromLocalTime(std::int64_t secondsSinceEpoch) {
    const std::tm tm = LocalCalendarTime(static_cast<std::time_t>(secondsSinceEpoch));
    SavedAtTime s;
    s.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    s.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    s.day = static_cast<std::uint16_t>(tm.tm_mday);
    s.hour = static_cast<std::uint16_t>(tm.tm_hour);
    s.minute = static_cast<std::uint16_t>(tm.tm_min);
    s.second = static_cast<std::uint16_t>(tm.tm_sec);
    return s;
}

void ApplyRuns(const std::vector<PageRun>& runs, EepromImage& image) {
    for (const auto& run : runs) {
        for (unsigned offset = run.first; offset <= run.last; ++offset) {
            image[run.page * 256u + offset] = run.data[offset];
        }
    }
}

std::vector<ConfigurationRangeContents> DescribeRanges(const std::vector<PageRun>& runs) {
    auto image = std::make_unique<EepromImage>();
    image->fill(0xFF);
    auto supplied = std::make_unique<std::bitset<kEepromSize>>();
    ApplyRuns(runs, *image);
    for (const auto& run : runs) {
        for (unsigned offset = run.first; offset <= run.last; ++offset) {
            supplied->set(run.page * 256u + offset);
        }
    }
    std::vector<ConfigurationRangeContents> ranges;
    for (const auto& range : kConfigurationRanges) {
        ConfigurationRangeContents c;
        c.range = range;
        c.bytes.assign(image->begin() + range.start, image->begin() + range.End());
        for (std::uint32_t a = range.start; a < range.End(); ++a) {
            c.supplied += supplied->test(a) ? 1 : 0;
        }
        ranges.push_back(std::move(c));
    }
    return ranges;
}

// ---- writing ----

std::vector<std::string> ConfigurationDataLines(const EepromImage& image) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> lines;
    for (const auto& range : kConfigurationRanges) {
        for (std::uint32_t done = 0; done < range.length; done += kDataLineChunk) {
            const std::uint32_t address = range.start + done;
            const std::uint32_t count = std::min<std::uint32_t>(kDataLineChunk, range.length - done);
            char head[24];
            std::snprintf(head, sizeof head, "%s %02X %02X %02X ", kDataKey.data(), address >> 8, address & 0xFFu,
                          count);
            std::string line = head;
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t b = image[address + i];
                line += kHex[b >> 4];
                line += kHex[b & 0x0F];
            }
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::vector<std::string> ConfigurationFileLines(const SavedAtTime& t, const EepromImage& image,
                                                const ConfigurationIdentity& identity) {
    std::vector<std::string> lines;
    char buf[160];
    std::snprintf(buf, sizeof buf, "*Configuration saved on %04u-%02u-%02u at %02u:%02u:%02u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    lines.emplace_back(buf);
    lines.emplace_back("*Do not edit this file!");
    lines.push_back(std::string("*Make configuration changes using the ") + kModelName +
                    " front panel and save the resulting configuration");
    lines.push_back(Key("Utility Version") + " = " + ProgramVersionLine());
    lines.push_back(Key("Firmware Version") + " = " + OneLine(identity.firmwareVersion));
    if (identity.serialNumber < kNoSerialNumber) {
        std::snprintf(buf, sizeof buf, "%05u", identity.serialNumber);
        lines.push_back(Key("Serial Number") + " = " + buf);
    }
    for (auto& line : ConfigurationDataLines(image)) {
        lines.push_back(std::move(line));
    }
    // The check covers the bytes that reach the file, so any text survives the 8-bit conversion.
    CCrc32 crc;
    for (const auto& line : lines) {
        crc.Update(Utf8ToLatin1(line));
    }
    std::snprintf(buf, sizeof buf, "%s = 0x%08X", kCheckKey.data(), static_cast<unsigned>(crc.CheckValue()));
    lines.emplace_back(buf);
    return lines;
}

Result WriteConfigurationFile(const std::filesystem::path& path, const SavedAtTime& savedAt, const EepromImage& image,
                              const ConfigurationIdentity& identity) {
    CWholeFileWriter file;
    if (const Result r = file.Create(path); r != kOk) {
        return r;
    }
    for (const auto& line : ConfigurationFileLines(savedAt, image, identity)) {
        if (const Result r = file.WriteLine(line); r != kOk) {
            return r;  // the destructor discards the partial file
        }
    }
    return file.Commit();
}

// ---- reading ----

bool ParseDataLine(std::string_view line, std::uint32_t& address, std::vector<std::uint8_t>& bytes) {
    // Split at each single space; two in a row make an empty field, a trailing one adds nothing.
    std::string_view fields[5];
    std::size_t count = 0;
    std::size_t start = 0;
    while (count < 5) {
        const std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) {
            if (start < line.size()) {
                fields[count++] = line.substr(start);
            }
            break;
        }
        fields[count++] = line.substr(start, space - start);
        start = space + 1;
    }
    if (count < 5) {
        return false;
    }
    for (auto& f : fields) {
        f = Trim(f);
    }
    if (!EqualsNoCase(fields[0], kDataKey)) {
        return false;
    }
    for (int i = 1; i <= 4; ++i) {
        if (!AllHex(fields[i]) || (i <= 3 && fields[i].size() != 2)) {
            return false;
        }
    }
    const std::size_t n = HexByte(fields[3]);
    if (fields[4].size() != 2 * n) {
        return false;
    }
    address = HexByte(fields[1]) * 256u + HexByte(fields[2]);
    bytes.clear();
    for (std::size_t i = 0; i < n; ++i) {
        bytes.push_back(HexByte(fields[4].substr(2 * i, 2)));
    }
    return true;
}

bool ParseLegacyLine(std::string_view line, std::uint16_t& address, std::uint8_t& value) {
    // From position 4: page, '.', offset, " = ", value, each number decimal in 0-255. Read in
    // sequence, so both "MEM 104.000 = 255" and "MEM1 104.000 = 255" give 0xFF at 0x6800.
    std::size_t pos = 4;
    const auto number = [&](unsigned& out) {
        bool digits = false;
        const long long v = DecimalAt(line, pos, digits, &pos);
        out = static_cast<unsigned>(v);
        return digits && v >= 0 && v <= 255;
    };
    const auto literal = [&](std::string_view text) {
        if (line.substr(pos, text.size()) != text) {
            return false;
        }
        pos += text.size();
        return true;
    };
    unsigned page = 0;
    unsigned offset = 0;
    unsigned byte = 0;
    if (!number(page) || !literal(".") || !number(offset) || !literal(" = ") || !number(byte)) {
        return false;
    }
    address = static_cast<std::uint16_t>(page * 256u + offset);
    value = static_cast<std::uint8_t>(byte);
    return true;
}

CConfigurationParser::CConfigurationParser(std::uint16_t radioSerialNumber)
    : m_radioSerial(radioSerialNumber), m_serialKey(Key("Serial Number")) {}

ConfigurationLineEvent CConfigurationParser::ParseLine(std::string_view line) {
    if (line.starts_with(kCheckKey)) {
        std::string_view rest = line.substr(kCheckKey.size());
        if (!rest.starts_with(" = 0X") && !rest.starts_with(" = 0x")) {
            return ConfigurationLineEvent::Altered;
        }
        rest.remove_prefix(5);
        if (rest.size() < 8 || !AllHex(rest.substr(0, 8))) {
            return ConfigurationLineEvent::Altered;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value = (value << 4) | static_cast<std::uint32_t>(HexDigitValue(rest[i]));
        }
        if (value != m_crc.CheckValue()) {
            return ConfigurationLineEvent::Altered;
        }
        m_dataSinceCheck = false;
        return ConfigurationLineEvent::None;
    }

    m_crc.Update(line);

    if (line.starts_with(kDataKey)) {
        std::uint32_t address = 0;
        std::vector<std::uint8_t> bytes;
        if (!ParseDataLine(line, address, bytes)) {
            return ConfigurationLineEvent::Unparsable;
        }
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            AddByte(address + static_cast<std::uint32_t>(i), bytes[i]);
        }
        m_dataSeen = m_dataSinceCheck = true;
        return ConfigurationLineEvent::None;
    }
    if (line.starts_with(kLegacyKey)) {
        std::uint16_t address = 0;
        std::uint8_t value = 0;
        if (!ParseLegacyLine(line, address, value)) {
            return ConfigurationLineEvent::Unparsable;
        }
        AddByte(address, value);
        m_dataSeen = m_dataSinceCheck = true;
        return ConfigurationLineEvent::None;
    }
    if (line.starts_with(m_serialKey)) {
        bool unparsable = false;
        const bool mismatch = CheckSerialNumber(line, unparsable);
        if (unparsable) {
            return ConfigurationLineEvent::SerialUnparsable;
        }
        return mismatch ? ConfigurationLineEvent::SerialMismatch : ConfigurationLineEvent::None;
    }
    NoteInformation(line);
    return ConfigurationLineEvent::None;
}

Result CConfigurationParser::Finish() const {
    return (!m_dataSeen || m_dataSinceCheck) ? kErrConfigIncomplete : kOk;
}

void CConfigurationParser::AddByte(std::uint32_t address, std::uint8_t value) {
    // Addresses are kept in 32 bits: a line near 0xFFFF must not wrap round into range 0.
    if (!IsConfigurationAddress(address)) {
        return;
    }
    const auto page = static_cast<std::uint8_t>(address >> 8);
    const auto offset = static_cast<std::uint8_t>(address & 0xFFu);
    auto& runs = m_contents.runs;
    if (m_filling >= 0) {
        PageRun& run = runs[static_cast<std::size_t>(m_filling)];
        if (run.page == page && run.last < 255 && offset == run.last + 1) {
            run.data[offset] = value;
            run.last = offset;
            return;
        }
    }
    PageRun run;
    run.page = page;
    run.first = run.last = offset;
    run.data.fill(0xFF);
    run.data[offset] = value;
    runs.push_back(run);
    m_filling = static_cast<int>(runs.size() - 1);
}

bool CConfigurationParser::CheckSerialNumber(std::string_view line, bool& unparsable) {
    unparsable = false;
    const std::string_view rest = line.substr(m_serialKey.size());
    const bool hasValue = rest.starts_with(" = ");
    bool digits = false;
    // Beyond 16 bits only the low 16 bits count; no digits reads as 0, as the C conversion gives.
    const auto fileSerial =
        hasValue ? static_cast<std::uint16_t>(static_cast<unsigned long long>(DecimalAt(rest, 3, digits)) & 0xFFFFu)
                 : std::uint16_t{0};
    if (digits && !m_contents.serialNumber) {
        m_contents.serialNumber = fileSerial;
    }
    if (m_radioSerial == kNoSerialNumber) {
        return false;  // no serial number read from the radio: nothing to check
    }
    if (!hasValue) {
        unparsable = true;
        return false;
    }
    return fileSerial != m_radioSerial;
}

void CConfigurationParser::NoteInformation(std::string_view line) {
    if (line.starts_with(kSavedOnPrefix) && !m_contents.savedAt) {
        const std::string text(line.substr(kSavedOnPrefix.size()));
        unsigned v[6] = {};
        if (std::sscanf(text.c_str(), "%4u-%2u-%2u at %2u:%2u:%2u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) == 6) {
            m_contents.savedAt = SavedAtTime{static_cast<std::uint16_t>(v[0]), static_cast<std::uint16_t>(v[1]),
                                             static_cast<std::uint16_t>(v[2]), static_cast<std::uint16_t>(v[3]),
                                             static_cast<std::uint16_t>(v[4]), static_cast<std::uint16_t>(v[5])};
        }
        return;
    }
    const auto value = [&](const char* what, std::string& into) {
        const std::string prefix = Key(what) + " = ";
        if (line.starts_with(prefix) && into.empty()) {
            into = Latin1ToUtf8(line.substr(prefix.size()));
        }
    };
    value("Utility Version", m_contents.utilityVersion);
    value("Firmware Version", m_contents.firmwareVersion);
}

Result ReadConfigurationText(std::string_view bytes, const ConfigurationReadContext& context,
                             ConfigurationFileContents& out) {
    CConfigurationParser parser(context.radioSerialNumber);
    const auto finish = [&](Result r) {
        out = std::move(parser.Contents());
        return r;
    };
    std::string withoutCr;
    // Text after the last line feed is not read: a check line cut off there leaves the file incomplete.
    for (std::size_t start = 0, end; (end = bytes.find('\n', start)) != std::string_view::npos; start = end + 1) {
        std::string_view line = bytes.substr(start, end - start);
        if (line.find('\r') != std::string_view::npos) {
            withoutCr.clear();  // carriage returns are dropped wherever they stand
            for (const char c : line) {
                if (c != '\r') {
                    withoutCr += c;
                }
            }
            line = withoutCr;
        }
        switch (parser.ParseLine(line)) {
            case ConfigurationLineEvent::None:
                break;
            case ConfigurationLineEvent::Altered:
                ShowReaderError(context, kAlteredFileText);
                return finish(kErrConfigCorrupt);
            case ConfigurationLineEvent::Unparsable:
                ShowReaderError(context, "Unable to parse line " + QuotedExcerpt(line));
                return finish(kErrConfigCorrupt);
            case ConfigurationLineEvent::SerialUnparsable:
                ShowReaderError(context, "Unable to parse " + Key("Serial Number") + " line " + QuotedExcerpt(line) +
                                             ", Serial number verification skipped");
                break;
            case ConfigurationLineEvent::SerialMismatch:
                if (context.advancedMode) {
                    const bool proceed =
                        context.notifier != nullptr &&
                        context.notifier->AskYesNo(kSerialMismatchCaption, WithModelName(kSerialMismatchQuestion),
                                                   MessageIcon::Warning);
                    if (!proceed) {
                        return finish(kErrConfigSerialMismatch);
                    }
                } else {
                    if (context.notifier != nullptr) {
                        context.notifier->MessageBox(kSerialMismatchCaption, WithModelName(kSerialMismatchRefusal),
                                                     MessageIcon::Error);
                    }
                    return finish(kErrConfigSerialMismatch);
                }
                break;
        }
    }
    const Result r = parser.Finish();
    if (r != kOk) {
        ShowReaderError(context, kIncompleteFileText);
    }
    return finish(r);
}

Result ReadConfigurationFile(const std::filesystem::path& path, const ConfigurationReadContext& context,
                             ConfigurationFileContents& out) {
    out = ConfigurationFileContents{};
    CWholeFileReader file;
    if (const Result r = file.LoadAll(path); r != kOk) {
        return r;
    }
    return ReadConfigurationText(file.Data(), context, out);
}

}  // namespace rm7
