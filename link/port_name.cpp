#include "link/port_name.h"

#include <cctype>

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

namespace {

struct Scheme {
    const char* prefix;
    PortKind kind;
};
constexpr Scheme kSchemes[] = {
    {"rfc2217://", PortKind::Rfc2217},
    {"tcp://", PortKind::RawTcp},
};

bool ParsePortNumber(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool ValidHost(const std::string& host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    for (char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '.' && c != '-' && c != '_' && c != ':' && c != '%') {
            return false;
        }
    }
    return true;
}

}  // namespace

Result ParsePortName(const std::string& name, PortAddress& address) {
    address = PortAddress{};
    for (const Scheme& scheme : kSchemes) {
        if (!StartsWithNoCase(name, scheme.prefix)) {
            continue;
        }
        std::string rest = name.substr(std::string(scheme.prefix).size());
        // A trailing slash is what a URL often carries; nothing may follow it.
        if (!rest.empty() && rest.back() == '/') {
            rest.pop_back();
        }
        std::string host;
        std::string port;
        if (!rest.empty() && rest.front() == '[') {
            const auto close = rest.find(']');
            if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
                return kErrNetBadPortName;
            }
            host = rest.substr(1, close - 1);
            port = rest.substr(close + 2);
        } else {
            const auto colon = rest.rfind(':');
            if (colon == std::string::npos || rest.find(':') != colon) {
                return kErrNetBadPortName;
            }
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
        }
        if (!ValidHost(host) || !ParsePortNumber(port, address.port)) {
            address = PortAddress{};
            return kErrNetBadPortName;
        }
        address.kind = scheme.kind;
        address.host = host;
        return kOk;
    }
    // Some other scheme is a mistake, not a device path.
    if (name.find("://") != std::string::npos) {
        return kErrNetBadPortName;
    }
    return kOk;
}

bool IsNetworkPortName(const std::string& name) {
    PortAddress address;
    return name.find("://") != std::string::npos ||
           (ParsePortName(name, address) == kOk && address.kind != PortKind::Device);
}

std::string HostAndPort(const PortAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return StrFormat(v6 ? "[%s]:%u" : "%s:%u", address.host.c_str(), static_cast<unsigned>(address.port));
}

std::string PortErrorText(const std::string& portName, Result code) {
    PortAddress address;
    if (ParsePortName(portName, address) != kOk || address.kind == PortKind::Device) {
        return ErrorText(code);
    }
    const std::string at = HostAndPort(address);
    switch (code) {
        case kErrNetRefused:
            return StrFormat("connection to %s refused", at.c_str());
        case kErrNetNameNotFound:
            return StrFormat("connection to %s failed: host name not known", at.c_str());
        case kErrNetUnreachable:
            return StrFormat("connection to %s failed: host unreachable", at.c_str());
        case kErrNetNoAnswer:
            return StrFormat("connection to %s failed: no answer from the host", at.c_str());
        case kErrNetClosed:
            return StrFormat("connection to %s closed by the far end", at.c_str());
        case kErrNetSilent:
            return StrFormat("connection to %s lost: nothing came back from the far end", at.c_str());
        default:
            return ErrorText(code);
    }
}

bool IsConnectionFailure(Result code) {
    return code == kErrNetBadPortName || code == kErrNetNameNotFound || code == kErrNetRefused ||
           code == kErrNetUnreachable || code == kErrNetNoAnswer;
}

DoctorFinding NetworkPortFinding(const std::string& portName, Result openResult) {
    DoctorFinding finding{"network", true, "", ""};
    PortAddress address;
    if (ParsePortName(portName, address) != kOk) {
        finding.ok = false;
        finding.text = StrFormat("%s: %s.", portName.c_str(), ErrorText(kErrNetBadPortName).c_str());
        return finding;
    }
    const std::string at = HostAndPort(address);
    if (IsConnectionFailure(openResult)) {
        finding.ok = false;
        finding.text = PortErrorText(portName, openResult) + ".";
        finding.advice = StrFormat(
            "Check that the serial server on %s runs and listens on port %u, and that the ssh "
            "tunnel or VPN to it is up.",
            address.host.c_str(), static_cast<unsigned>(address.port));
        return finding;
    }
    if (IsPortLost(openResult)) {
        // A serial server that cannot have its device takes the connection and closes it at once.
        finding.ok = false;
        finding.text = PortErrorText(portName, openResult) + ".";
        finding.advice = StrFormat(
            "Check on %s that the serial server's device is the radio's port, is plugged in, and "
            "that no other program there holds it.",
            address.host.c_str());
        return finding;
    }
    finding.text = address.kind == PortKind::Rfc2217
                       ? StrFormat("Connected to %s (RFC 2217: the speed is set at the far end).", at.c_str())
                       : StrFormat("Connected to %s (raw TCP: the speed is fixed at the far end; --speed says which).",
                                   at.c_str());
    return finding;
}

}  // namespace rm7
