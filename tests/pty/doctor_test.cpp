// rm7util doctor over real ptys: one without a radio, one held by another program, and the
// simulated radio.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/tty.h"
#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// The findings by check; the exit status must agree with them.
std::map<std::string, nlohmann::json> Findings(const RunResult& r) {
    const auto json = nlohmann::json::parse(r.out);
    std::map<std::string, nlohmann::json> byCheck;
    bool ok = true;
    for (const auto& f : json["findings"]) {
        byCheck[f["check"]] = f;
        ok = ok && f["ok"].get<bool>();
        EXPECT_EQ(f["ok"].get<bool>(), f["advice"].is_null()) << f.dump();
    }
    EXPECT_EQ(json["ok"], ok);
    EXPECT_EQ(r.status, ok ? 0 : 1) << r.err;
    return byCheck;
}

// A pty whose other end nobody answers on.
class CSilentPty {
  public:
    CSilentPty() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            m_slave = ::ptsname(m_master);
        }
    }
    ~CSilentPty() { ::close(m_master); }
    const std::string& Device() const { return m_slave; }

  private:
    int m_master = -1;
    std::string m_slave;
};

TEST(CliDoctor, SimulatedRadioAnswers) {
    CScratch scratch;
    CSimulator sim({"--speed", "19200"});
    ASSERT_FALSE(sim.Device().empty());
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "doctor", "--json"});
    auto findings = Findings(r);
    EXPECT_TRUE(findings["device"]["ok"]);
    EXPECT_TRUE(findings["access"]["ok"]);
    EXPECT_TRUE(findings["holder"]["ok"]);
    EXPECT_TRUE(findings["latency"]["ok"]);  // a pty has no latency timer
    EXPECT_TRUE(findings["radio"]["ok"]);
    EXPECT_EQ(findings["radio"]["text"], "A radio answers at 19200 bit/s: RM7, running its firmware.");
    if (findings["services"]["ok"]) {
        EXPECT_EQ(r.status, 0);
    }

    // The same as lines.
    const RunResult text = RunUtil(scratch, {"--port", sim.Device(), "doctor"});
    EXPECT_EQ(text.status, r.status);
    EXPECT_THAT(text.out, HasSubstr("ok   radio    A radio answers at 19200 bit/s"));
}

TEST(CliDoctor, RadioLeftTransmittingIsAFindingWithWhatToDo) {
    CScratch scratch;
    CSimulator sim({"--transmitting"});
    ASSERT_FALSE(sim.Device().empty());
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "doctor", "--json"});
    auto findings = Findings(r);
    EXPECT_TRUE(findings["radio"]["ok"]);
    EXPECT_FALSE(findings["transmitter"]["ok"]);
    EXPECT_EQ(findings["transmitter"]["text"], "The radio is transmitting.");
    EXPECT_THAT(findings["transmitter"]["advice"].get<std::string>(), HasSubstr("rm7util send \"RX;\""));
    EXPECT_EQ(r.status, 1);

    // Switched to receive, the same check passes.
    ASSERT_EQ(RunUtil(scratch, {"--port", sim.Device(), "send", "RX;"}).status, 0);
    auto after = Findings(RunUtil(scratch, {"--port", sim.Device(), "doctor", "--json"}));
    EXPECT_TRUE(after["transmitter"]["ok"]);
    EXPECT_EQ(after["transmitter"]["text"], "The radio is in receive.");
}

TEST(CliDoctor, NoRadioAndHeldPort) {
    CScratch scratch;
    CSilentPty silent;
    ASSERT_FALSE(silent.Device().empty());
    RunResult r = RunUtil(scratch, {"--port", silent.Device(), "--timeout", "2", "doctor", "--json"});
    auto findings = Findings(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(findings["holder"]["ok"]);  // the other end is not a holder
    EXPECT_FALSE(findings["radio"]["ok"]);
    EXPECT_THAT(findings["radio"]["text"].get<std::string>(), StartsWith("No radio answers"));

    CSimulator sim({});
    ASSERT_FALSE(sim.Device().empty());
    CTtyDevice holder;
    ASSERT_EQ(holder.Open(sim.Device()), 0u);
    r = RunUtil(scratch, {"--port", sim.Device(), "doctor", "--json"});
    findings = Findings(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(findings["holder"]["ok"]);
    EXPECT_THAT(findings["holder"]["text"].get<std::string>(), HasSubstr("(pid " + std::to_string(::getpid()) + ")"));
    EXPECT_FALSE(findings["radio"]["ok"]);
    // The port is busy, and by whom: no radio was asked, and it is no matter of permissions.
    const std::string radio = findings["radio"]["text"].get<std::string>();
    EXPECT_EQ(radio, "The port did not open: Device or resource busy: in use by " +
                         findings["holder"]["text"].get<std::string>().substr(std::string("It is in use by ").size()));
    EXPECT_THAT(radio, Not(HasSubstr("No radio answers")));
    EXPECT_THAT(r.err, Not(HasSubstr("ccess")));
    EXPECT_THAT(r.err, Not(HasSubstr("ermission")));
}

TEST(CliDoctor, MissingDevice) {
    CScratch scratch;
    const RunResult r = RunUtil(scratch, {"--port", "/dev/does-not-exist", "doctor", "--json"});
    auto findings = Findings(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(findings.size(), 1u);
    EXPECT_FALSE(findings["device"]["ok"]);
}

}  // namespace
}  // namespace rm7::test
