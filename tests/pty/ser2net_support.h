#pragma once
// ser2net on loopback in front of rm7-sim's pty, with a configuration of the test's own: the
// radio's port put on the network as the owner of a remote station does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/child_process.h"
#include "tests/pty/pty_support.h"

namespace rm7::test {

// A loopback port nobody listens on just now (bound, read back and let go).
inline std::uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

// Whether something listens on the loopback port, read from the kernel's table so that no
// connection is made (ser2net would open the device for it).
inline bool ListeningOn(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        // "  0: 0100007F:1B58 00000000:0000 0A ...": local address, remote address, state (0A: listen).
        char local[64] = {};
        char remote[64] = {};
        char state[8] = {};
        if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, remote, state) == 3 &&
            std::string(local).ends_with(wanted) && std::string(state) == "0A") {
            return true;
        }
    }
    return false;
}

inline std::filesystem::path Ser2netProgram() {
    for (const char* p : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
        if (::access(p, X_OK) == 0) {
            return p;
        }
    }
    return {};
}

struct Ser2netPort {
    std::string accepter;  // "telnet(rfc2217),tcp" or "tcp"
    std::string device;
    std::string line;  // "38400n81"
    std::uint16_t port = 0;
};

// ser2net with one connection per entry, in the foreground, until the object goes away.
class CSer2net {
  public:
    CSer2net(const std::filesystem::path& dir, const std::vector<Ser2netPort>& ports) : m_ports(ports) {
        m_config = dir / "ser2net.yaml";
        std::ofstream yaml(m_config);
        yaml << "%YAML 1.1\n---\n";
        int n = 0;
        for (const Ser2netPort& p : ports) {
            yaml << "connection: &radio" << n++ << "\n"
                 << "  accepter: " << p.accepter << ",127.0.0.1," << p.port << "\n"
                 << "  connector: serialdev," << p.device << "," << p.line << ",local\n"
                 << "  options:\n"
                 << "    kickolduser: true\n"
                 // As the README advises: ser2net's wait for more characters would add to every answer.
                 << "    chardelay: false\n";
        }
    }
    // Starts it and waits until every port listens; false (with why) when it does not.
    bool Start(std::string& why) {
        const std::filesystem::path program = Ser2netProgram();
        if (program.empty()) {
            why = "ser2net is not installed (scripts/deps.sh installs it)";
            return false;
        }
        // -n: foreground; -u: no UUCP lock files (the test's pty needs none).
        if (m_process.Start(program, {"-n", "-u", "-c", m_config.string()}) != 0) {
            why = "ser2net did not start";
            return false;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (const Ser2netPort& p : m_ports) {
            while (!ListeningOn(p.port)) {
                int code = 0;
                if (m_process.WaitForEnd(20, code)) {
                    why = "ser2net ended at once (exit " + std::to_string(code) + "): its configuration was refused";
                    return false;
                }
                if (std::chrono::steady_clock::now() > end) {
                    why = "ser2net does not listen on port " + std::to_string(p.port);
                    return false;
                }
            }
        }
        return true;
    }
    void Kill() {
        if (m_process.Running()) {
            ::kill(m_process.Pid(), SIGKILL);
            int code = 0;
            m_process.WaitForEnd(10000, code);
        }
    }
    void Stop() { m_process.Stop(); }

  private:
    std::vector<Ser2netPort> m_ports;
    std::filesystem::path m_config;
    CChildProcess m_process;
};

}  // namespace rm7::test
