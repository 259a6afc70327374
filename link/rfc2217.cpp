#include "link/rfc2217.h"

namespace rm7 {

using namespace telnet;

namespace {

// A subnegotiation longer than any COM-PORT-OPTION answer is a hostile or broken far end: what
// goes beyond is dropped, never stored.
constexpr std::size_t kSubLimit = 64;

void PutEscaped(std::string& out, std::uint8_t byte) {
    out += static_cast<char>(byte);
    if (byte == kIac) {
        out += static_cast<char>(kIac);
    }
}

std::string ComPortCommand(std::uint8_t command, const std::vector<std::uint8_t>& value) {
    std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                    static_cast<char>(command)};
    for (std::uint8_t b : value) {
        PutEscaped(out, b);
    }
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

}  // namespace

void CRfc2217Codec::EncodeData(const void* bytes, std::size_t length, std::string& out) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    out.reserve(out.size() + length + 8);
    for (std::size_t i = 0; i < length; ++i) {
        PutEscaped(out, p[i]);
    }
}

void CRfc2217Codec::Ask(std::string& out, std::uint8_t verb, std::uint8_t option) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

std::string CRfc2217Codec::SpeedCommand(std::uint32_t bitsPerSecond) {
    return ComPortCommand(
        kSetBaudRate, {static_cast<std::uint8_t>(bitsPerSecond >> 24), static_cast<std::uint8_t>(bitsPerSecond >> 16),
                       static_cast<std::uint8_t>(bitsPerSecond >> 8), static_cast<std::uint8_t>(bitsPerSecond)});
}

std::string CRfc2217Codec::Opening(std::uint32_t bitsPerSecond) {
    std::string out;
    for (std::uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        m_local[option] = State::Asked;
        Ask(out, kWill, option);
    }
    for (std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        m_remote[option] = State::Asked;
        Ask(out, kDo, option);
    }
    out += SpeedCommand(bitsPerSecond);
    out += ComPortCommand(kSetDataSize, {8});
    out += ComPortCommand(kSetParity, {1});    // none
    out += ComPortCommand(kSetStopSize, {1});  // one
    out += ComPortCommand(kSetControl, {1});   // no flow control
    out += ComPortCommand(kSetControl, {9});   // DTR off
    out += ComPortCommand(kSetControl, {12});  // RTS off
    return out;
}

bool CRfc2217Codec::Wanted(std::uint8_t option) const {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

void CRfc2217Codec::OnOption(std::uint8_t verb, std::uint8_t option, std::string& reply) {
    // Each side of an option answers only a change of its state, so two ends never loop.
    const bool ask = verb == kWill || verb == kDo;
    State& state = (verb == kWill || verb == kWont) ? m_remote[option] : m_local[option];
    const std::uint8_t yes = (verb == kWill || verb == kWont) ? kDo : kWill;
    const std::uint8_t no = (verb == kWill || verb == kWont) ? kDont : kWont;
    // The far end echoing our bytes back would look like the radio's answers; COM-PORT-OPTION is
    // one this end performs, not the far end.
    const bool acceptable = Wanted(option) && !(verb == kWill && option == kComPort);
    if (ask) {
        if (state == State::Yes) {
            return;
        }
        if (acceptable) {
            if (state == State::No) {
                Ask(reply, yes, option);
            }
            state = State::Yes;
        } else {
            Ask(reply, no, option);
            state = State::No;
        }
    } else {
        if (state == State::Yes) {
            Ask(reply, no, option);
        }
        if (option == kComPort && no == kWont) {
            m_comPortRefused = true;
        }
        state = State::No;
    }
}

void CRfc2217Codec::OnSubnegotiation() {
    if (m_sub.size() == 6 && m_sub[0] == kComPort && m_sub[1] == kServerOffset + kSetBaudRate) {
        m_reportedSpeed = (std::uint32_t{m_sub[2]} << 24) | (std::uint32_t{m_sub[3]} << 16) |
                          (std::uint32_t{m_sub[4]} << 8) | std::uint32_t{m_sub[5]};
    }
    // The far end's other reports (line and modem state, its signature) change nothing here.
}

void CRfc2217Codec::Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& data,
                            std::string& reply) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        switch (m_phase) {
            case Phase::Data:
                if (b == kIac) {
                    m_phase = Phase::Iac;
                } else {
                    data.push_back(b);
                }
                break;
            case Phase::Iac:
                if (b == kIac) {
                    data.push_back(kIac);
                    m_phase = Phase::Data;
                } else if (b >= kWill) {
                    m_verb = b;
                    m_phase = Phase::Option;
                } else if (b == kSb) {
                    m_sub.clear();
                    m_phase = Phase::Sub;
                } else {
                    // NOP, data mark, go-ahead and the rest carry nothing for a serial line.
                    m_phase = Phase::Data;
                }
                break;
            case Phase::Option:
                OnOption(m_verb, b, reply);
                m_phase = Phase::Data;
                break;
            case Phase::Sub:
                if (b == kIac) {
                    m_phase = Phase::SubIac;
                } else if (m_sub.size() < kSubLimit) {
                    m_sub.push_back(b);
                }
                break;
            case Phase::SubIac:
                if (b == kSe) {
                    OnSubnegotiation();
                    m_phase = Phase::Data;
                } else {
                    if (b == kIac && m_sub.size() < kSubLimit) {
                        m_sub.push_back(kIac);
                    }
                    m_phase = Phase::Sub;
                }
                break;
        }
    }
}

}  // namespace rm7
