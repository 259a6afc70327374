#pragma once
// The configuration file's check value: the standard reflected CRC-32 (0xEDB88320), kept as a
// running value over the lines it covers. The file's check line carries NOT Value().
#include <cstdint>
#include <string_view>

namespace rm7 {

class CCrc32 {
  public:
    // Continues the CRC-32 over these bytes.
    void Update(std::string_view bytes);
    // The standard CRC-32 of everything fed so far (0 before anything was fed).
    std::uint32_t Value() const { return m_value; }
    // What the check line carries.
    std::uint32_t CheckValue() const { return ~m_value; }

  private:
    std::uint32_t m_value = 0;
};

}  // namespace rm7
