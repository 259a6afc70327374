// rm7util's commands in this process, against the simulated radio on the in-memory port and a
// virtual clock: what each prints, its exit status, and what reached the radio.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/job_views.h"
#include "config/config_file.h"
#include "firmware/intel_hex.h"
#include "model/eeprom_map.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/manual_pump.h"
#include "platform/paths.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/wall_clock.h"
#include "sim/command_line.h"
#include "sim/make_firmware.h"
#include "sim/memory_port.h"
#include "sim/radio.h"
#include "tests/support/cli_cases.h"
#include "tests/support/example_config_file.h"
#include "tests/support/firmware_files.h"
#include "tests/support/temp_folder.h"

namespace rm7::cli {
namespace {

using test::CTempFolder;
using test::RandomBytes;
using test::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// The pump on a virtual clock. A signal is what the test says it is: Interrupt() calls the
// handler a critical job set, and tells whether one was set (without one rm7util would end).
class CManualLoop final : public IRunLoop {
  public:
    IMessagePump& Pump() override { return pump; }
    bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) override {
        return pump.AdvanceUntil(
            [&] {
                if (onStep) {
                    onStep();
                }
                return done();
            },
            timeoutMs);
    }
    void CatchInterrupts(std::function<void()> onInterrupt) override { m_onInterrupt = std::move(onInterrupt); }

    bool Interrupt() {
        if (!m_onInterrupt) {
            return false;
        }
        const std::function<void()> handler = m_onInterrupt;
        handler();
        return true;
    }

    CManualPump pump;
    // Called between events while a command runs: where a test steps in.
    std::function<void()> onStep;

  private:
    std::function<void()> m_onInterrupt;
};

class CRadioEnvironment final : public IEnvironment {
  public:
    explicit CRadioEnvironment(const rm7sim::Options& options) : radio(options), clockEpochMs(options.clockEpochMs) {}
    std::ostream& Out() override { return out; }
    std::ostream& Err() override { return err; }
    bool ErrIsTerminal() const override { return false; }
    IRunLoop& Loop() override { return loop; }
    std::unique_ptr<ISerialPort> MakePort() override {
        auto port = std::make_unique<CMemoryPort>(loop.pump, radio);
        if (refuseOpen != kOk) {
            port->FailNextOpen(refuseOpen);
        }
        return port;
    }
    // --simulate: the in-process radio stands in for the one rm7-sim would start.
    Result StartSimulator(const std::string&, std::string& device) override {
        device = "simulated";
        return kOk;
    }
    Result MakeFirmware(const std::filesystem::path& dir) override {
        std::string error;
        return rm7sim::MakeFirmware(dir.string(), error) ? kOk : kErrorWriteFault;
    }
    // The computer's clock runs with the pump's, from the moment the radio's clock started at.
    std::int64_t WallClockMs() override { return clockEpochMs + loop.pump.TickCount(); }

    std::ostringstream out;
    std::ostringstream err;
    CManualLoop loop;
    rm7sim::Radio radio;
    std::int64_t clockEpochMs;
    Result refuseOpen = kOk;
};

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

using Command = std::function<int(IEnvironment&, const GlobalOptions&)>;

std::filesystem::path BackupFolderUnder(const std::filesystem::path& data) {
    return data / "Tarnwell" / "RM7 Utility" / "backups";
}

// An MCU image without a reconciliation value, and what the radio's flash holds after its load.
struct McuFirmware {
    std::vector<std::uint8_t> image;
    std::vector<std::uint8_t> flash;
};

McuFirmware MakeMcu(std::uint32_t seed, const char* version) {
    McuFirmware fw;
    fw.image = test::McuImageBytes(seed, version);
    fw.flash = test::Reconciled(fw.image);
    return fw;
}

// A configuration file of radio 01234 with one run, as the desktop application writes it.
constexpr const char* kConfigFile = test::kExampleConfigFile;

class CliCommands : public ::testing::Test {
  protected:
    CliCommands() {
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        NewRadio({});
    }

    void NewRadio(const rm7sim::Options& options) { env = std::make_unique<CRadioEnvironment>(options); }
    rm7sim::Radio& Radio() { return env->radio; }
    CManualLoop& Loop() { return env->loop; }

    Outcome Run(const Command& command, bool json = false) {
        GlobalOptions options;
        options.port = "sim0";
        options.json = json;
        env->out.str("");
        env->err.str("");
        Outcome o;
        o.status = command(*env, options);
        o.out = env->out.str();
        o.err = env->err.str();
        return o;
    }
    // The whole command line, as rm7util reads it.
    Outcome Line(std::vector<std::string> words) {
        words.insert(words.begin(), "rm7util");
        std::vector<const char*> argv;
        for (const std::string& w : words) {
            argv.push_back(w.c_str());
        }
        env->out.str("");
        env->err.str("");
        Outcome o;
        o.status = RunCommandLine(*env, static_cast<int>(argv.size()), argv.data());
        o.out = env->out.str();
        o.err = env->err.str();
        return o;
    }
    nlohmann::json RunJson(const Command& command) {
        const Outcome o = Run(command, true);
        EXPECT_EQ(o.status, 0) << o.err;
        return nlohmann::json::parse(o.out);
    }

    std::filesystem::path Hex(const std::string& name, const std::vector<std::uint8_t>& bytes, std::uint32_t at) {
        const std::filesystem::path file = dir / name;
        test::WriteHexFile(file, bytes, at);
        return file;
    }
    std::size_t CommandsStartingWith(const std::string& prefix) const {
        std::size_t n = 0;
        for (const std::string& c : env->radio.ReceivedCommands()) {
            n += c.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    // Calls Loop().Interrupt() once the radio's progress reaches each of the marks, in order.
    void InterruptAt(std::function<std::size_t()> progress, std::vector<std::size_t> marks) {
        auto next = std::make_shared<std::size_t>(0);
        Loop().onStep = [this, progress, marks, next] {
            if (*next < marks.size() && progress() >= marks[*next]) {
                ++*next;
                EXPECT_TRUE(Loop().Interrupt()) << "nothing caught the signal";
            }
        };
    }

    CTempFolder dir;
    std::unique_ptr<CRadioEnvironment> env;
};

// The cases both layers run (tests/support/cli_cases.h), here against a radio started with the
// same arguments rm7-sim is given over the pty.
class CliCases : public CliCommands, public ::testing::WithParamInterface<test::CliGroup> {};

TEST_P(CliCases, InProcess) {
    const test::CliGroup& group = GetParam();
    const test::Places places{"sim0", dir.Path()};
    if (group.prepare) {
        group.prepare(dir.Path());
    }
    rm7sim::CommandLine simulator;
    if (group.radio) {
        std::vector<std::string> args = {"rm7-sim"};
        for (const std::string& a : *group.radio) {
            args.push_back(places.Fill(a));
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        ASSERT_FALSE(rm7sim::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), simulator));
    }
    NewRadio(simulator.options);
    for (const test::CliRow& row : group.rows) {
        if (!test::RunsIn(row.layer, test::Layer::kInProcess)) {
            continue;
        }
        SCOPED_TRACE(row.name);
        std::vector<std::string> words;
        for (const std::string& w : row.words) {
            words.push_back(places.Fill(w));
        }
        const std::size_t before = Radio().Received().size();
        const Outcome o = Line(words);
        const test::RadioIntake intake{
            std::string(Radio().Received().begin() + static_cast<std::ptrdiff_t>(before), Radio().Received().end())};
        test::CheckRow(row, {o.status, o.out, o.err}, intake, places);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CliCases, ::testing::ValuesIn(test::CliGroupsFor(test::Layer::kInProcess)),
                         test::CliGroupName());

// The radio goes away while send or macros run waits for its answer: what came before is
// printed, the failure is said once, and the status is 1.
TEST_F(CliCommands, SendAndMacrosRunSayARadioThatWentAwayOnce) {
    const struct {
        const char* name;
        Command run;
    } cases[] = {
        {"send", [](IEnvironment& e, const GlobalOptions& g) { return RunSend(e, g, "RVM;LDD20000;", 500); }},
        {"macros run", [](IEnvironment& e, const GlobalOptions& g) { return RunMacrosRun(e, g, 12, 500); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rm7sim::Options options;
        options.faults.unplugAtReset = true;
        NewRadio(options);
        ASSERT_EQ(Run([](IEnvironment& e, const GlobalOptions& g) {
                      return RunMacrosSet(e, g, 12, "GO", "RVM;LDD20000;");
                  }).status,
                  0);
        const Outcome o = Run(c.run);
        EXPECT_EQ(o.status, 1);
        EXPECT_THAT(o.out, ::testing::MatchesRegex("(RVM[0-9.]+;)?\n"));
        const std::string said = "The radio's serial port went away";
        ASSERT_THAT(o.err, HasSubstr(said));
        EXPECT_EQ(o.err.find(said), o.err.rfind(said)) << o.err;
    }
}

// Every command that needs the radio opens the session the same way: a radio that cannot be
// had is reported with its code, nothing is printed as a result, and the exit status is 1.
TEST_F(CliCommands, EveryRadioCommandSaysWhyTheRadioCouldNotBeHad) {
    const auto mcu = Hex("fmcu0288.hex", MakeMcu(1, "0288").image, rm7sim::Radio::kMcuLow);
    const std::filesystem::path config = dir / "radio.RM7Config";
    WriteFile(config, std::string(kConfigFile));
    const std::string folder = dir.Path().string();
    const struct {
        const char* name;
        Command run;
        bool listsAnyway;  // the folder is worth listing without the radio
    } commands[] = {
        {"info", RunInfo, false},
        {"send", [](IEnvironment& e, const GlobalOptions& g) { return RunSend(e, g, "I;", 100); }, false},
        {"config save",
         [&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, (dir / "s").string()); }, false},
        {"config restore",
         [&](IEnvironment& e, const GlobalOptions& g) { return RunConfigRestore(e, g, config.string(), false); },
         false},
        {"firmware send", [&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcu, ""); },
         false},
        {"firmware list", [&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareList(e, g, folder); }, true},
        {"firmware update",
         [&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareUpdate(e, g, false, folder); }, false},
        {"banner get", RunBannerGet, false},
        {"banner set", [](IEnvironment& e, const GlobalOptions& g) { return RunBannerSet(e, g, "HI"); }, false},
        {"cw get", RunCwGet, false},
        {"cw set", [](IEnvironment& e, const GlobalOptions& g) { return RunCwSet(e, g, 1, "CQ"); }, false},
        {"clock get", [](IEnvironment& e, const GlobalOptions& g) { return RunClockGet(e, g, {}); }, false},
        {"clock set", [](IEnvironment& e, const GlobalOptions& g) { return RunClockSet(e, g, {}); }, false},
    };
    const struct {
        const char* name;
        std::function<void(CRadioEnvironment&)> spoil;
        std::string says;
    } failures[] = {
        {"silent radio", [](CRadioEnvironment& e) { e.radio.SetSilent(true); },
         "rm7util: No radio answered on sim0 at 38400 to 4800 bit/s: is it switched on, is the cable "
         "in, is this the right port?\n\"rm7util ports\" lists this machine's serial devices.\n"},
        {"port refused", [](CRadioEnvironment& e) { e.refuseOpen = kErrorAccessDenied; },
         "rm7util: sim0: Permission denied\nhint: "},
        {"another device", {}, "rm7util: " + ErrorText(0xE200004E)},
    };
    for (const auto& failure : failures) {
        for (const auto& command : commands) {
            SCOPED_TRACE(std::string(failure.name) + ": " + command.name);
            rm7sim::Options options;
            if (!failure.spoil) {
                options.device = "R5";
            }
            NewRadio(options);
            if (failure.spoil) {
                failure.spoil(*env);
            }
            const Outcome o = Run(command.run);
            EXPECT_EQ(o.status, 1);
            EXPECT_THAT(o.err, HasSubstr(failure.says));
            EXPECT_THAT(o.err, Not(HasSubstr("after reset")));
            if (!command.listsAnyway) {
                EXPECT_EQ(o.out, "");
            }
            EXPECT_EQ(CommandsStartingWith("EW"), 0u);
            EXPECT_EQ(CommandsStartingWith("LD"), 0u);
        }
    }
}

// A radio with its own bytes in every configuration range.
void FillConfiguration(rm7sim::Radio& radio, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (const auto& range : kConfigurationRanges) {
        for (std::uint32_t a = range.start; a < range.start + range.length; ++a) {
            radio.Eeprom()[a] = static_cast<std::uint8_t>(rng());
        }
    }
}

std::vector<std::uint8_t> ConfigurationBytes(rm7sim::Radio& radio) {
    std::vector<std::uint8_t> bytes;
    for (const auto& range : kConfigurationRanges) {
        bytes.insert(bytes.end(), radio.Eeprom().begin() + range.start,
                     radio.Eeprom().begin() + range.start + range.length);
    }
    return bytes;
}

TEST_F(CliCommands, ConfigurationIsSavedCheckedAndRestored) {
    FillConfiguration(Radio(), 1);
    const std::vector<std::uint8_t> saved = ConfigurationBytes(Radio());
    const std::filesystem::path file = dir / "radio.RM7Config";
    Outcome o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, file.string()); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, file.string() + "\n");
    EXPECT_EQ(CommandsStartingWith("EW"), 0u) << "a save only reads";
    // The radio is contacted once: the save's own look for it, answered at once at the speed the
    // contact found, is no second contact in the log.
    EXPECT_EQ(o.err.find("Attempting to contact"), o.err.rfind("Attempting to contact")) << o.err;
    EXPECT_EQ(o.err.find("Connected to RM7"), o.err.rfind("Connected to RM7")) << o.err;
    EXPECT_NE(o.err.find("Connected to RM7"), std::string::npos) << o.err;

    const nlohmann::json verified =
        RunJson([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigVerify(e, g, file.string()); });
    EXPECT_EQ(verified["serial_number"], 1234);
    EXPECT_EQ(verified["runs"], kConfigurationRanges.size());
    EXPECT_EQ(verified["bytes"], saved.size());

    FillConfiguration(Radio(), 2);
    ASSERT_NE(ConfigurationBytes(Radio()), saved);
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigRestore(e, g, file.string(), false); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, HasSubstr("Configuration was restored"));
    EXPECT_EQ(ConfigurationBytes(Radio()), saved);
    EXPECT_EQ(CommandsStartingWith("LDD20000"), 1u) << "the radio is reset once";
}

TEST_F(CliCommands, FirmwareSendLoadsBothPartsExactlyAndChecksTheVersions) {
    const McuFirmware mcu = MakeMcu(5, "0288");
    const std::vector<std::uint8_t> dsp = test::DspImageBytes(20000, 6, "0291");
    const auto mcuFile = Hex("fmcu0288.hex", mcu.image, rm7sim::Radio::kMcuLow);
    const auto dspFile = Hex("fdsp0291.hex", dsp, 0);
    Outcome o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcuFile, dspFile); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "MCU firmware 02.88 loaded and verified\nDSP firmware 02.91 loaded and verified\n");
    EXPECT_EQ(Radio().McuFlash(), mcu.flash);
    EXPECT_EQ(Radio().DspFlash(), dsp);
    EXPECT_THAT(o.err, HasSubstr("MCU firmware: 100%"));

    // The radio runs another version than the file's name tells.
    const auto misnamed = Hex("fmcu0290.hex", MakeMcu(7, "0288").image, rm7sim::Radio::kMcuLow);
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, misnamed, ""); });
    EXPECT_EQ(o.status, 1);
    EXPECT_THAT(o.err, HasSubstr("RM7 responded with version 02.88"));
    // Said once, in the system's words, with what the radio runs and the way out on one hint line.
    EXPECT_THAT(o.err, HasSubstr("rm7util: firmware send: Version number verification failed\nhint: The radio runs "
                                 "MCU 02.88 and DSP 02.91. The configuration was backed up to "));
    EXPECT_THAT(o.err, Not(HasSubstr("Error code")));
    EXPECT_EQ(o.out, "");
    // --json: one object, the outcome's fields and the load's own.
    const Outcome failed =
        Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, misnamed, ""); }, true);
    EXPECT_EQ(failed.status, 1);
    const nlohmann::json json = nlohmann::json::parse(failed.out);
    EXPECT_EQ(json["result"], "failed");
    EXPECT_EQ(json["code"], "0xE2000046");
    EXPECT_EQ(json["radio"], "running");
    EXPECT_THAT(json["backup"].get<std::string>(), HasSubstr(".before-firmware.RM7Config"));
    EXPECT_THAT(json["text"].get<std::string>(), StartsWith("Failed to send MCU firmware: Version number verification "
                                                            "failed\nThe radio runs MCU 02.88"));
    EXPECT_EQ(json["mcu"]["result"], kErrVersionVerify);
    EXPECT_EQ(json["mcu"]["error"], "Version number verification failed");
}

// rm7util reads every file whole before it contacts the radio: a file it refuses costs the radio
// nothing, not even a poll, and `firmware check` refuses it with the same words.
TEST_F(CliCommands, HostileFirmwareFilesAreRefusedOrReadExactly) {
    using test::Record;
    const std::string eof = std::string(test::kEofRecord) + "\r\n";
    const McuFirmware mcu = MakeMcu(21, "0288");
    const std::vector<std::uint8_t> dsp = test::DspImageBytes(3000, 22, "0291");
    const std::string mcuHex = FormatIntelHex(mcu.image, rm7sim::Radio::kMcuLow);
    const std::string dspHex = FormatIntelHex(dsp, 0);
    const std::string cut = mcuHex.substr(0, mcuHex.size() / 2 + 7);  // as a copy that stopped half way
    const std::string dspRecords = Record(kHexData, 0x10, {1, 2, 3, 4}) + "\r\n" + Record(kHexData, 0x20, {5}) + "\r\n";
    const struct {
        const char* name;
        const char* file;
        std::string text;
        bool asMcu;
        std::string refusal;  // empty: loaded, and the radio holds exactly the file's image
    } cases[] = {
        {"empty image", "fdsp0291.hex", eof, false,
         "Line 1, error code 0xE2000222: Firmware file holds no data for this processor"},
        {"MCU data only outside its window", "fmcu0288.hex", Record(kHexData, 0x700, {1, 2}) + "\r\n" + eof, true,
         "Line 2, error code 0xE2000222: Firmware file holds no data for this processor"},
        {"MCU file as DSP firmware", "fmcu0288.hex", mcuHex, false,
         "Line 0, error code 0xE2000220: Firmware file name is not for this processor (fmcu*.hex for the MCU, "
         "fdsp*.hex for the DSP)"},
        {"DSP file as MCU firmware", "fdsp0291.hex", dspHex, true, "Line 0, error code 0xE2000220: "},
        {"no version in the name", "fmcu.hex", mcuHex, true,
         "Line 0, error code 0xE2000221: Firmware file name carries no version number"},
        {"overlapping records with other data", "fdsp0291.hex",
         dspRecords + Record(kHexData, 0x12, {3, 9}) + "\r\n" + eof, false,
         "Line 3, error code 0xE2000223: intel hex record overlaps an earlier record with different data"},
        {"a header line before the first record", "fdsp0291.hex", "DSP build 0291\r\n\r\n" + dspHex, false, ""},
        {"text between records", "fdsp0291.hex", dspRecords + "built 0291\r\n" + eof, false,
         "Line 3, error code 0xE2000020: intel hex line does not begin with the expected colon"},
        {"cut short in a record", "fmcu0288.hex", cut, true,
         StrFormat("Line %zu, error code 0xE200000B: Unexpected hex character",
                   1 + static_cast<std::size_t>(std::count(cut.begin(), cut.end(), '\n')))},
        {"byte-order mark before the first record", "fdsp0291.hex", "\xEF\xBB\xBF" + dspHex, false, ""},
        {"the same bytes given twice", "fdsp0291.hex", dspHex.substr(0, dspHex.size() - eof.size()) + dspHex, false,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NewRadio({});
        const std::filesystem::path file = dir / c.file;
        WriteFile(file, c.text);
        const Outcome check = Run([&](IEnvironment& e, const GlobalOptions& g) {
            return RunFirmwareCheck(e, g, {file.string()}, c.asMcu ? "mcu" : "dsp");
        });
        const Outcome send = Run([&](IEnvironment& e, const GlobalOptions& g) {
            return RunFirmwareSend(e, g, c.asMcu ? file.string() : "", c.asMcu ? "" : file.string());
        });
        if (!c.refusal.empty()) {
            EXPECT_EQ(check.status, 1);
            EXPECT_THAT(check.out, HasSubstr(c.refusal));
            EXPECT_EQ(send.status, 1);
            EXPECT_THAT(send.err, HasSubstr(file.string() + ": " + c.refusal));
            EXPECT_EQ(send.out, "");
            EXPECT_TRUE(Radio().ReceivedCommands().empty()) << "the radio was contacted";
            EXPECT_EQ(Radio().Packets(), 0u);
            continue;
        }
        EXPECT_EQ(check.status, 0) << check.out;
        ASSERT_EQ(send.status, 0) << send.err;
        EXPECT_EQ(Radio().DspFlash(), dsp);
    }
}

// JSON strings are UTF-8; names and typed text need not be. They come out escaped, and the
// document is valid JSON (the parser refuses anything else).
TEST_F(CliCommands, JsonStaysValidForNamesAndTextThatAreNotUtf8) {
    const std::filesystem::path folder = dir / "fw\xFF";
    std::filesystem::create_directory(folder);
    const auto dsp = Hex("fw\xFF/fdsp0291\xE9.hex", RandomBytes(100, 3), 0);
    Hex("fw\xFF/fmcu0288.hex", MakeMcu(23, "0288").image, rm7sim::Radio::kMcuLow);
    const std::string config = (dir / "radio\xFF.RM7Config").string();
    const std::string escapedDir = dir.Path().string();

    nlohmann::json json = RunJson(
        [&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareCheck(e, g, {dsp.string()}, "auto"); });
    EXPECT_EQ(json[0]["file"], escapedDir + "/fw\\xFF/fdsp0291\\xE9.hex");
    EXPECT_EQ(json[0]["accepted"], true);

    json = RunJson([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareList(e, g, folder.string()); });
    EXPECT_EQ(json["folder"], escapedDir + "/fw\\xFF");
    EXPECT_EQ(json["mcu"]["file"], escapedDir + "/fw\\xFF/fmcu0288.hex");
    EXPECT_EQ(json["dsp"]["file"], escapedDir + "/fw\\xFF/fdsp0291\\xE9.hex");

    json = RunJson([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, config); });
    EXPECT_EQ(json["file"], escapedDir + "/radio\\xFF.RM7Config");
    EXPECT_TRUE(std::filesystem::exists(config)) << "the file has the name it was given";
    json = RunJson([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigVerify(e, g, config); });
    EXPECT_EQ(json["file"], escapedDir + "/radio\\xFF.RM7Config");

    // The text has gone to the radio before anything is printed.
    json = RunJson([](IEnvironment& e, const GlobalOptions& g) { return RunSend(e, g, "\xFF\xE9;", 100); });
    EXPECT_EQ(json["sent"], "\\xFF\\xE9;");
    EXPECT_EQ(json["answer"], "?;");

    json = RunJson([](IEnvironment& e, const GlobalOptions& g) {
        GlobalOptions other = g;
        other.port = "sim\xFF";
        return RunInfo(e, other);
    });
    EXPECT_EQ(json["port"], "sim\\xFF");
}

TEST_F(CliCommands, FirmwareListAndUpdateCompareTheFolderWithTheRadio) {
    const McuFirmware mcu = MakeMcu(11, "0288");
    Hex("fmcu0288.hex", mcu.image, rm7sim::Radio::kMcuLow);
    Hex("fdsp0254.hex", test::DspImageBytes(2000, 12, "0254"), 0);
    const std::string folder = dir.Path().string();
    const Command list = [&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareList(e, g, folder); };
    const Command update = [&](IEnvironment& e, const GlobalOptions& g) {
        return RunFirmwareUpdate(e, g, false, folder);
    };

    nlohmann::json json = RunJson(list);
    EXPECT_EQ(json["radio"], "running");
    EXPECT_EQ(json["mcu"]["installed"], "02.54");
    EXPECT_EQ(json["mcu"]["available"], "02.88");
    EXPECT_EQ(json["mcu"]["newer"], true);
    EXPECT_EQ(json["dsp"]["newer"], false);

    Outcome o = Run(update);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "MCU firmware 02.88 loaded and verified\n");
    EXPECT_EQ(Radio().McuFlash(), mcu.flash);
    EXPECT_TRUE(Radio().DspFlash().empty()) << "the radio already runs this DSP version";

    o = Run(update);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(
        o.out,
        "Nothing newer to send: the RM7 runs MCU 02.88 and DSP 02.54; the folder holds MCU 02.88 and DSP 02.54\n");
    json = RunJson(update);
    EXPECT_EQ(json["nothing_newer"], true);
    EXPECT_EQ(json["installed"]["mcu"], "02.88");
    EXPECT_EQ(json["available"]["dsp"], "02.54");

    // A folder named on the command line that is not there is said so, not listed as empty.
    for (const std::string& missing : {folder + "/none", folder + "/fmcu0288.hex"}) {
        o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareList(e, g, missing); });
        EXPECT_EQ(o.status, 1) << missing;
        EXPECT_THAT(o.err, HasSubstr("Firmware folder " + missing)) << missing;
        EXPECT_EQ(o.out, "") << missing;
    }

    // A folder without MCU firmware: nothing is sent, the radio is not even contacted.
    NewRadio({});
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareUpdate(e, g, true, folder + "/none"); });
    EXPECT_EQ(o.status, 1);
    EXPECT_THAT(o.err, HasSubstr(folder + "/none: "));
    EXPECT_TRUE(Radio().ReceivedCommands().empty());
}

TEST_F(CliCommands, MacrosAreWrittenToTheRadioOrTheSettingsAndReadBack) {
    std::fill(Radio().Eeprom().begin() + 0x7500, Radio().Eeprom().begin() + 0x7900, 0xFF);
    Outcome o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 2, "  qrp ", "pc5;"); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, " 2 QRP      PC5;\n");
    EXPECT_EQ(std::string(Radio().Eeprom().begin() + 0x7580, Radio().Eeprom().begin() + 0x7584),
              std::string("QRP\0", 4));
    o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 12, "tune", "tx;"); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "12 tune     tx;\n");  // the settings keep it as typed

    const nlohmann::json json = RunJson(RunMacrosGet);
    ASSERT_EQ(json["macros"].size(), 16u);
    EXPECT_EQ(json["macros"][1],
              nlohmann::json({{"macro", 2}, {"label", "QRP"}, {"commands", "PC5;"}, {"in_radio", true}}));
    EXPECT_EQ(json["macros"][0]["label"], "");  // as the radio holds it
    EXPECT_EQ(json["macros"][11]["label"], "tune");
    EXPECT_EQ(json["macros"][12]["label"], "MACRO13");

    // run sends the macro as its button does and prints the answer as send does.
    Run([](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 3, "VER", "RVM;RVD;"); });
    const std::size_t before = Radio().ReceivedCommands().size();
    o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunMacrosRun(e, g, 3, 500); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, ::testing::MatchesRegex("RVM[0-9.]+;RVD[0-9.]+;\n"));
    const auto commands = Radio().ReceivedCommands();
    EXPECT_THAT(std::vector<std::string>(commands.end() - 2, commands.end()), ::testing::ElementsAre("RVM", "RVD"));
    EXPECT_GT(commands.size(), before);
    o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunMacrosRun(e, g, 5, 500); });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Macro 5 (MACRO5) holds no commands; rm7util macros set gives it some.\n");
}

// What a radio already holds is shown, never obeyed: an escape sequence in a label would drive the terminal.
TEST_F(CliCommands, MacrosGetShowsControlCharactersTheRadioHoldsAsEscapes) {
    std::fill(Radio().Eeprom().begin() + 0x7500, Radio().Eeprom().begin() + 0x7900, 0x00);
    const std::string label = "Q\x1b[2J";  // 7 bytes, in an 8-byte label
    const std::string text =
        "FA;\x07\x9b"
        "1m;";
    std::copy(label.begin(), label.end(), Radio().Eeprom().begin() + 0x7580);
    std::copy(text.begin(), text.end(), Radio().Eeprom().begin() + 0x7588);
    const Outcome o = Run(RunMacrosGet);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, HasSubstr(" 2 Q\\x1B[2J FA;\\x07"));
    for (const char c : o.out) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte != 0x7F)) << "raw byte " << int(byte) << " in\n" << o.out;
    }
}

TEST_F(CliCommands, MacrosTheRadioCannotStoreAreRefusedBeforeItIsTouched) {
    const struct {
        const char* name;
        Command run;
        std::string err;
    } cases[] = {
        {"label", [](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 1, "NINECHARS", ""); },
         "Macro Label 1 must be no longer than 8 characters\nrm7util: " + ErrorText(0xE2000240)},
        {"commands",
         [](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 8, "X", std::string(121, 'F')); },
         "Macro Commands 8 must be no longer than 120 characters\nrm7util: " + ErrorText(0xE2000240)},
        {"character",
         [](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 4, "EUR", "\xE2\x82\xAC"); },
         "Macro Commands 4 holds a character the RM7 cannot store"},
        // Control characters, in the radio's macros and the settings' alike.
        {"control in a label",
         [](IEnvironment& e, const GlobalOptions& g) {
             return RunMacrosSet(e, g, 5,
                                 "a\x01"
                                 "b",
                                 "FA;");
         },
         "Macro 5 label holds a control character (\"a\\x01b\"): only printable text can be stored\n"
         "rm7util: " +
             ErrorText(0xE2000241)},
        {"escape in commands",
         [](IEnvironment& e, const GlobalOptions& g) { return RunMacrosSet(e, g, 5, "CLR", "FA;\x1B[2J"); },
         "Macro 5 commands holds a control character (\"FA;\\x1B[2J\")"},
        {"C1 in a settings macro",
         [](IEnvironment& e, const GlobalOptions& g) {
             return RunMacrosSet(e, g, 12, "CSI",
                                 "\xC2\x9B"
                                 "2J");
         },
         "Macro 12 commands holds a control character (\"\\x9B"
         "2J\")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = Run(c.run);
        EXPECT_EQ(o.status, 1);
        EXPECT_THAT(o.err, HasSubstr(c.err));
        EXPECT_EQ(o.out, "");
    }
    EXPECT_TRUE(Radio().ReceivedCommands().empty());
    // Macros 9 to 16 never reach the radio: any length is kept.
    const Outcome o = Run([](IEnvironment& e, const GlobalOptions& g) {
        return RunMacrosSet(e, g, 9, "LONG LABEL", std::string(200, 'F'));
    });
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(Radio().ReceivedCommands().empty());
}

// 2026-12-10 10:00:00 UTC and 2026-12-11 00:00:05 UTC.
constexpr std::int64_t kMorningMs = 1796896800000;
constexpr std::int64_t kJustAfterMidnightMs = 1796947205000;

rm7sim::Options ClockAhead(std::int64_t epochMs, std::int64_t offsetMs) {
    rm7sim::Options options;
    options.clockEpochMs = epochMs;
    options.clockOffsetMs = offsetMs;
    return options;
}

// Radio minus computer, in whole seconds as the radio's display shows them.
int RadioAhead(rm7sim::Radio& radio, std::int64_t epochMs, std::uint32_t now) {
    int d = radio.ClockSecondsOfDay(now) - TimeOfDayAt(epochMs + now, true).SecondsOfDay();
    return d > 43200 ? d - 86400 : d <= -43200 ? d + 86400 : d;
}

TEST_F(CliCommands, ClockGetShowsTheDifferenceAndSetRemovesIt) {
    NewRadio(ClockAhead(kMorningMs, 3725000));
    const nlohmann::json before =
        RunJson([](IEnvironment& e, const GlobalOptions& g) { return RunClockGet(e, g, {}); });
    EXPECT_EQ(before["difference"], 3725);
    EXPECT_EQ(before["clock"], "UTC");
    EXPECT_FALSE(Radio().InTimeMenu());
    EXPECT_EQ(Radio().ReceivedCommands().back(), "MN255");

    Outcome o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunClockSet(e, g, {}); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, HasSubstr("Difference: +00:00:00"));
    EXPECT_EQ(RadioAhead(Radio(), kMorningMs, Loop().pump.TickCount()), 0);
    EXPECT_FALSE(Radio().InTimeMenu());
    EXPECT_EQ(Radio().ReceivedCommands().back(), "MN255");
    EXPECT_EQ(CommandsStartingWith("MN255"), 2u);
    EXPECT_EQ(CommandsStartingWith("SWT"), 3u);  // seconds, minutes, hours: one pass each

    o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunClockGet(e, g, {}); });
    EXPECT_THAT(o.out, HasSubstr("Computer:   "));
    EXPECT_THAT(o.out, HasSubstr(" UTC\nDifference: +00:00:00 (radio minus computer)\n"));
}

TEST_F(CliCommands, ClockFailuresLeaveTheMenuAndTheClockAsItWas) {
    const struct {
        const char* name;
        rm7sim::Options options;
        std::function<void(rm7sim::Radio&)> spoil;
        Result code;
        int ahead;  // afterwards
    } cases[] = {
        {"display without a time", ClockAhead(kMorningMs, 3725000),
         [](rm7sim::Radio& r) { r.SetDisplayAnswer("DS@@@@@@@@;"); }, kErrNoResponseDS, 3725},
        {"clock that does not follow", ClockAhead(kMorningMs, 3725000), [](rm7sim::Radio& r) { r.SetClockStuck(true); },
         kErrClockNotFollowing, 3725},
        {"across midnight", ClockAhead(kJustAfterMidnightMs, -15000), {}, kErrClockAcrossMidnight, -15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NewRadio(c.options);
        if (c.spoil) {
            c.spoil(Radio());
        }
        const Outcome o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunClockSet(e, g, {}); });
        EXPECT_EQ(o.status, 1);
        // Said once, after the contact: the command, why, and the radio's state on the hint line.
        const std::string says =
            "rm7util: clock set: " + ErrorText(c.code) + "\nhint: The radio answers and runs its firmware.";
        EXPECT_THAT(o.err, HasSubstr(says));
        EXPECT_EQ(o.err.find("rm7util:"), o.err.rfind("rm7util:")) << o.err;
        EXPECT_THAT(o.err, Not(HasSubstr("Error code")));
        EXPECT_FALSE(Radio().InTimeMenu());
        EXPECT_EQ(Radio().ReceivedCommands().back(), "MN255");
        EXPECT_EQ(CommandsStartingWith("MN255"), 1u);
        EXPECT_EQ(RadioAhead(Radio(), c.options.clockEpochMs, Loop().pump.TickCount()), c.ahead);
        // Bounded: a read, at most 20 passes, a read to check.
        EXPECT_LE(CommandsStartingWith("MN073"), 22u);
    }

    // Ctrl+C ends the set after the pass in hand, never inside the menu.
    NewRadio(ClockAhead(kMorningMs, 3725000));
    Loop().onStep = [this, caught = false]() mutable {
        if (!caught && CommandsStartingWith("SWT") > 0) {
            caught = true;
            EXPECT_TRUE(Loop().Interrupt());
        }
    };
    Outcome o = Run([](IEnvironment& e, const GlobalOptions& g) { return RunClockSet(e, g, {}); });
    Loop().onStep = {};
    EXPECT_EQ(o.status, kExitStopped);
    EXPECT_THAT(o.err,
                HasSubstr("rm7util: clock set: Setting the radio's clock was cancelled\nhint: The radio answers and "
                          "runs its firmware. Read the radio's clock again to see what it shows\n"));
    EXPECT_EQ(Radio().ReceivedCommands().back(), "MN255");
    EXPECT_EQ(CommandsStartingWith("SWT"), 1u);
    EXPECT_FALSE(Loop().Interrupt());  // the signals have their default back

    // Asked to, the set goes across midnight and says what is left to do.
    NewRadio(ClockAhead(kJustAfterMidnightMs, -15000));
    o = Run([](IEnvironment& e, const GlobalOptions& g) {
        ClockOptions clock;
        clock.acrossMidnight = true;
        return RunClockSet(e, g, clock);
    });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, HasSubstr("set the radio's date"));
    EXPECT_EQ(RadioAhead(Radio(), kJustAfterMidnightMs, Loop().pump.TickCount()), 0);
}

// Outside a firmware load or a restore nothing catches the signals: they end rm7util as ever.
TEST_F(CliCommands, SignalsAreCaughtOnlyWhileACriticalJobRuns) {
    bool caught = false;
    Loop().onStep = [&] { caught = caught || Loop().Interrupt(); };
    const Outcome o = Run(RunInfo);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_FALSE(caught);

    const auto mcuFile = Hex("fmcu0288.hex", MakeMcu(13, "0288").image, rm7sim::Radio::kMcuLow);
    bool caughtInLoad = false;
    Loop().onStep = [&] {
        if (Radio().Packets() > 10 && !caughtInLoad) {
            caughtInLoad = Loop().Interrupt();
        }
    };
    ASSERT_EQ(Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcuFile, ""); }).status,
              0);
    EXPECT_TRUE(caughtInLoad);
    EXPECT_FALSE(Loop().Interrupt()) << "the load has ended";
}

TEST_F(CliCommands, SignalsDuringAFirmwareLoadWarnAndASecondSoonAfterStopsIt) {
    const McuFirmware mcu = MakeMcu(15, "0288");
    const auto mcuFile = Hex("fmcu0288.hex", mcu.image, rm7sim::Radio::kMcuLow);
    const struct {
        const char* name;
        std::vector<std::size_t> atPackets;
        int status;
        int warnings;
    } cases[] = {
        {"one signal", {100}, 0, 1},
        {"two close together", {100, 101}, kExitStopped, 1},
        // 10 ms an answer: 700 packets are 7 s, longer than the window.
        {"two far apart", {100, 800}, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rm7sim::Options options;
        options.latencyMs = 10;
        NewRadio(options);
        InterruptAt([this] { return Radio().Packets(); }, c.atPackets);
        const Outcome o =
            Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcuFile, ""); });
        EXPECT_EQ(o.status, c.status) << o.err;
        std::size_t warnings = 0;
        for (std::size_t at = 0; (at = o.err.find("Critical Operation in Progress\n", at)) != std::string::npos; ++at) {
            ++warnings;
        }
        EXPECT_EQ(warnings, static_cast<std::size_t>(c.warnings));
        EXPECT_THAT(o.err,
                    HasSubstr("rm7util: firmware send goes on. Press Ctrl-C again within 5 seconds to stop it."));
        if (c.status == 0) {
            EXPECT_EQ(Radio().McuFlash(), mcu.flash);
            EXPECT_EQ(o.out, "MCU firmware 02.88 loaded and verified\n");
            continue;
        }
        EXPECT_THAT(o.err, HasSubstr("rm7util: firmware send stops at its next step.\n"));
        // Stopped between packets: the contact that follows finds the boot loader inside its download.
        // One outcome line and one hint line.
        EXPECT_THAT(
            o.err,
            HasSubstr(
                "rm7util: firmware send: MCU firmware load was cancelled\nhint: The radio waits in its boot loader. "
                "The configuration was backed up to "));
        EXPECT_THAT(o.err, HasSubstr(". Run `rm7util firmware send --mcu " + mcuFile.string() + "` again.\n"));
        EXPECT_THAT(o.err, Not(HasSubstr("Error code")));
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(Radio().InBootLoader());
        EXPECT_LE(Radio().Packets(), 102u) << "the load stops at the next packet";
    }
}

// A load stopped or cut off at its most dangerous moments: what the radio is found doing is
// said (never assumed), the way out is named, and the load it names finishes the job once the
// cable is back.
TEST_F(CliCommands, AStoppedOrCutOffLoadSaysWhatTheRadioDoesAndTheNextSendFinishesIt) {
    const McuFirmware mcu = MakeMcu(31, "0288");
    const auto mcuFile = Hex("fmcu0288.hex", mcu.image, rm7sim::Radio::kMcuLow);
    const std::vector<std::uint8_t> dsp = test::DspImageBytes(6000, 32, "0291");
    const auto dspFile = Hex("fdsp0291.hex", dsp, 0);
    enum class Left { McuRunning, BootLoader, DspLoad };
    const struct {
        const char* name;
        bool dspPart;
        const char* signalsWhen;  // two signals in quick succession once this is said (nullptr: none)
        int unplugAfterPackets;
        int status;
        std::string told;  // the outcome line and the start of the hint
        std::string way;   // the hint's end: what to do next
        Left left;
    } cases[] = {
        // While the radio restarts into its new firmware.
        {"two signals in the reset wait", false, "Waiting 8 seconds for reset", -1, kExitStopped,
         "rm7util: firmware send: MCU firmware load was cancelled\nhint: The radio runs MCU 02.88, the file's version. "
         "The configuration "
         "was backed up to ",
         ".before-firmware.RM7Config\n", Left::McuRunning},
        {"MCU: unplugged between packets", false, nullptr, 300, 1,
         "rm7util: firmware send: The radio's serial port went away (cable or adapter unplugged)\nhint: The radio "
         "does not answer: its boot loader may be waiting in the middle of the load. The configuration was backed "
         "up to ",
         ". Plug the cable back in and run `rm7util firmware send --mcu " + mcuFile.string() +
             "` again: the radio's boot loader is found again.\n",
         Left::BootLoader},
        {"DSP: two signals between chunks", true, "DSP firmware: 25%", -1, kExitStopped,
         "rm7util: firmware send: DSP firmware load was cancelled\nhint: The radio waits for the rest of its DSP "
         "firmware. The "
         "configuration was backed up to ",
         ". Turn the radio off and on, then run `rm7util firmware send --dsp " + dspFile.string() + "` again.\n",
         Left::DspLoad},
        {"DSP: unplugged between chunks", true, nullptr, 20, 1,
         "rm7util: firmware send: The radio's serial port went away (cable or adapter unplugged)\nhint: The radio "
         "does not answer. The configuration was backed up to ",
         ". Plug the cable back in, turn the radio off and on, and run `rm7util firmware send --dsp " +
             dspFile.string() + "` again: the DSP load starts over.\n",
         Left::DspLoad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rm7sim::Options options;
        options.latencyMs = 10;  // each packet its own moment, so a signal can come between two
        options.faults.unplugAfterPackets = c.unplugAfterPackets;
        NewRadio(options);
        const std::string mcuArg = c.dspPart ? "" : mcuFile.string();
        const std::string dspArg = c.dspPart ? dspFile.string() : "";
        if (c.signalsWhen != nullptr) {
            Loop().onStep = [this, when = std::string(c.signalsWhen), done = false]() mutable {
                if (!done && env->err.str().find(when) != std::string::npos) {
                    done = true;
                    EXPECT_TRUE(Loop().Interrupt());
                    EXPECT_TRUE(Loop().Interrupt());
                }
            };
        }
        const Outcome o =
            Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcuArg, dspArg); });
        Loop().onStep = nullptr;
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_THAT(o.err, HasSubstr(c.told));
        EXPECT_TRUE(o.err.ends_with(c.way)) << o.err;
        EXPECT_THAT(o.err, Not(HasSubstr("Error code")));
        // Said once: no contact repeats a port that went away.
        const std::size_t gone = o.err.find("went away");
        EXPECT_EQ(gone == std::string::npos ? 0 : 1 + (o.err.find("went away", gone + 1) != std::string::npos),
                  c.unplugAfterPackets < 0 ? 0 : 1)
            << o.err;
        EXPECT_EQ(o.out, "");
        switch (c.left) {
            case Left::McuRunning:
                EXPECT_FALSE(Radio().InBootLoader());
                EXPECT_EQ(Radio().McuVersion(), 288);
                EXPECT_EQ(Radio().McuFlash(), mcu.flash);
                break;
            case Left::BootLoader:
                EXPECT_TRUE(Radio().InBootLoader());
                break;
            case Left::DspLoad:
                EXPECT_TRUE(Radio().InDspLoad());
                break;
        }

        Radio().PlugIn();
        if (c.left == Left::DspLoad) {
            Radio().PowerCycle(Loop().pump.TickCount());
        }
        const Outcome again =
            Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcuArg, dspArg); });
        ASSERT_EQ(again.status, 0) << again.err;
        if (c.dspPart) {
            EXPECT_EQ(Radio().DspFlash(), dsp);
            EXPECT_EQ(again.out, "DSP firmware 02.91 loaded and verified\n");
        } else {
            EXPECT_EQ(Radio().McuFlash(), mcu.flash);
            EXPECT_EQ(again.out, "MCU firmware 02.88 loaded and verified\n");
        }
    }
}

// The cable pulled while a save reads or a restore writes the configuration's blocks: the code
// is said, a save leaves no file, and the same command once the cable is back does the job whole.
TEST_F(CliCommands, UnplugWhileConfigurationBlocksFlowIsSaidAndTheNextRunDoesTheJob) {
    const std::filesystem::path file = dir / "radio.RM7Config";
    FillConfiguration(Radio(), 5);
    ASSERT_EQ(Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, file.string()); }).status,
              0);
    const std::vector<std::uint8_t> saved = ConfigurationBytes(Radio());
    // A save's reads: also those of the backup a restore makes first.
    const auto blocksRead = static_cast<int>(CommandsStartingWith("ER"));

    // Restore: the radio holds other settings, and the cable goes after its 10th block written.
    rm7sim::Options options;
    options.faults.unplugAfterBlocks = blocksRead + 10;
    NewRadio(options);
    FillConfiguration(Radio(), 6);
    Outcome o =
        Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigRestore(e, g, file.string(), true); });
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_THAT(o.err, HasSubstr("rm7util: config restore: The radio's serial port went away (cable or adapter "
                                 "unplugged)\nhint: The radio's configuration is partly written."));
    EXPECT_THAT(o.err, Not(HasSubstr("Configuration was restored")));
    EXPECT_NE(ConfigurationBytes(Radio()), saved);
    EXPECT_EQ(CommandsStartingWith("LDD20000"), 0u) << "a restore cut off never resets the radio";
    Radio().PlugIn();
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigRestore(e, g, file.string(), true); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ConfigurationBytes(Radio()), saved);

    // Save: the cable goes after 10 blocks read; no file is left, an earlier one is kept.
    const std::filesystem::path fresh = dir / "fresh.RM7Config";
    options.faults.unplugAfterBlocks = 10;
    NewRadio(options);
    FillConfiguration(Radio(), 5);
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, fresh.string()); });
    EXPECT_EQ(o.status, 1) << o.err;
    // Said once, at the end, with the radio's state.
    EXPECT_THAT(o.err, HasSubstr("\nrm7util: config save: The radio's serial port went away (cable or adapter "
                                 "unplugged)\nhint: Nothing on the radio was changed.\n"));
    EXPECT_EQ(o.err.find("went away"), o.err.rfind("went away")) << o.err;
    EXPECT_FALSE(std::filesystem::exists(fresh));
    Radio().PlugIn();
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, fresh.string()); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ConfigurationBytes(Radio()), saved);
    EXPECT_TRUE(std::filesystem::exists(fresh));
}

TEST_F(CliCommands, SignalsDuringARestoreWarnAndASecondSoonAfterStopsIt) {
    const std::filesystem::path file = dir / "radio.RM7Config";
    rm7sim::Options options;
    options.latencyMs = 10;  // each block its own moment, so a signal can come between two
    NewRadio(options);
    FillConfiguration(Radio(), 3);
    ASSERT_EQ(Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, file.string()); }).status,
              0);
    const std::vector<std::uint8_t> saved = ConfigurationBytes(Radio());
    const struct {
        const char* name;
        std::vector<std::size_t> atBlocks;
        int status;
    } cases[] = {
        {"one signal", {5}, 0},
        {"two close together", {5, 6}, kExitStopped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FillConfiguration(Radio(), 4);
        const std::size_t blocksBefore = CommandsStartingWith("EW");
        const std::size_t resetsBefore = CommandsStartingWith("LDD20000");
        InterruptAt([&] { return CommandsStartingWith("EW") - blocksBefore; }, c.atBlocks);
        const Outcome o =
            Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigRestore(e, g, file.string(), false); });
        Loop().onStep = nullptr;
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_THAT(o.err, HasSubstr("Critical Operation in Progress\nrm7util: config restore goes on. Press "
                                     "Ctrl-C again within 5 seconds to stop it.\n"));
        if (c.status == 0) {
            EXPECT_EQ(ConfigurationBytes(Radio()), saved);
            EXPECT_EQ(CommandsStartingWith("LDD20000"), resetsBefore + 1);
            continue;
        }
        // Said once, at the end: stopped, the radio's state, the backup made, what to do next.
        EXPECT_THAT(o.err, HasSubstr("rm7util: config restore stops at its next step.\n"));
        const std::string line = "rm7util: config restore: Restore configuration was cancelled\n";
        const std::size_t said = o.err.find(line);
        ASSERT_NE(said, std::string::npos) << o.err;
        const std::string hint = o.err.substr(said + line.size());
        EXPECT_THAT(hint,
                    testing::StartsWith("hint: The radio's configuration is partly written. The configuration was "
                                        "backed up to " +
                                        BackupFolderUnder(dir / "data").string() + "/SN01234."));
        EXPECT_THAT(hint,
                    testing::EndsWith(" Turn the radio off and back on, then restore the configuration again.\n"));
        EXPECT_EQ(std::count(hint.begin(), hint.end(), '\n'), 1) << "at most one hint line";
        EXPECT_THAT(o.err, Not(HasSubstr("Configuration was restored")));
        EXPECT_LE(CommandsStartingWith("EW") - blocksBefore, 7u) << "the restore stops at the next block";
        EXPECT_NE(ConfigurationBytes(Radio()), saved);
        EXPECT_EQ(CommandsStartingWith("LDD20000"), resetsBefore) << "a stopped restore never resets the radio";
    }
}

}  // namespace
}  // namespace rm7::cli

namespace rm7::cli {
namespace {

TEST_F(CliCommands, FirmwareNotesPrintTheReleaseNotesAsPlainText) {
    const std::filesystem::path folder = dir / "fw";
    std::filesystem::create_directories(folder);
    Outcome o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareNotes(e, g, folder.string()); });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Unable to open Firmware Release Notes \"" + (folder / "ffwnotes.rtf").string() +
                         "\"\nNo such file or directory\n");
    EXPECT_EQ(o.out, "");

    std::filesystem::copy_file(RM7_RTF_SAMPLE, folder / "ffwnotes.rtf");
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareNotes(e, g, folder.string()); });
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, ::testing::StartsWith("RM7 Firmware Release Notes\n\nMCU 02.90, DSP 02.90\n"));
    EXPECT_THAT(o.out, ::testing::HasSubstr("\u2022\tFixed: the SWR alarm no longer sounds at power-on.\n"));
    const nlohmann::json json =
        RunJson([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareNotes(e, g, folder.string()); });
    EXPECT_EQ(json["text"], o.out);
    // The radio is not needed for the notes.
    EXPECT_TRUE(Radio().ReceivedCommands().empty());
}

TEST_F(CliCommands, FirmwareFetchCopiesWhatIsNewerFromAMirror) {
    const std::filesystem::path folder = dir / "fw";
    const std::filesystem::path mirror = dir / "usb" / "RM7" / "firmware";
    std::filesystem::create_directories(mirror);
    const std::string goodHex = ":0400000001020304F2\r\n:00000001FF\r\n";
    std::ofstream(mirror / "fdsp0300.hex", std::ios::binary) << goodHex;
    std::ofstream(mirror / "fmcu0300.hex", std::ios::binary) << ":0400000001020304F2\r\n";  // no end record
    std::ofstream(mirror / "ffwnotes.rtf", std::ios::binary) << "{\\rtf1 notes}";
    const std::string server = "file://" + (dir / "usb").string();
    auto fetch = [&](const std::string& url) {
        return
            [&, url](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareFetch(e, g, folder.string(), url); };
    };

    // A refused file makes the run a failure, though the good ones are kept.
    const Outcome o = Run(fetch(server));
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_THAT(o.err, ::testing::HasSubstr("File verified fdsp0300.hex\nCopied fdsp0300.hex from Tarnwell\n"));
    EXPECT_THAT(o.err, ::testing::HasSubstr("File fmcu0300.hex verify failed\nUnable to copy file fmcu0300.hex: "
                                            "Line 2, error code 0xE2000023: Missing intel hex end-of-file record\n"));
    EXPECT_THAT(
        o.err, ::testing::HasSubstr("Copied 2 files from Tarnwell to " + folder.string() + "\nRefused 1 of 3 files\n"));
    EXPECT_FALSE(std::filesystem::exists(folder / "fmcu0300.hex"));
    EXPECT_TRUE(Radio().ReceivedCommands().empty());

    // What the folder has is not fetched again; the damaged file is refused again, and the notes
    // come along with it.
    const Outcome again = Run(fetch(server), true);
    EXPECT_EQ(again.status, 1);
    nlohmann::json json = nlohmann::json::parse(again.out);
    EXPECT_EQ(json["result"], "failed");
    EXPECT_EQ(json["copied"], nlohmann::json::array({"ffwnotes.rtf"}));
    ASSERT_EQ(json["refused"].size(), 1u);
    EXPECT_EQ(json["refused"][0]["file"], "fmcu0300.hex");
    EXPECT_EQ(json["code"], "0xE2000023");

    const Outcome refused = Run(fetch("http://127.0.0.1/"), true);
    EXPECT_EQ(refused.status, 1);
    json = nlohmann::json::parse(refused.out);
    EXPECT_EQ(json["result"], "failed");
    EXPECT_EQ(json["code"], "0x00002EE6");

    // Said once at the end: the refused file with why, then what was kept.
    EXPECT_THAT(o.err,
                HasSubstr("rm7util: firmware fetch: refused 1 of 3 files (fmcu0300.hex: Line 2, error code "
                          "0xE2000023: Missing intel hex end-of-file record)\nhint: Copied 2 files that passed the "
                          "check\n"));

    // A signal stops the fetch: nothing more is copied, and it exits as every stopped job does.
    std::filesystem::remove_all(folder);
    bool caught = false;
    Loop().onStep = [&] { caught = caught || Loop().Interrupt(); };
    const Outcome stopped = Run(fetch(server));
    Loop().onStep = nullptr;
    EXPECT_TRUE(caught);
    EXPECT_EQ(stopped.status, kExitStopped) << stopped.err;
    EXPECT_THAT(stopped.err, HasSubstr("rm7util: firmware fetch: Copying from the file server was cancelled"));
    EXPECT_FALSE(std::filesystem::exists(folder / "fdsp0300.hex"));
    EXPECT_FALSE(Loop().Interrupt());  // the signals have their default back
}

TEST_F(CliCommands, AStoppedFetchExitsAsAStoppedJobAndKeepsNothing) {
    const std::filesystem::path folder = dir / "fw";
    const std::filesystem::path mirror = dir / "usb" / "RM7" / "firmware";
    std::filesystem::create_directories(mirror);
    std::ofstream(mirror / "fdsp0300.hex", std::ios::binary) << ":0400000001020304F2\r\n:00000001FF\r\n";
    Loop().onStep = [this, caught = false]() mutable {
        if (!caught) {
            caught = true;
            EXPECT_TRUE(Loop().Interrupt());
        }
    };
    const Outcome o = Run(
        [&](IEnvironment& e, const GlobalOptions& g) {
            return RunFirmwareFetch(e, g, folder.string(), "file://" + (dir / "usb").string());
        },
        true);
    Loop().onStep = {};
    EXPECT_EQ(o.status, kExitStopped) << o.err;
    EXPECT_EQ(nlohmann::json::parse(o.out)["result"], "cancelled");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(CliCommands, SimulateUsesScratchFirmwareAndLeavesTheSavedFolderAlone) {
    const std::filesystem::path scratchParent = dir / "tmp";
    std::filesystem::create_directories(scratchParent);
    setenv("TMPDIR", scratchParent.c_str(), 1);
    const std::filesystem::path saved = dir / "saved-fw";
    std::filesystem::create_directories(saved);
    {
        CSettingsStore settings(SettingsFilePath());
        settings.Load();
        ASSERT_EQ(settings.WriteString("", "FirmwareFolder", saved.string()), kOk);
        ASSERT_EQ(settings.Save(), kOk);
    }

    // The notes and the firmware come from the scratch folder, not from the saved one.
    Outcome o = Line({"--simulate", "firmware", "notes"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, HasSubstr("MCU 03.00, DSP 03.00"));
    o = Line({"--simulate", "--json", "firmware", "fetch"});
    EXPECT_EQ(o.status, 0) << o.err;
    const nlohmann::json json = nlohmann::json::parse(o.out);
    EXPECT_EQ(json["result"], "done");
    EXPECT_EQ(json["copied"], nlohmann::json::array());
    EXPECT_THAT(o.err, HasSubstr("Open connection to file://" + scratchParent.string() + "/rm7-simulate-"));

    // Nothing of the run is left, and the saved folder is as it was.
    EXPECT_TRUE(std::filesystem::is_empty(scratchParent));
    EXPECT_TRUE(std::filesystem::is_empty(saved));
    CSettingsStore settings(SettingsFilePath());
    settings.Load();
    std::string folder;
    EXPECT_EQ(settings.ReadString("", "FirmwareFolder", folder), kOk);
    EXPECT_EQ(folder, saved.string());
    unsetenv("TMPDIR");
}

// A simulated radio is not the user's: its backups go to the run's scratch folder, gone with it.
TEST_F(CliCommands, ASimulatedRadiosBackupsStayOutOfTheUsersBackups) {
    const std::filesystem::path scratchParent = dir / "tmp";
    std::filesystem::create_directories(scratchParent);
    setenv("TMPDIR", scratchParent.c_str(), 1);
    const std::filesystem::path file = dir / "radio.RM7Config";
    ASSERT_EQ(Line({"--port", "sim0", "config", "save", file.string()}).status, 0);
    const Outcome o = Line({"--simulate", "config", "restore", file.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, HasSubstr("The configuration was backed up to " + scratchParent.string() + "/rm7-simulate-"));
    EXPECT_FALSE(std::filesystem::exists(BackupFolderUnder(dir / "data")));
    EXPECT_TRUE(std::filesystem::is_empty(scratchParent));
    unsetenv("TMPDIR");
}

// What rm7-sim --make-firmware writes is a mirror as it stands: the files in the folder itself.
TEST_F(CliCommands, AFolderHoldingTheFilesIsAMirror) {
    const std::filesystem::path mirror = dir / "mirror";
    const std::filesystem::path folder = dir / "fw";
    std::filesystem::create_directories(folder);
    ASSERT_EQ(env->MakeFirmware(mirror), kOk);
    const std::vector<std::string> fetch = {"firmware", "fetch",        "--server", "file://" + mirror.string(),
                                            "--folder", folder.string()};
    Outcome o = Line(fetch);
    ASSERT_EQ(o.status, 0) << o.err;
    // What was copied is said on standard output, a line a file.
    for (const char* name : {"fmcu0300.hex", "fdsp0300.hex", "ffwnotes.rtf"}) {
        EXPECT_EQ(test::ReadFile(folder / name), test::ReadFile(mirror / name)) << name;
        EXPECT_THAT(o.out, HasSubstr(std::string("Copied ") + name + "\n"));
    }
    o = Line(fetch);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "Nothing newer on the file server\n");
}

TEST_F(CliCommands, EveryHelpShowsTheGlobalOptionsAndTheExitStatuses) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"info", "--help"}, {"firmware", "list", "--help"}, {"config", "restore", "--help"}}) {
        const Outcome o = Line(words);
        const std::string line = ::testing::PrintToString(words);
        EXPECT_EQ(o.status, 0) << line;
        EXPECT_THAT(o.out, HasSubstr("Global options (before or after the command):")) << line;
        EXPECT_THAT(o.out, HasSubstr("--port DEV")) << line;
        EXPECT_THAT(o.out, HasSubstr("--json")) << line;
        EXPECT_THAT(o.out, HasSubstr("-q, --quiet")) << line;
        EXPECT_THAT(o.out, HasSubstr("2  the command line was wrong")) << line;
    }
    EXPECT_THAT(Line({"--help"}).out, HasSubstr("Exit status:\n    0  done\n    1  the job failed"));
    EXPECT_THAT(Line({"--help"}).out, HasSubstr("130  the job was stopped by the user"));
}

TEST_F(CliCommands, ThePortComesFromTheOptionOrRM7_PORT) {
    const struct {
        const char* environment;  // nullptr: not set
        std::vector<std::string> words;
        const char* port;
    } cases[] = {
        {nullptr, {"-p", "simA", "--json", "info"}, "simA"},
        {"simEnv", {"--json", "info"}, "simEnv"},
        {"simEnv", {"--port", "simA", "--json", "info"}, "simA"},  // the command line wins
        {"simEnv", {"--json", "info", "-p", "simB"}, "simB"},
    };
    for (const auto& c : cases) {
        if (c.environment != nullptr) {
            setenv("RM7_PORT", c.environment, 1);
        } else {
            unsetenv("RM7_PORT");
        }
        const Outcome o = Line(c.words);
        const std::string line = ::testing::PrintToString(c.words);
        ASSERT_EQ(o.status, 0) << line << o.err;
        EXPECT_EQ(nlohmann::json::parse(o.out)["port"], c.port) << line;
    }
    unsetenv("RM7_PORT");
}

TEST_F(CliCommands, HelpCommandShowsThatCommandsHelp) {
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"info"}, {"firmware", "send"}, {"config", "restore"}, {}}) {
        std::vector<std::string> help = {"help"};
        help.insert(help.end(), words.begin(), words.end());
        std::vector<std::string> dashed = words;
        dashed.push_back("--help");
        const Outcome o = Line(help);
        const std::string line = ::testing::PrintToString(help);
        EXPECT_EQ(o.status, 0) << line;
        EXPECT_EQ(o.out, Line(dashed).out) << line;
        EXPECT_EQ(o.err, "") << line;
    }
    const Outcome o = Line({"help", "firmware", "sned"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err,
              "rm7util firmware: unknown command \"sned\". Did you mean \"send\"?\nRun \"rm7util firmware --help\" for "
              "the commands and options.\n");
    // Every command's help in one text, for the man page.
    const Outcome all = Line({"help", "--all"});
    EXPECT_EQ(all.status, 0);
    EXPECT_THAT(all.out, HasSubstr("--mcu FILE"));
    EXPECT_THAT(all.out, HasSubstr("--across-midnight"));
}

TEST_F(CliCommands, JsonFailuresPrintOneObjectWithTheCodeAndText) {
    env->refuseOpen = kErrorFileNotFound;
    Outcome o = Line({"--json", "--port", "sim0", "info"});
    EXPECT_EQ(o.status, 1);
    nlohmann::json json = nlohmann::json::parse(o.out);
    EXPECT_EQ(json["error"]["code"], "0x00000002");
    EXPECT_EQ(json["error"]["text"], ErrorText(kErrorFileNotFound));
    EXPECT_EQ(json["error"]["exitStatus"], 1);
    EXPECT_EQ(o.err,
              "rm7util: sim0: No such file or directory\nhint: \"rm7util ports\" lists this machine's "
              "serial devices.\n");

    // A command that already gave its own document on failure is not given a second one.
    const std::filesystem::path broken = dir / "fdsp0100.hex";
    WriteFile(broken, std::string(":0000000G\r\n"));
    o = Line({"--json", "firmware", "check", broken.string()});
    EXPECT_EQ(o.status, 1);
    json = nlohmann::json::parse(o.out);
    ASSERT_TRUE(json.is_array()) << o.out;
    EXPECT_FALSE(json.contains("error"));

    // Without a port, saved or given, the message says how to give one.
    o = Line({"--json", "info"});
    EXPECT_EQ(o.status, 2);  // what is missing is on the command line
    const Outcome nothing = Line({"--port", "sim0", "firmware", "send"});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_THAT(nothing.err, HasSubstr("Nothing to send: give --mcu FILE, --dsp FILE or both."));
    EXPECT_TRUE(Radio().ReceivedCommands().empty());
    EXPECT_EQ(nlohmann::json::parse(o.out)["error"]["text"], ErrorText(kErrPortNameMissing));
    EXPECT_THAT(o.err, HasSubstr("\nhint: Give one with --port DEV or RM7_PORT (\"rm7util ports\" lists this "
                                 "machine's serial devices), or use the simulated radio with --simulate.\n"));

    // Without --json standard output stays empty on failure.
    o = Line({"--port", "sim0", "info"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
}

// ---- the backup before a risky job ----

std::vector<std::filesystem::path> BackupsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A restore and a firmware load each leave a backup of the radio as it was before them, named
// for the job; the 21st backup of the radio removes its oldest and no other radio's file.
TEST_F(CliCommands, RiskyJobsBackUpTheRadioFirstAndKeepTheLast20) {
    const std::filesystem::path folder = BackupFolderUnder(dir / "data");
    std::filesystem::create_directories(folder);
    const std::string oldest = "SN01234.20000101T000000.before-firmware.RM7Config";
    const std::string otherRadio = "SN04321.19990101T000000.before-firmware.RM7Config";
    WriteFile(folder / oldest, "x");
    WriteFile(folder / otherRadio, "x");
    const std::string secondOldest = "SN01234.20000102T000000.before-restore.RM7Config";
    for (int day = 2; day <= 20; ++day) {
        WriteFile(folder / StrFormat("SN01234.200001%02dT000000.before-restore.RM7Config", day), "x");
    }

    FillConfiguration(Radio(), 3);
    const std::vector<std::uint8_t> before = ConfigurationBytes(Radio());
    const std::filesystem::path file = dir / "radio.RM7Config";
    ASSERT_EQ(Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigSave(e, g, file.string()); }).status,
              0);
    FillConfiguration(Radio(), 4);
    const std::vector<std::uint8_t> overwritten = ConfigurationBytes(Radio());
    Outcome o =
        Run([&](IEnvironment& e, const GlobalOptions& g) { return RunConfigRestore(e, g, file.string(), false); });
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(ConfigurationBytes(Radio()), before);

    // The 21st backup of 01234 removed its oldest, and no other radio's.
    std::vector<std::filesystem::path> backups = BackupsIn(folder);
    ASSERT_EQ(backups.size(), 21u);
    EXPECT_FALSE(std::filesystem::exists(folder / oldest));
    EXPECT_TRUE(std::filesystem::exists(folder / otherRadio));
    const std::filesystem::path restoreBackup = backups[backups.size() - 2];
    EXPECT_THAT(restoreBackup.filename().string(),
                ::testing::MatchesRegex(R"(SN01234\.[0-9]{8}T[0-9]{6}\.before-restore\.RM7Config)"));
    EXPECT_THAT(o.err, HasSubstr("The configuration was backed up to " + restoreBackup.string() + "\n"));
    // The backup is an ordinary configuration file of the radio as the restore found it.
    ConfigurationFileContents contents;
    ASSERT_EQ(ReadConfigurationFile(restoreBackup, {1234, false, nullptr}, contents), kOk);
    EepromImage image{};
    image.fill(0xFF);
    ApplyRuns(contents.runs, image);
    std::vector<std::uint8_t> backedUp;
    for (const auto& range : kConfigurationRanges) {
        backedUp.insert(backedUp.end(), image.begin() + range.start, image.begin() + range.start + range.length);
    }
    EXPECT_EQ(backedUp, overwritten);

    const auto mcuFile = Hex("fmcu0288.hex", MakeMcu(5, "0288").image, rm7sim::Radio::kMcuLow);
    o = Run([&](IEnvironment& e, const GlobalOptions& g) { return RunFirmwareSend(e, g, mcuFile, ""); });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err,
                ::testing::ContainsRegex(
                    R"(The configuration was backed up to .*/SN01234\.[0-9]{8}T[0-9]{6}\.before-firmware\.RM7Config)"));
    EXPECT_EQ(BackupsIn(folder).size(), 21u);
    EXPECT_FALSE(std::filesystem::exists(folder / secondOldest));
    EXPECT_TRUE(std::filesystem::exists(restoreBackup));
    EXPECT_TRUE(std::filesystem::exists(folder / otherRadio));

    // A calibration's backup is made before the transmitter is keyed, and says where it went.
    o = Line({"--port", "sim0", "calibrate", "--yes"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::size_t backedUpAt = o.err.find("The configuration was backed up to ");
    ASSERT_NE(backedUpAt, std::string::npos);
    EXPECT_LT(backedUpAt, o.err.find("Calibrating at 1.900 MHz"));
    backups = BackupsIn(folder);
    const auto txgain = std::find_if(backups.begin(), backups.end(), [](const std::filesystem::path& p) {
        return p.filename().string().ends_with(".before-txgain.RM7Config");
    });
    ASSERT_NE(txgain, backups.end());
    EXPECT_THAT(o.err, HasSubstr(txgain->string() + "\n"));
}

// Without a backup the job goes on only when nothing could be read (a boot loader) or the user
// said so (--no-backup, or the setting); a backup that fails stops the job before it changes
// anything.
TEST_F(CliCommands, AFailedBackupStopsTheJobUnlessTurnedOff) {
    const auto mcuFile = Hex("fmcu0288.hex", MakeMcu(6, "0288").image, rm7sim::Radio::kMcuLow);
    const std::filesystem::path config = dir / "radio.RM7Config";
    WriteFile(config, std::string(kConfigFile));
    const std::filesystem::path folder = BackupFolderUnder(dir / "data");
    const struct {
        const char* name;
        bool bootLoader;
        bool blocked;  // a file where the backups folder should be
        std::vector<std::string> extra;
        bool settingOff;
        int status;
        const char* says;
    } cases[] = {
        {"boot loader",
         true,
         false,
         {},
         false,
         0,
         "The radio is in its boot loader: its configuration cannot be read, so no backup was made\n"},
        {"failed", false, true, {}, false, 1, "The configuration backup could not be written into "},
        {"--no-backup",
         false,
         true,
         {"--no-backup"},
         false,
         0,
         "No configuration backup was made: automatic backup is off\n"},
        {"setting off", false, true, {}, true, 0, "No configuration backup was made: automatic backup is off\n"},
    };
    enum class Job { kFirmware, kRestore, kCalibrate };
    for (const auto& c : cases) {
        for (const Job job : {Job::kFirmware, Job::kRestore, Job::kCalibrate}) {
            if (job != Job::kFirmware && c.bootLoader) {
                continue;  // a restore and a calibration need the running radio
            }
            const bool firmware = job == Job::kFirmware;
            SCOPED_TRACE(std::string(c.name) + (firmware               ? ": firmware send"
                                                : job == Job::kRestore ? ": config restore"
                                                                       : ": calibrate"));
            std::filesystem::remove_all(dir / "data");
            std::filesystem::remove_all(dir / "config");
            if (c.blocked) {
                std::filesystem::create_directories(folder.parent_path());
                WriteFile(folder, "in the way");
            }
            if (c.settingOff) {
                std::filesystem::create_directories(dir / "config" / "Tarnwell");
                WriteFile(dir / "config" / "Tarnwell" / "RM7 Utility.conf", "AutoBackup=dword:00000000\n");
            }
            rm7sim::Options options;
            options.bootLoader = c.bootLoader;
            NewRadio(options);
            std::vector<std::string> words = {"--port", "sim0"};
            words.insert(words.end(), c.extra.begin(), c.extra.end());
            if (firmware) {
                words.insert(words.end(), {"firmware", "send", "--mcu", mcuFile.string()});
            } else if (job == Job::kRestore) {
                words.insert(words.end(), {"config", "restore", config.string()});
            } else {
                words.insert(words.end(), {"calibrate", "--yes"});
            }
            const Outcome o = Line(words);
            EXPECT_EQ(o.status, c.status) << o.err;
            if (job == Job::kCalibrate && c.status != 0) {
                // The calibration runs on the job shell: the backup's line, then the job's one outcome line.
                EXPECT_THAT(o.err, HasSubstr("The configuration backup could not be written into "));
                EXPECT_THAT(o.err, HasSubstr("rm7util: calibrate: "));
            } else {
                EXPECT_THAT(o.err, HasSubstr(c.says));
            }
            if (c.status != 0) {
                EXPECT_THAT(o.err, HasSubstr("Give --no-backup to go on without a backup.\n"));
                EXPECT_EQ(CommandsStartingWith("EW"), 0u);
                EXPECT_EQ(CommandsStartingWith("LD"), 0u);
                EXPECT_EQ(Radio().Packets(), 0u);
                EXPECT_EQ(Radio().Tx().Carriers(), 0u);
            } else {
                EXPECT_GT(firmware               ? Radio().Packets()
                          : job == Job::kRestore ? CommandsStartingWith("EW")
                                                 : Radio().Tx().Carriers(),
                          0u)
                    << "the job ran";
            }
            if (!c.blocked) {
                EXPECT_TRUE(BackupsIn(folder).empty());
            }
        }
    }
}

TEST_F(CliCommands, TerminalSendKeysTheTextAndEndsOnceTheRadioHasSentIt) {
    rm7sim::Options options;
    options.rxText = "CQ;DE\r\nK\x1B";
    options.rxCharMs = 10;
    options.txCharMs = 50;
    NewRadio(options);
    Outcome o = Line({"--port", "sim0", "terminal", "--mode", "RTTY", "--send", "RYRY; de test\r"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "CQ;DE\nK\\x1B\n");           // line breaks kept, the escape made harmless
    EXPECT_THAT(o.err, Not(HasSubstr("Ctrl+T")));  // nobody is at the keys
    Loop().pump.AdvanceBy(2000);
    EXPECT_EQ(Radio().OnAir(Loop().pump.TickCount()), "RYRY, de test\r\n");
    EXPECT_EQ(Radio().EndsOfTransmission(Loop().pump.TickCount()), 1u);

    // A signal ends it at once, with the end form and no more text.
    NewRadio(options);
    InterruptAt([this] { return CommandsStartingWith("KY "); }, {2});
    o = Line({"--port", "sim0", "terminal", "--mode", "psk", "--send", std::string(40, 'X')});
    EXPECT_EQ(o.status, kExitStopped) << o.err;
    // The received text's last line is ended before the error is said.
    EXPECT_TRUE(o.out.empty() || o.out.back() == '\n') << o.out;
    std::vector<std::string> keyed;
    for (const std::string& c : Radio().ReceivedCommands()) {
        if (c.starts_with("KY")) {
            keyed.push_back(c);
        }
    }
    EXPECT_EQ(keyed, (std::vector<std::string>{"KY XXXXXXXX", "KY XXXX", "KY \x04"}));

    // Only a radio that runs its firmware is keyed; and without --send a terminal is needed.
    options.bootLoader = true;
    NewRadio(options);
    o = Line({"--port", "sim0", "terminal", "--send", "TEST"});
    EXPECT_EQ(o.status, 1);
    EXPECT_THAT(o.err, HasSubstr(ErrorText(kErrTerminalNoFirmware)));
    NewRadio({});
    o = Line({"--port", "sim0", "terminal"});
    EXPECT_EQ(o.status, 2);
    EXPECT_THAT(o.err, HasSubstr("give the text with --send TEXT"));
    EXPECT_EQ(CommandsStartingWith("KY"), 0u);
}

TEST_F(CliCommands, CalibrateWithoutYesSendsNothing) {
    const Outcome o = Line({"calibrate", "--port", "sim0"});
    EXPECT_EQ(o.status, 2);
    EXPECT_THAT(o.err, HasSubstr("connect a dummy load of 6 W or more to ANT and run again with --yes"));
    EXPECT_TRUE(Radio().ReceivedCommands().empty());
}

TEST_F(CliCommands, CalibrateRunsEveryBandAndPutsTheRadioBack) {
    Radio().Tx().SetRit(true);
    Radio().Tx().SetAntenna(2);
    const std::string before = Radio().SettingsText(Loop().pump.TickCount());
    const Outcome o = Line({"calibrate", "--yes", "--json", "--port", "sim0"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, HasSubstr("Calibrating at 1.900 MHz\nCalibrating at 3.700 MHz\n"));
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j["result"], "done");
    EXPECT_EQ(j["code"], "0x00000000");
    EXPECT_EQ(j["radio"], "running");
    EXPECT_THAT(j["text"].get<std::string>(), HasSubstr("calibrated on 11 bands (160 m, "));
    EXPECT_EQ(j["summary"], nlohmann::json::array({"5 watt calibration succeeded"}));
    EXPECT_GT(j["elapsed_seconds"].get<int>(), 0);
    ASSERT_EQ(j["bands"].size(), 11u);
    EXPECT_EQ(j["bands"][10]["frequency_khz"], 52000);
    EXPECT_EQ(j["bands"][10]["power_steps"], 2);
    EXPECT_DOUBLE_EQ(j["bands"][0]["swr"].get<double>(), 1.1);
    EXPECT_EQ(Radio().SettingsText(Loop().pump.TickCount()), before);
    EXPECT_FALSE(Radio().Transmitting(Loop().pump.TickCount()));
}

TEST_F(CliCommands, CalibrateFailingBandOrInterruptEndsInReceiveWithSettingsBack) {
    struct Case {
        const char* name;
        int swrBand;
        bool interrupt;
        int status;
        const char* error;
    } const cases[] = {
        {"high SWR on band 3", 3, false, 1,
         "rm7util: calibrate: SWR too high to continue calibration; calibrated on 3 bands "
         "(160 m, 80 m, 60 m); every setting the calibration changed was put back\n"},
        {"SIGINT while keyed", -1, true, kExitStopped, "rm7util: calibrate: TX gain calibration was cancelled\n"},
    };
    for (const Case& c : cases) {
        rm7sim::Options options;
        options.faults.swrBand = c.swrBand;
        NewRadio(options);
        Radio().Tx().SetXit(true);
        Radio().Tx().SetPower(50);
        const std::string before = Radio().SettingsText(0);
        bool interrupted = false;
        Loop().onStep = [&] {
            if (c.interrupt && !interrupted && Radio().Tx().Carriers() == 3 &&
                Radio().Transmitting(Loop().pump.TickCount())) {
                interrupted = Loop().Interrupt();
            }
        };
        const Outcome o = Line({"calibrate", "--yes", "--port", "sim0"});
        Loop().onStep = nullptr;
        EXPECT_EQ(o.status, c.status) << c.name << o.err;
        EXPECT_THAT(o.err, HasSubstr(c.error)) << c.name;
        // Said once, with the radio's state and the backup on the hint line.
        std::size_t said = 0;
        for (std::size_t at = o.err.find("rm7util: calibrate: "); at != std::string::npos;
             at = o.err.find("rm7util: calibrate: ", at + 1)) {
            ++said;
        }
        EXPECT_EQ(said, 1u) << c.name << o.err;
        EXPECT_THAT(o.err,
                    HasSubstr("hint: The radio answers and runs its firmware. The configuration was backed up to "))
            << c.name;
        EXPECT_THAT(o.out, HasSubstr("5 watt calibration failed")) << c.name;
        EXPECT_EQ(interrupted, c.interrupt) << c.name;
        EXPECT_EQ(Radio().SettingsText(Loop().pump.TickCount()), before) << c.name;
        EXPECT_FALSE(Radio().Transmitting(Loop().pump.TickCount())) << c.name;
        EXPECT_EQ(Radio().Tx().Carriers(), c.interrupt ? 3u : 7u) << c.name;
    }

    // With --json the failure is one object: its result, code, text, the radio's state and the backup.
    rm7sim::Options options;
    options.faults.swrBand = 3;
    NewRadio(options);
    const Outcome o = Line({"calibrate", "--yes", "--json", "--port", "sim0"});
    EXPECT_EQ(o.status, 1) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j["result"], "failed");
    EXPECT_EQ(j["code"], "0xE20000C3");
    EXPECT_EQ(j["radio"], "running");
    EXPECT_THAT(j["backup"].get<std::string>(), ::testing::EndsWith(".before-txgain.RM7Config"));
    EXPECT_THAT(j["text"].get<std::string>(), HasSubstr("5 watt calibration failed: "));
}

}  // namespace
}  // namespace rm7::cli
