// rm7util terminal against rm7-sim over a real pty: what reaches the radio, as the simulator's
// record of the wire shows it, and what rm7util prints of what the radio decodes.
#include <gtest/gtest.h>

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

TEST(CliTerminal, SendKeysTheFilteredTextInChunksAndEndsTransmission) {
    const struct {
        const char* mode;
        std::string text;
        std::string filtered;
        bool endForm;
    } cases[] = {
        {"cw", "CQ CQ DE N0CALL = K; <73>", "CQ CQ DE N0CALL = K, 73", false},
        {"rtty", "RYRY: de N0CALL; 599\r_73", "RYRY: de N0CALL, 599\r\n73", true},
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
                EXPECT_LE(payload.size() - crlf, 4u) << payload;
                joined += payload;
            }
        }
        EXPECT_EQ(joined, c.filtered);
        EXPECT_EQ(ended, c.endForm);
    }
}

TEST(CliTerminal, QuitSignalEndsTransmissionWithTheEndForm) {
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
    util.Signal(SIGTERM);
    const int status = util.Wait(30000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << util.Err();
    const std::vector<std::string> commands = Commands(WrittenBytes(record));
    std::vector<std::string> keyed;
    std::string joined;
    for (const std::string& c : commands) {
        if (c.starts_with("KY")) {
            keyed.push_back(c);
            joined += c.substr(3);
        }
    }
    ASSERT_GE(keyed.size(), 2u);
    EXPECT_EQ(keyed.back(), "KY \x04");
    EXPECT_LT(joined.size(), std::string("A LONG TEXT THAT TAKES A WHILE").size());  // cut short
}

}  // namespace
}  // namespace rm7::test
