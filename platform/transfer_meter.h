#pragma once
// A transfer's bytes, measured rate and time left, as one line of text: rm7util prints it and the
// job dialogs show it beside their progress bars.
#include <cstdint>
#include <string>

namespace rm7 {

// The rate is measured from the first progress on, so the time spent finding the radio does not count.
class CTransferMeter {
  public:
    void Update(std::uint64_t done, std::uint64_t total, std::uint32_t nowMs);
    // "  45%  57344/128384 bytes  3.8 kB/s  0:18 left"
    std::string Text() const;
    // Bytes per second since the first progress; 0 until it can be told.
    double Rate() const;

  private:
    bool m_started = false;
    std::uint64_t m_firstDone = 0;
    std::uint32_t m_firstMs = 0;
    std::uint64_t m_done = 0;
    std::uint64_t m_total = 0;
    std::uint32_t m_nowMs = 0;
};

}  // namespace rm7
