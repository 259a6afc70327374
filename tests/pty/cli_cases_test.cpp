// The cases both of rm7util's test layers run (tests/support/cli_cases.h), here as a person runs
// them: rm7util as a child process against rm7-sim over a real pty, one simulator a group.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "tests/pty/pty_support.h"
#include "tests/support/cli_cases.h"

namespace rm7::test {
namespace {

namespace fs = std::filesystem;

// What the radio took in: the bytes of its record's "in" lines ("%10llu %s %6u ", the bytes from
// column 22, escaped as \xHH).
std::string RecordedIntake(const fs::path& record) {
    std::istringstream lines(ReadAll(record));
    std::string bytes;
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 22 || line.compare(11, 3, "in ") != 0) {
            continue;
        }
        for (std::size_t i = 22; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
                bytes += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                bytes += line[i];
            }
        }
    }
    return bytes;
}

class CliCases : public ::testing::TestWithParam<CliGroup> {};

TEST_P(CliCases, OverPty) {
    const CliGroup& group = GetParam();
    CScratch scratch;
    Places places{"", scratch.Dir()};
    if (group.prepare) {
        group.prepare(scratch.Dir());
    }
    const fs::path record = scratch.Dir() / "radio.record";
    std::optional<CSimulator> sim;
    if (group.radio) {
        std::vector<std::string> args;
        for (const std::string& a : *group.radio) {
            args.push_back(places.Fill(a));
        }
        args.insert(args.end(), {"--record", record.string()});
        sim.emplace(args);
        ASSERT_FALSE(sim->Device().empty());
        places.port = sim->Device();
    }
    for (const CliRow& row : group.rows) {
        if (!RunsIn(row.layer, Layer::kPty)) {
            continue;
        }
        SCOPED_TRACE(row.name);
        std::vector<std::string> words;
        for (const std::string& w : row.words) {
            words.push_back(places.Fill(w));
        }
        const std::size_t before = RecordedIntake(record).size();
        const RunResult r = RunUtil(scratch, words);
        const RadioIntake intake{RecordedIntake(record).substr(before)};
        CheckRow(row, {r.status, r.out, r.err}, intake, places);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CliCases, ::testing::ValuesIn(CliGroupsFor(Layer::kPty)), CliGroupName());

}  // namespace
}  // namespace rm7::test
