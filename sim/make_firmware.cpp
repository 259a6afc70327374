#include "sim/make_firmware.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace rm7sim {
namespace {

// The MCU window the loader fills; its first word is the reconciliation value.
constexpr uint32_t kMcuLow = 0x800;
constexpr uint32_t kMcuHigh = 0x1FD80;
constexpr size_t kDspSize = 16384;

// Filler that looks like code rather than an erased flash, the same on every run.
std::vector<uint8_t> Filler(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

void PutMarker(std::vector<uint8_t>& bytes, size_t at) {
    char marker[32];
    std::snprintf(marker, sizeof marker, "SIMVERSION:%04u", unsigned{kMadeFirmwareVersion});
    std::memcpy(bytes.data() + at, marker, std::strlen(marker));
}

// The first word makes the image's big-endian words sum to zero, as a released image does.
void Reconcile(std::vector<uint8_t>& image) {
    image[0] = 0;
    image[1] = 0;
    uint16_t sum = 0;
    for (size_t i = 0; i + 1 < image.size(); i += 2) {
        sum = static_cast<uint16_t>(sum + image[i] * 256 + image[i + 1]);
    }
    const auto word = static_cast<uint16_t>(-sum);
    image[0] = static_cast<uint8_t>(word >> 8);
    image[1] = static_cast<uint8_t>(word & 0xFF);
}

constexpr std::string_view kNotes =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 "
    "Symbol;}}\r\n"
    "{\\colortbl ;\\red192\\green0\\blue0;}\r\n"
    "\\viewkind4\\uc1\\pard\\qc\\b\\f0\\fs32 RM7 Firmware Release Notes\\par\r\n"
    "\\pard\\b0\\fs20\\par\r\n"
    "\\b\\fs24 MCU 03.00, DSP 03.00\\b0\\fs20\\par\r\n"
    "A firmware made by the simulator for trying a load without a radio. Load it into rm7-sim, "
    "never into a real radio.\\par\r\n"
    "\\par\r\n"
    "{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li720 New: the "
    "\\i keyer\\i0  remembers its speed per band.\\par\r\n"
    "{\\pntext\\f1\\'b7\\tab}Fixed: the {\\cf1\\b SWR alarm} no longer sounds at power-on.\\par\r\n"
    "{\\pntext\\f1\\'b7\\tab}Changed: the menu shows \\'b0C as well as \\'b0F.\\par\r\n"
    "\\pard\\par\r\n"
    "Load the MCU file first, then the DSP file.\\par\r\n"
    "}\r\n";

// Writes under a temporary name and renames, so a failure leaves no partial file.
bool WriteFile(const std::filesystem::path& file, std::string_view text, std::string& error) {
    const std::filesystem::path temp = file.string() + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + file.string() + ": " + std::strerror(errno);
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        error = "cannot write " + file.string() + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

std::string FormatHex(const uint8_t* data, size_t size, uint32_t address) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    auto record = [&out](uint8_t type, uint16_t offset, const uint8_t* bytes, size_t n) {
        uint8_t sum = 0;
        auto put = [&](uint8_t b) {
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 0x0F]);
            sum = static_cast<uint8_t>(sum + b);
        };
        out.push_back(':');
        put(static_cast<uint8_t>(n));
        put(static_cast<uint8_t>(offset >> 8));
        put(static_cast<uint8_t>(offset & 0xFF));
        put(type);
        for (size_t i = 0; i < n; ++i) {
            put(bytes[i]);
        }
        put(static_cast<uint8_t>(-sum));
        out += "\r\n";
    };
    uint32_t upper = 0;
    size_t pos = 0;
    while (pos < size) {
        const uint32_t at = address + static_cast<uint32_t>(pos);
        if ((at >> 16) != upper) {
            upper = at >> 16;
            const uint8_t field[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)};
            record(0x04, 0, field, 2);
        }
        size_t n = size - pos < 32 ? size - pos : 32;
        const size_t toBoundary = 0x10000 - (at & 0xFFFF);
        n = n < toBoundary ? n : toBoundary;
        record(0x00, static_cast<uint16_t>(at & 0xFFFF), data + pos, n);
        pos += n;
    }
    record(0x01, 0, nullptr, 0);
    return out;
}

bool MakeFirmware(const std::string& dir, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        error = "cannot create folder " + dir + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    std::vector<uint8_t> mcu = Filler(kMcuHigh - kMcuLow, 0x4D435521);
    PutMarker(mcu, 0x1234);
    Reconcile(mcu);
    std::vector<uint8_t> dsp = Filler(kDspSize, 0x44535021);
    PutMarker(dsp, kDspSize / 3);

    char mcuName[32];
    char dspName[32];
    std::snprintf(mcuName, sizeof mcuName, "fmcu%04u.hex", unsigned{kMadeFirmwareVersion});
    std::snprintf(dspName, sizeof dspName, "fdsp%04u.hex", unsigned{kMadeFirmwareVersion});
    const std::filesystem::path folder(dir);
    return WriteFile(folder / mcuName, FormatHex(mcu.data(), mcu.size(), kMcuLow), error) &&
           WriteFile(folder / dspName, FormatHex(dsp.data(), dsp.size(), 0), error) &&
           WriteFile(folder / "ffwnotes.rtf", kNotes, error);
}

}  // namespace rm7sim
