#include "firmware/intel_hex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

namespace {

constexpr std::array<std::int8_t, 256> kHexValue = [] {
    std::array<std::int8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<std::int8_t>(HexDigitValue(static_cast<char>(c)));
    }
    return table;
}();

// Every pair of characters, as the two bytes read from memory, to the byte their hex
// digits stand for, or -1. One look-up per byte is what keeps big files fast.
const std::int16_t* PairTable() {
    // Built on first use (thread-safe), then only read.
    static const std::array<std::int16_t, 65536> table = [] {
        std::array<std::int16_t, 65536> pairs{};
        pairs.fill(-1);
        for (int high = 0; high < 256; ++high) {
            for (int low = 0; low < 256; ++low) {
                if (kHexValue[high] >= 0 && kHexValue[low] >= 0) {
                    const std::uint8_t text[2] = {static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(low)};
                    std::uint16_t index;
                    std::memcpy(&index, text, 2);
                    pairs[index] = static_cast<std::int16_t>(kHexValue[high] * 16 + kHexValue[low]);
                }
            }
        }
        return pairs;
    }();
    return table.data();
}

// Decodes `count` bytes of two hex digits each, all of which the text holds, adding
// them into `sum`. False when any character is not a hex digit.
inline bool DecodeHex(const std::int16_t* pairs, const std::uint8_t* text, std::uint8_t* out, std::size_t count,
                      std::uint8_t& sum) {
    int bad = 0;
    std::uint8_t total = sum;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t index;
        std::memcpy(&index, text + 2 * i, 2);
        const int value = pairs[index];
        bad |= value;
        out[i] = static_cast<std::uint8_t>(value);
        total = static_cast<std::uint8_t>(total + value);
    }
    sum = total;
    return bad >= 0;
}

constexpr bool IsLineEnd(std::uint8_t c) {
    return c == '\n' || c == '\r';
}

constexpr bool IsBlank(std::uint8_t c) {
    return c == ' ' || c == '\t';
}

// Whether text is one whole record without its colon: hex digits, blanks around them, whose
// length byte and checksum agree. Header text never is.
bool IsBareRecord(const std::uint8_t* begin, const std::uint8_t* end) {
    while (begin < end && IsBlank(*begin)) {
        ++begin;
    }
    while (end > begin && IsBlank(end[-1])) {
        --end;
    }
    const std::size_t digits = static_cast<std::size_t>(end - begin);
    if (digits < 10 || digits % 2 != 0) {
        return false;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < digits; i += 2) {
        const int high = kHexValue[begin[i]];
        const int low = kHexValue[begin[i + 1]];
        if ((high | low) < 0) {
            return false;
        }
        const auto byte = static_cast<std::uint8_t>(high * 16 + low);
        if (i == 0 && 2u * byte + 10 != digits) {
            return false;
        }
        sum = static_cast<std::uint8_t>(sum + byte);
    }
    return sum == 0;
}

// Whether a line (without its line end) of a header holds a record: the whole line one that lost
// its colon, or one behind other text or blanks after its colon.
bool HoldsRecord(const std::uint8_t* begin, const std::uint8_t* end) {
    if (IsBareRecord(begin, end)) {
        return true;
    }
    for (const std::uint8_t* colon = std::find(begin, end, ':'); colon != end; colon = std::find(colon + 1, end, ':')) {
        if (IsBareRecord(colon + 1, end)) {
            return true;
        }
    }
    return false;
}

// What a text editor may put first in a file it saves as UTF-8.
std::span<const std::uint8_t> WithoutByteOrderMark(std::span<const std::uint8_t> text) {
    static constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
    if (text.size() >= 3 && std::equal(kMark, kMark + 3, text.begin())) {
        return text.subspan(3);
    }
    return text;
}

}  // namespace

Result CIntelHexReader::Open(const std::filesystem::path& path) {
    Close();
    WholeFileStep step = WholeFileStep::Open;
    const Result result = ReadWholeFile(path, kMaxHexFileSize, m_text, &step, true);
    if (result != kOk) {
        m_text.clear();
        return result == kErrorNotEnoughMemory && step != WholeFileStep::Open ? kErrImageTooLarge : result;
    }
    const std::span<const std::uint8_t> text = WithoutByteOrderMark(m_text);
    m_begin = text.data();
    m_end = m_begin + text.size();
    Rewind();
    return kOk;
}

void CIntelHexReader::Attach(std::span<const std::uint8_t> text) {
    Close();
    text = WithoutByteOrderMark(text);
    m_begin = text.data();
    m_end = m_begin + text.size();
    Rewind();
}

void CIntelHexReader::Close() {
    m_text.clear();
    m_text.shrink_to_fit();
    m_begin = m_pos = m_end = nullptr;
    Rewind();
}

void CIntelHexReader::Rewind() {
    m_pos = m_begin;
    m_line = 1;
    m_base = 0;
    m_endOfFile = false;
    m_inRecords = false;
    m_result = kOk;
    m_lowest = 0xFFFFFFFF;
    m_highest = 0;
    m_copied = 0;
    m_dropped = 0;
    m_recordType = kHexData;
    m_recordAddress = 0;
    m_recordLength = 0;
    std::fill(m_written.begin(), m_written.end(), 0);
}

void CIntelHexReader::SetScanMode(std::uint64_t spanLimit) {
    m_scan = true;
    m_spanLimit = spanLimit;
    m_destination = {};
    m_written.clear();
}

void CIntelHexReader::SetCopyWindow(std::uint32_t low, std::uint32_t high, std::span<std::uint8_t> destination) {
    m_scan = false;
    m_windowLow = low;
    m_windowHigh = high;
    m_destination = destination;
    m_written.assign((destination.size() + 63) / 64, 0);
}

std::uint32_t CIntelHexReader::Column() const {
    const std::uint8_t* lineStart = m_pos;
    while (lineStart > m_begin && !IsLineEnd(lineStart[-1])) {
        --lineStart;
    }
    return static_cast<std::uint32_t>(m_pos - lineStart);
}

Result CIntelHexReader::Fail(Result code) {
    m_result = code;
    SetLastError(code);
    return code;
}

bool CIntelHexReader::ReadRecord() {
    Result result = Next();
    if (result != kOk) {
        Fail(result);
        return false;
    }
    return true;
}

Result CIntelHexReader::ReadPass() {
    Rewind();
    while (!m_endOfFile) {
        if (!ReadRecord()) {
            return m_result;
        }
    }
    return kOk;
}

Result CIntelHexReader::FindRecordStart() {
    // Right after a record the rest of its line may hold only blanks.
    bool lineStart = m_pos == m_begin || IsLineEnd(m_pos[-1]);
    for (; m_pos < m_end; ++m_pos) {
        const std::uint8_t c = *m_pos;
        if (c == ':' && lineStart) {
            ++m_pos;
            m_inRecords = true;
            return kOk;
        }
        if (c == '\n') {
            ++m_line;
        } else if (c != '\r' && !IsBlank(c)) {
            if (m_inRecords) {
                return kErrHexNoColon;  // text that is no record, or a record that does not start its line
            }
            // A header before the first record is skipped line by line; a record in it (one that
            // lost its colon, or stands behind other text) is not.
            const std::uint8_t* lineBegin = m_pos;
            while (lineBegin > m_begin && !IsLineEnd(lineBegin[-1])) {
                --lineBegin;
            }
            const std::uint8_t* lineEnd = std::find_if(m_pos, m_end, IsLineEnd);
            if (HoldsRecord(lineBegin, lineEnd)) {
                return kErrHexNoColon;
            }
            m_pos = lineEnd - 1;  // the loop steps onto the line end
            lineStart = false;
            continue;
        }
        lineStart = IsLineEnd(c);
    }
    return kErrHexNoEof;
}

bool CIntelHexReader::SkipLineEnds() {
    while (m_pos < m_end && IsLineEnd(*m_pos)) {
        if (*m_pos == '\n') {
            ++m_line;
        }
        ++m_pos;
    }
    return m_pos < m_end;
}

bool CIntelHexReader::ReadByte(std::uint8_t& value) {
    if (m_end - m_pos >= 2) {
        const int high = kHexValue[m_pos[0]];
        const int low = kHexValue[m_pos[1]];
        if ((high | low) >= 0) {
            value = static_cast<std::uint8_t>((high << 4) | low);
            m_pos += 2;
            return true;
        }
    }
    // A line end may fall before or between the two digits of a byte.
    int digits[2];
    for (int& digit : digits) {
        if (!SkipLineEnds()) {
            return false;
        }
        digit = kHexValue[*m_pos++];  // consumed even when bad, so Column() points at it
        if (digit < 0) {
            return false;
        }
    }
    value = static_cast<std::uint8_t>((digits[0] << 4) | digits[1]);
    return true;
}

bool CIntelHexReader::DecodeRecordInPlace(std::uint8_t (&header)[4], std::uint8_t& checksum, std::uint8_t& sum) {
    const std::int16_t* pairs = PairTable();
    const std::uint8_t* text = m_pos;
    const std::size_t available = static_cast<std::size_t>(m_end - text);
    if (available < 8 || !DecodeHex(pairs, text, header, 4, sum)) {
        return false;
    }
    const std::size_t length = header[0];
    const std::size_t needed = 8 + 2 * length + 2;
    std::uint8_t unused = 0;  // the caller adds the checksum itself
    if (available < needed || !DecodeHex(pairs, text + 8, m_record, length, sum) ||
        !DecodeHex(pairs, text + 8 + 2 * length, &checksum, 1, unused)) {
        return false;
    }
    m_pos = text + needed;
    return true;
}

Result CIntelHexReader::Next() {
    for (;;) {
        if (const Result found = FindRecordStart(); found != kOk) {
            return found;
        }
        std::uint8_t header[4];  // length, address high and low byte, type
        std::uint8_t checksum = 0;
        std::uint8_t sum = 0;
        if (!DecodeRecordInPlace(header, checksum, sum)) {
            // A record broken across lines, cut short or holding a bad character.
            sum = 0;
            for (std::uint8_t& byte : header) {
                if (!ReadByte(byte)) {
                    return kErrUnexpectedHexCharacter;
                }
                sum = static_cast<std::uint8_t>(sum + byte);
            }
            for (unsigned i = 0; i < header[0]; ++i) {
                if (!ReadByte(m_record[i])) {
                    return kErrUnexpectedHexCharacter;
                }
                sum = static_cast<std::uint8_t>(sum + m_record[i]);
            }
            if (!ReadByte(checksum)) {
                return kErrUnexpectedHexCharacter;
            }
        }
        if (static_cast<std::uint8_t>(sum + checksum) != 0) {
            return kErrHexLineChecksum;
        }
        const std::uint8_t length = header[0];
        const std::uint8_t type = header[3];

        const std::uint32_t offset = (static_cast<std::uint32_t>(header[1]) << 8) | header[2];
        const std::uint32_t field = (static_cast<std::uint32_t>(m_record[0]) << 8) | m_record[1];
        switch (type) {
            case kHexData: {
                m_recordType = kHexData;
                m_recordLength = length;
                // The base is at most 0xFFFF0000, so the sum fits; only the end may reach 2^32.
                m_recordAddress = m_base + offset;
                if (!m_scan) {
                    if (!CopyData()) {
                        return kErrHexOverlap;
                    }
                } else if (length != 0) {
                    m_lowest = std::min(m_lowest, m_recordAddress);
                    m_highest = std::max(m_highest, std::uint64_t{m_recordAddress} + length);
                    if (m_highest - m_lowest > m_spanLimit) {
                        return kErrImageTooLarge;
                    }
                }
                return kOk;
            }
            case kHexEndOfFile:
                m_recordType = kHexEndOfFile;
                m_recordLength = length;
                m_recordAddress = offset;
                m_endOfFile = true;
                return kOk;
            case kHexExtendedSegmentAddress:
            case kHexExtendedLinearAddress:
                // Without exactly two data bytes there is no address to take.
                if (length != 2) {
                    return kErrHexDataLength;
                }
                m_base = type == kHexExtendedSegmentAddress ? field << 4 : field << 16;
                break;
            case kHexStartSegmentAddress:
            case kHexStartLinearAddress:
                break;
            default:
                return kErrHexRecordType;
        }
    }
}

bool CIntelHexReader::CopyData() {
    const std::uint32_t address = m_recordAddress;
    if (address < m_windowLow || address >= m_windowHigh) {
        m_dropped += m_recordLength;
        return true;
    }
    const std::uint64_t offset = address - m_windowLow;
    std::size_t count = 0;
    if (offset < m_destination.size()) {
        count = std::min<std::size_t>(m_recordLength, m_destination.size() - offset);
    }
    if (count != 0) {
        std::uint8_t* to = m_destination.data() + offset;
        // The bytes earlier records wrote must keep their values; a file in address order only
        // ever finds their bits clear, at a few operations a record.
        const std::size_t first = offset;
        const std::size_t last = offset + count - 1;
        for (std::size_t word = first / 64; word <= last / 64; ++word) {
            const unsigned lowBit = word == first / 64 ? first % 64 : 0;
            const unsigned highBit = word == last / 64 ? last % 64 : 63;
            const std::uint64_t mask = (~std::uint64_t{0} << lowBit) & (~std::uint64_t{0} >> (63 - highBit));
            for (std::uint64_t seen = m_written[word] & mask; seen != 0; seen &= seen - 1) {
                const std::size_t at = word * 64 + static_cast<std::size_t>(std::countr_zero(seen));
                if (m_destination[at] != m_record[at - offset]) {
                    return false;
                }
            }
            m_written[word] |= mask;
        }
        // Fixed-size pieces: a memcpy of a variable small size is slow where it is inlined.
        std::size_t i = 0;
        for (; i + 16 <= count; i += 16) {
            std::memcpy(to + i, m_record + i, 16);
        }
        for (; i < count; ++i) {
            to[i] = m_record[i];
        }
    }
    m_copied += count;
    m_dropped += m_recordLength - count;
    return true;
}

std::string FormatIntelHex(std::span<const std::uint8_t> data, std::uint32_t address, unsigned bytesPerRecord) {
    if (std::uint64_t{address} + data.size() > 0x100000000ull) {
        return {};
    }
    bytesPerRecord = std::clamp(bytesPerRecord, 1u, 255u);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(data.size() * 2 + (data.size() / bytesPerRecord + 2) * 13 + (data.size() >> 16) * 17 + 32);

    auto putRecord = [&out](std::uint8_t type, std::uint16_t offset, const std::uint8_t* bytes, std::size_t n) {
        auto putByte = [&out](std::uint8_t b) {
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 0x0F]);
        };
        std::uint8_t sum = static_cast<std::uint8_t>(n + (offset >> 8) + (offset & 0xFF) + type);
        out.push_back(':');
        putByte(static_cast<std::uint8_t>(n));
        putByte(static_cast<std::uint8_t>(offset >> 8));
        putByte(static_cast<std::uint8_t>(offset & 0xFF));
        putByte(type);
        for (std::size_t i = 0; i < n; ++i) {
            putByte(bytes[i]);
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        }
        putByte(static_cast<std::uint8_t>(-sum));
        out += "\r\n";
    };

    std::uint32_t upper = 0;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::uint64_t at = std::uint64_t{address} + pos;
        const auto atUpper = static_cast<std::uint32_t>(at >> 16);
        if (atUpper != upper) {
            const std::uint8_t field[2] = {static_cast<std::uint8_t>(atUpper >> 8),
                                           static_cast<std::uint8_t>(atUpper & 0xFF)};
            putRecord(kHexExtendedLinearAddress, 0, field, 2);
            upper = atUpper;
        }
        const std::size_t n = std::min<std::uint64_t>({bytesPerRecord, data.size() - pos, 0x10000 - (at & 0xFFFF)});
        putRecord(kHexData, static_cast<std::uint16_t>(at & 0xFFFF), data.data() + pos, n);
        pos += n;
    }
    putRecord(kHexEndOfFile, 0, nullptr, 0);
    return out;
}

}  // namespace rm7
