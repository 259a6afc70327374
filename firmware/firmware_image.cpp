#include "firmware/firmware_image.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "firmware/file_version.h"
#include "firmware/intel_hex.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

namespace {

[[gnu::format(gnu_printf, 1, 2)]] std::string Format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

}  // namespace

void CFirmwareImage::Clear() {
    m_buffer.reset();
    m_size = 0;
    m_allocatedSize = 0;
    m_low = 0;
    m_high = 0;
    m_loaded = false;
    m_droppedBytes = 0;
    m_copiedBytes = 0;
}

bool CFirmwareImage::Load(const std::filesystem::path& file, std::uint32_t low, std::uint32_t high,
                          std::uint32_t minimumSize) {
    m_fileName = file;
    Result result = Begin(low, high, minimumSize);
    CIntelHexReader reader;
    if (result == kOk) {
        result = reader.Open(file);
    }
    return Finish(result == kOk ? Read(reader, low, high) : result);
}

bool CFirmwareImage::LoadText(std::span<const std::uint8_t> text, std::uint32_t low, std::uint32_t high,
                              std::uint32_t minimumSize) {
    m_fileName.clear();
    Result result = Begin(low, high, minimumSize);
    CIntelHexReader reader;
    reader.Attach(text);
    return Finish(result == kOk ? Read(reader, low, high) : result);
}

Result CFirmwareImage::Begin(std::uint32_t low, std::uint32_t high, std::uint32_t minimumSize) {
    Clear();
    m_minimumSize = minimumSize;
    m_line = 0;
    const bool rangeFromFile = low == kRangeFromFileLow && high == kRangeFromFileHigh;
    if (!rangeFromFile && high > low && high - low > m_maxSpan) {
        return kErrImageTooLarge;  // refused before the file is even opened
    }
    return kOk;
}

bool CFirmwareImage::Finish(Result result) {
    if (result != kOk) {
        Clear();
        SetLastError(result);
        return false;
    }
    m_loaded = true;
    return true;
}

Result CFirmwareImage::Read(CIntelHexReader& reader, std::uint32_t low, std::uint32_t high) {
    Result result = kOk;
    if (low == kRangeFromFileLow && high == kRangeFromFileHigh) {
        reader.SetScanMode(m_maxSpan);
        result = reader.ReadPass();
        m_line = reader.Line();
        if (result != kOk) {
            return result;
        }
        if (!reader.HasData()) {
            low = high = 0;
        } else if (reader.Highest() > 0xFFFFFFFFu) {
            return kErrImageTooLarge;  // the end would not fit the 32-bit high address
        } else {
            low = reader.Lowest();
            high = static_cast<std::uint32_t>(reader.Highest());
        }
    }
    m_low = low;
    m_high = high;
    if (high > low) {
        m_size = high - low;
        result = Allocate();
        if (result != kOk) {
            return result;
        }
    }
    reader.SetCopyWindow(low, high, Bytes());
    result = reader.ReadPass();
    m_line = reader.Line();
    m_droppedBytes = reader.DroppedBytes();
    m_copiedBytes = reader.CopiedBytes();
    return result;
}

Result CFirmwareImage::Allocate() {
    std::uint64_t wanted = std::max(m_size, m_minimumSize);
    wanted = (wanted + 3) & ~std::uint64_t{3};
    if (wanted > 0xFFFFFFFFu) {
        return kErrorNotEnoughMemory;
    }
    m_buffer.reset(new (std::nothrow) std::uint8_t[wanted]);
    if (!m_buffer) {
        return kErrorNotEnoughMemory;
    }
    m_allocatedSize = static_cast<std::uint32_t>(wanted);
    std::memset(m_buffer.get(), 0xFF, m_allocatedSize);
    return kOk;
}

std::optional<std::uint8_t> CFirmwareImage::ByteAt(std::uint32_t address) const {
    if (address < m_low || address >= m_high || m_buffer == nullptr) {
        return std::nullopt;
    }
    return m_buffer[address - m_low];
}

ReconciliationInfo AnalyseReconciliation(const CFirmwareImage& image) {
    ReconciliationInfo info;
    std::span<const std::uint8_t> bytes = image.Bytes();
    if (!image.Loaded() || bytes.size() < 2) {
        return info;
    }
    info.stored = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sum += (static_cast<std::uint32_t>(bytes[i]) << 8) | bytes[i + 1];
    }
    if (bytes.size() % 2 != 0) {
        sum += static_cast<std::uint32_t>(bytes.back()) << 8;
    }
    info.sum = static_cast<std::uint16_t>(sum);

    if (info.stored != 0) {
        info.outcome = info.sum == 0 ? ReconciliationOutcome::Verified : ReconciliationOutcome::Corrupt;
        info.result = info.sum == 0 ? kOk : kErrHexImageChecksum;
    } else if (info.sum == 0) {
        info.outcome = ReconciliationOutcome::ZeroValue;
    } else {
        // The word goes in high byte first, so the display form shows it byte-swapped.
        const auto word = static_cast<std::uint16_t>(0x10000u - info.sum);
        info.outcome = ReconciliationOutcome::Computed;
        info.computed = static_cast<std::uint16_t>((word >> 8) | ((word & 0xFF) << 8));
    }
    return info;
}

Result ReconcileChecksum(CFirmwareImage& image, const std::function<void(const std::string&)>& log,
                         const std::function<void(const std::string&)>& detail) {
    const ReconciliationInfo info = AnalyseReconciliation(image);
    if (info.outcome == ReconciliationOutcome::NotAnImage) {
        return kErrHexImageChecksum;
    }
    const std::string path = image.FileName().string();
    detail(
        Format("%s firmware file %s checksum reconciliation value is 0x%X", kMcuPartName, path.c_str(), info.stored));
    switch (info.outcome) {
        case ReconciliationOutcome::Corrupt:
            log(Format("File does not checksum to zero. Checksum is 0x%X", info.sum));
            return kErrHexImageChecksum;
        case ReconciliationOutcome::ZeroValue:
            log("Checksum reconciliation value is zero; alert Tarnwell\r\n\r\n"
                "Note: A zero checksum reconciliation value should occur only during firmware development.");
            return kOk;
        case ReconciliationOutcome::Computed: {
            std::span<std::uint8_t> bytes = image.Bytes();
            bytes[0] = static_cast<std::uint8_t>(info.computed & 0xFF);
            bytes[1] = static_cast<std::uint8_t>(info.computed >> 8);
            detail(Format("%s computed checksum reconciliation value is 0x%X", kMcuPartName, info.computed));
            return kOk;
        }
        default:
            return kOk;
    }
}

}  // namespace rm7
