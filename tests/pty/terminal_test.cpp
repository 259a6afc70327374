// rm7util terminal against rm7-sim over a real pty: what reaches the radio, as the simulator's
// record of the wire shows it, and what rm7util prints of what the radio decodes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

namespace fs = std::filesystem;

// The bytes the utility wrote, from rm7-sim --record ("<ms> in  <speed> <escaped bytes>").
std::string WrittenBytes(const fs::path& record) {
    std::istringstream lines(ReadAll(record));
    std::string bytes;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string ms, direction, speed;
        fields >> ms >> direction >> speed;
        if (direction != "in") {
            continue;
        }
        const std::size_t start = line.find(speed, line.find(direction) + direction.size()) + speed.size() + 1;
        for (std::size_t i = start; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
                bytes.push_back(static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16)));
                i += 3;
            } else {
                bytes.push_back(line[i]);
            }
        }
    }
    return bytes;
}

std::vector<std::string> Commands(const std::string& bytes) {
    std::vector<std::string> out;
    std::string current;
    for (const char c : bytes) {
        if (c == ';') {
            out.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return out;
}

// rm7-sim records what it has read, which may be a moment after rm7util wrote it and ended.
bool WaitForWire(const fs::path& record, const std::string& bytes) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (WrittenBytes(record).find(bytes) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        ::poll(nullptr, 0, 20);
    }
    return true;
}

TEST(CliTerminal, SendKeysTheFilteredTextInChunksAndEndsTransmission) {
    const struct {
        const char* mode;
        std::string text;
        std::string filtered;
        bool endForm;
        std::size_t chunk;
    } cases[] = {
        {"cw", "CQ CQ DE N0CALL = K; <73>", "CQ CQ DE N0CALL = K, 73", false, 4},
        {"rtty", "RYRY: de N0CALL; 599\r_73", "RYRY: de N0CALL, 599\r\n73", true, 4},
        // CR LF given is one line break; control characters and what no mode carries are left out.
        {"rtty", "CQ\r\nDE\nK", "CQ\r\nDE\r\nK", true, 4},
        {"psk", "CQ\x04 DE\r\nCAF\xC3\x89 \xC2\xBBX\xC2\xAB\x07 \xE2\x82\xAC K", "CQ DE\nCAF X  K", true, 8},
        {"cw", "CQ\r\nDE caf\xC3\xA9", "CQ DE caf", false, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        CScratch scratch;
        const fs::path record = scratch.Dir() / "wire.txt";
        CSimulator sim(
            {"--record", record.string(), "--rx-text", "CQ;TEST;K", "--rx-char-ms", "5", "--tx-char-ms", "20"});
        ASSERT_FALSE(sim.Device().empty());
        const RunResult r =
            RunUtil(scratch, {"-q", "--port", sim.Device(), "terminal", "--mode", c.mode, "--send", c.text});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "CQ;TEST;K\n");  // decoded while the text went out, ';' and all
        if (c.endForm) {
            EXPECT_TRUE(WaitForWire(record, "KY \x04;"));
        }

        std::string joined;
        bool ended = false;
        for (const std::string& command : Commands(WrittenBytes(record))) {
            if (command == "KY \x04") {
                EXPECT_FALSE(ended);
                ended = true;
            } else if (command.starts_with("KY")) {
                EXPECT_FALSE(ended) << "keyed after the end of transmission";
                ASSERT_TRUE(command.starts_with("KY "));
                const std::string payload = command.substr(3);
                const auto crlf = static_cast<std::size_t>(std::count(payload.begin(), payload.end(), '\n'));
                EXPECT_LE(payload.size() - crlf, c.chunk) << payload;
                joined += payload;
            }
        }
        EXPECT_EQ(joined, c.filtered);
        EXPECT_EQ(ended, c.endForm);
    }
}

// SIGTERM, and SIGHUP when the terminal window closes: transmission ends its own way.
TEST(CliTerminal, QuitSignalEndsTransmissionWithTheEndForm) {
    for (const int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGHUP");
        CScratch scratch;
        const fs::path record = scratch.Dir() / "wire.txt";
        CSimulator sim({"--record", record.string(), "--tx-char-ms", "300"});
        ASSERT_FALSE(sim.Device().empty());
        CRunningUtil util(
            scratch, {"--port", sim.Device(), "terminal", "--mode", "psk", "--send", "A LONG TEXT THAT TAKES A WHILE"});
        // Wait until the radio is keyed.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (WrittenBytes(record).find("KY ") == std::string::npos && std::chrono::steady_clock::now() < end) {
            util.WaitFor("never printed", 50);
        }
        ASSERT_NE(WrittenBytes(record).find("KY "), std::string::npos);
        util.Signal(sig);
        const int status = util.Wait(30000);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130) << util.Err();  // stopped by the user
        EXPECT_TRUE(WaitForWire(record, "KY \x04;"));
        const std::vector<std::string> commands = Commands(WrittenBytes(record));
        std::vector<std::string> keyed;
        std::string joined;
        for (const std::string& c : commands) {
            if (c.starts_with("KY")) {
                keyed.push_back(c);
                joined += c.substr(3);
            }
        }
        ASSERT_GE(keyed.size(), 2u) << ReadAll(record);
        EXPECT_EQ(keyed.back(), "KY \x04");
        EXPECT_LT(joined.size(), std::string("A LONG TEXT THAT TAKES A WHILE").size());  // cut short
    }
}

// The interactive terminal with its keyboard on a pty of its own: typed text waits until Ctrl+T,
// Ctrl+D ends once the radio has sent what it holds, and the radio is left receiving.
TEST(CliTerminal, InteractiveKeysTypedTextWithCtrlTAndCtrlDEndsIt) {
    CScratch scratch;
    const fs::path record = scratch.Dir() / "wire.txt";
    CSimulator sim({"--record", record.string(), "--tx-char-ms", "20", "--rx-text", "QRZ?"});
    ASSERT_FALSE(sim.Device().empty());
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string keyboard = ::ptsname(master);
    const std::string program = (BinDir() / "rm7util").string();
    const std::string out = (scratch.Dir() / "stdout").string();
    const std::string err = (scratch.Dir() / "stderr").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int in = ::open(keyboard.c_str(), O_RDWR);
        ::dup2(in, STDIN_FILENO);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        ::execl(program.c_str(), program.c_str(), "--port", sim.Device().c_str(), "terminal", "--mode", "rtty",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto waitFor = [&](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            if (done()) {
                return true;
            }
            ::poll(nullptr, 0, 20);
        }
        return false;
    };
    ASSERT_TRUE(waitFor([&] { return ReadAll(err).find("Ctrl+D ends") != std::string::npos; })) << ReadAll(err);
    ASSERT_EQ(::write(master, "cq;de", 5), 5);
    ASSERT_TRUE(waitFor([&] { return ReadAll(err).find("Press Ctrl+T") != std::string::npos; }));
    EXPECT_EQ(WrittenBytes(record).find("KY"), std::string::npos);  // not transmitting yet
    ASSERT_EQ(::write(master, "\x14", 1), 1);
    ASSERT_TRUE(waitFor([&] { return WrittenBytes(record).find("KY cq,d") != std::string::npos; }));
    ASSERT_EQ(::write(master, " x\x04", 3), 3);
    int status = -1;
    ASSERT_TRUE(waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    ::close(master);
    EXPECT_TRUE(WaitForWire(record, "KY \x04;"));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadAll(err);
    std::string joined;
    std::vector<std::string> keyed;
    for (const std::string& c : Commands(WrittenBytes(record))) {
        if (c.starts_with("KY")) {
            keyed.push_back(c);
            joined += c.substr(3);
        }
    }
    ASSERT_FALSE(keyed.empty());
    EXPECT_EQ(keyed.back(), "KY \x04");
    EXPECT_EQ(joined.substr(0, 8), "cq,de x\x04");
    EXPECT_NE(ReadAll(out).find("QRZ?"), std::string::npos);
}
}  // namespace
}  // namespace rm7::test
