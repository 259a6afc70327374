#pragma once
// What a port name stands for: a device path, or a serial port put on the network
// ("rfc2217://HOST:PORT": speed and line set at the far end; "tcp://HOST:PORT": raw bytes, the
// speed fixed at the far end). A port name is stored and shown as the user gave it.
#include <cstdint>
#include <string>

#include "platform/port_doctor.h"
#include "platform/result.h"

namespace rm7 {

enum class PortKind { Device, Rfc2217, RawTcp };

struct PortAddress {
    PortKind kind = PortKind::Device;
    std::string host;  // without the brackets of an IPv6 address
    std::uint16_t port = 0;
    bool operator==(const PortAddress&) const = default;
};

// A network name whose host or port is missing or malformed is kErrNetBadPortName. Scheme
// letters may be in any case.
Result ParsePortName(const std::string& name, PortAddress& address);
bool IsNetworkPortName(const std::string& name);

// "HOST:PORT" ("[::1]:PORT" for an IPv6 address).
std::string HostAndPort(const PortAddress& address);

// What went wrong with the port, as said to the user: for a network port, with its host and port
// ("connection to HOST:PORT refused"); otherwise the code's own text.
std::string PortErrorText(const std::string& portName, Result code);

// The doctor's finding on a network port, from what opening it gave ("network": whether the far end
// took the connection, and what to look at when it did not).
DoctorFinding NetworkPortFinding(const std::string& portName, Result openResult);
// The connection itself failed (refused, unknown host, ...), as against the radio behind it.
bool IsConnectionFailure(Result code);

}  // namespace rm7
