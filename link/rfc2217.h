#pragma once
// The Telnet side of a serial port on the network (RFC 854/855, COM-PORT-OPTION of RFC 2217):
// the bytes this end sends (data with IAC doubled, the opening negotiation, a speed change), and
// a reader that takes what the far end sends apart into data and its own answers to options.
// No I/O here: the port moves the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rm7 {

namespace telnet {
inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;
// COM-PORT-OPTION commands, client to server; the server answers with the command + 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kServerOffset = 100;
}  // namespace telnet

class CRfc2217Codec {
  public:
    // Data for the far end: every 255 doubled.
    static void EncodeData(const void* bytes, std::size_t length, std::string& out);
    // Offers the options a serial line needs (binary both ways, no go-ahead, COM-PORT-OPTION) and
    // sets the line: the speed, 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS
    // off, as a local port is opened.
    std::string Opening(std::uint32_t bitsPerSecond);
    static std::string SpeedCommand(std::uint32_t bitsPerSecond);

    // Takes the far end's bytes apart, across any split between calls: data is appended to data,
    // the answers its option requests need to reply.
    void Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& data, std::string& reply);

    // The far end agreed to take line settings (it answered DO COM-PORT-OPTION).
    bool ComPortAccepted() const { return m_local[telnet::kComPort] == State::Yes; }
    // The far end refused them: it is a plain Telnet server, and speed changes reach nobody.
    bool ComPortRefused() const { return m_comPortRefused; }
    // The speed the far end last reported it set; 0 before it has said.
    std::uint32_t ReportedSpeed() const { return m_reportedSpeed; }

  private:
    enum class State : std::uint8_t { No, Asked, Yes };
    enum class Phase : std::uint8_t { Data, Iac, Option, Sub, SubIac };
    bool Wanted(std::uint8_t option) const;
    void OnOption(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void OnSubnegotiation();
    static void Ask(std::string& out, std::uint8_t verb, std::uint8_t option);

    State m_local[256] = {};   // options this end performs (WILL)
    State m_remote[256] = {};  // options the far end performs (DO)
    Phase m_phase = Phase::Data;
    std::uint8_t m_verb = 0;
    std::vector<std::uint8_t> m_sub;
    bool m_comPortRefused = false;
    std::uint32_t m_reportedSpeed = 0;
};

}  // namespace rm7
