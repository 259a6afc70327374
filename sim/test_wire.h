#pragma once
// The utility's side of the wire to the simulated radio, in virtual time, for the simulator's own tests.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "sim/radio.h"
#include "tests/support/temp_folder.h"

namespace rm7sim::test {

class Wire {
  public:
    explicit Wire(Options options = {}) : radio(std::move(options)), speed(radio.Speed()) {}

    std::string Send(std::string_view text) { return SendBytes(std::vector<uint8_t>(text.begin(), text.end())); }

    std::string SendBytes(const std::vector<uint8_t>& bytes) {
        radio.Receive(bytes.data(), bytes.size(), speed, now);
        return Take();
    }

    std::string Take() {
        const std::vector<uint8_t> out = radio.TakeOutput(now);
        return std::string(out.begin(), out.end());
    }

    Radio radio;
    uint32_t speed;
    uint64_t now = 1000;
};

inline std::string Hex2(unsigned byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
    return text;
}

using rm7::test::CTempFolder;

// A file the radio wrote into `dir`.
inline std::vector<uint8_t> Read(const CTempFolder& dir, const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace rm7sim::test
