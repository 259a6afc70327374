#pragma once
// rm7util's cases that hold in both of its test layers: in this process against the simulated
// radio on the in-memory port (cli/commands_test.cpp), and as a child process against rm7-sim
// over a real pty (tests/pty/cli_cases_test.cpp). One table feeds both, so the two cannot drift
// apart, and where the layers disagree one row fails in one of them.
//
// A group is one radio, started with rm7-sim's own arguments (the in-process layer reads them with
// the simulator's command-line reader), and rows run against it in order, as a person would type
// them. In words and expected texts "{port}" stands for the radio's port and "{dir}" for the
// group's scratch folder, which is also the settings and data home.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace rm7::test {

// Where a row or a group runs: a row only one layer can do says why beside it.
enum class Layer { kBoth, kInProcess, kPty };

inline bool RunsIn(Layer wanted, Layer layer) {
    return wanted == Layer::kBoth || wanted == layer;
}

struct Places {
    std::string port;
    std::filesystem::path dir;
    std::string Fill(std::string text) const;
};

struct CliOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

// What the radio took in while one row ran: the bytes written to it (in this process those that
// reached it at its speed; over the pty its record's "in" lines, whatever the speed). rm7-sim
// records a byte when it reads it, so over the pty a last write rm7util did not wait an answer for
// may come a moment late: a row checks what was answered, or that nothing was sent at all.
struct RadioIntake {
    std::string received;
    std::size_t Count(std::string_view text) const;
};

struct CliRow {
    std::string name;
    Layer layer = Layer::kBoth;
    std::vector<std::string> words;  // after "rm7util"
    int status = 0;
    std::optional<std::string> out;  // the whole of standard output
    std::vector<std::string> outHas;
    std::optional<std::string> err;  // the whole of standard error
    std::vector<std::string> errHas;
    std::vector<std::string> errNot;
    std::vector<std::string> errOnce;  // each exactly once: no second layer says it again
    std::optional<int> hints;          // how many "hint: " lines
    // JSON pointers into standard output and their values.
    std::vector<std::pair<std::string, nlohmann::json>> json;
    // What the fields cannot say: the radio's intake, the files in {dir}.
    std::function<void(const CliOutcome&, const RadioIntake&, const Places&)> check;
};

struct CliGroup {
    std::string name;  // a test name: letters, digits and underscores
    Layer layer = Layer::kBoth;
    // rm7-sim's arguments; none: the rows need no radio (the pty layer starts none).
    std::optional<std::vector<std::string>> radio;
    // Files the rows read, written into {dir} before the radio starts.
    std::function<void(const std::filesystem::path& dir)> prepare;
    std::vector<CliRow> rows;
};

// gtest prints a group by its name (in the test list and ctest's names), not as bytes.
inline void PrintTo(const CliGroup& group, std::ostream* os) {
    *os << group.name;
}

// The whole table.
const std::vector<CliGroup>& CliGroups();

// Checks one row's outcome against what it expects; the row's own check last.
void CheckRow(const CliRow& row, const CliOutcome& outcome, const RadioIntake& intake, const Places& places);

// gtest's name for a group.
struct CliGroupName {
    std::string operator()(const testing::TestParamInfo<CliGroup>& info) const { return info.param.name; }
};

// Groups to run in a layer.
std::vector<CliGroup> CliGroupsFor(Layer layer);

}  // namespace rm7::test
