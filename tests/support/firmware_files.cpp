#include "tests/support/firmware_files.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "firmware/firmware_image.h"
#include "firmware/intel_hex.h"

namespace rm7::test {

void WriteFile(const std::filesystem::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

void WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    WriteFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string Quote(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string Record(std::uint8_t type, std::uint16_t address, std::span<const std::uint8_t> data,
                   std::uint8_t checksumError) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = ":";
    std::uint8_t sum = 0;
    auto put = [&](std::uint8_t b) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
        sum = static_cast<std::uint8_t>(sum + b);
    };
    put(static_cast<std::uint8_t>(data.size()));
    put(static_cast<std::uint8_t>(address >> 8));
    put(static_cast<std::uint8_t>(address & 0xFF));
    put(type);
    for (std::uint8_t b : data) {
        put(b);
    }
    put(static_cast<std::uint8_t>(-sum + checksumError));
    return text;
}

std::string Record(std::uint8_t type, std::uint16_t address, std::initializer_list<std::uint8_t> data,
                   std::uint8_t checksumError) {
    return Record(type, address, std::span<const std::uint8_t>(data.begin(), data.size()), checksumError);
}

namespace {

void PutMarker(std::vector<std::uint8_t>& bytes, std::size_t at, const char* version) {
    const std::string marker = std::string("SIMVERSION:") + version;
    if (at + marker.size() <= bytes.size()) {
        std::memcpy(bytes.data() + at, marker.data(), marker.size());
    }
}

}  // namespace

std::vector<std::uint8_t> McuImageBytes(std::uint32_t seed, const char* version) {
    std::vector<std::uint8_t> bytes = RandomBytes(kMcuHighAddress - kMcuLowAddress, seed);
    bytes[0] = 0;
    bytes[1] = 0;
    PutMarker(bytes, 0x1234, version);
    return bytes;
}

std::vector<std::uint8_t> Reconciled(std::vector<std::uint8_t> image) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < image.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + image[i] * 256 + image[i + 1]);
    }
    const auto word = static_cast<std::uint16_t>(-sum);
    image[0] = static_cast<std::uint8_t>(word >> 8);
    image[1] = static_cast<std::uint8_t>(word);
    return image;
}

std::vector<std::uint8_t> DspImageBytes(std::size_t size, std::uint32_t seed, const char* version) {
    std::vector<std::uint8_t> bytes = RandomBytes(size, seed);
    if (version != nullptr) {
        PutMarker(bytes, size / 3, version);
    }
    return bytes;
}

void WriteHexFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes, std::uint32_t address) {
    WriteFile(file, FormatIntelHex(bytes, address, 32));
}

}  // namespace rm7::test
