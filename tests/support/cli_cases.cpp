#include "tests/support/cli_cases.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "platform/error_text.h"
#include "platform/format.h"
#include "sim/make_firmware.h"
#include "tests/support/example_config_file.h"
#include "tests/support/firmware_files.h"

namespace rm7::test {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::size_t Occurrences(std::string_view text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

void ReplaceAll(std::string& text, std::string_view from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

nlohmann::json Filled(const nlohmann::json& value, const Places& places) {
    return value.is_string() ? nlohmann::json(places.Fill(value.get<std::string>())) : value;
}

// A failure before any job is said in the system's own words, never in another platform's.
std::vector<std::string> ForeignWordsBut(std::string_view allowed) {
    constexpr const char* kForeignWords[] = {
        "Error code", "The system cannot", "Access is denied", "Permission denied", "Incorrect function",
        "CreateFile", "ReadFile",          "access denied",    "after reset",
    };
    std::vector<std::string> words;
    for (const char* w : kForeignWords) {
        if (w != allowed) {
            words.push_back(w);
        }
    }
    return words;
}

constexpr std::size_t kEepromSize = 0x8400;
constexpr std::size_t kBannerAddress = 0x83E0;
constexpr std::size_t kSerialAddress = 0x83FA;

// An erased EEPROM of the radio with that serial number.
std::string ErasedEeprom(std::uint16_t serial = 1234) {
    std::string bytes(kEepromSize, '\xFF');
    bytes[kSerialAddress] = static_cast<char>(serial >> 8);
    bytes[kSerialAddress + 1] = static_cast<char>(serial & 0xFF);
    return bytes;
}

// rm7-sim's arguments for a group's radio.
std::optional<std::vector<std::string>> Sim(std::vector<std::string> args) {
    return args;
}

std::string ReadText(const fs::path& file) {
    const std::vector<std::uint8_t> bytes = ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

// ---- info, the contact and send ----

void AddInfo(std::vector<CliGroup>& groups) {
    // Every speed the automatic search goes through.
    for (const char* speed : {"38400", "19200", "9600", "4800"}) {
        CliGroup g;
        g.name = std::string("InfoFindsTheRadioAt") + speed;
        g.radio = Sim({"--speed", speed, "--serial", "300", "--mcu", "02.88", "--dsp", "10.00"});
        g.rows.push_back({.name = "json",
                          .words = {"--port", "{port}", "info", "--json"},
                          .errHas = {std::string("Connected to RM7 on {port} at ") + speed},
                          .json = {{"/device", "RM7"},
                                   {"/firmware_status", 2},
                                   {"/mcu_version", "02.88"},
                                   {"/dsp_version", "10.00"},
                                   {"/serial_number", 300},
                                   {"/port", "{port}"},
                                   {"/speed", std::stoi(speed)}}});
        if (std::string_view(speed) == "38400") {
            g.rows.push_back({.name = "text",
                              .words = {"--port", "{port}", "info"},
                              .outHas = {"Device:          RM7\n", "Firmware status: 2 (running its firmware)\n",
                                         "MCU version:     02.88\nDSP version:     10.00\n", "Serial number:   00300\n",
                                         "Port:            {port} at 38400 bit/s\n"},
                              .errHas = {"Connected to RM7 on {port} at 38400"}});
        }
        groups.push_back(std::move(g));
    }

    groups.push_back({.name = "InfoOnARadioInItsBootLoaderIsStatusOneAndSuccess",
                      .radio = Sim({"--boot-loader"}),
                      .rows = {{.name = "json",
                                .words = {"--json", "--port", "{port}", "info"},
                                .json = {{"/device", "RM7"}, {"/firmware_status", 1}, {"/port", "{port}"}}}}});

    // A radio left transmitting (a program killed with its carrier keyed) is said to be so, once.
    const struct {
        const char* name;
        std::vector<std::string> radio;
        bool transmitting;
        const char* line;
    } transmitting[] = {
        {"InfoSaysTheRadioIsInReceive", {}, false, "Transmitting:    no (receive)"},
        {"InfoSaysTheRadioIsTransmitting",
         {"--transmitting"},
         true,
         "Transmitting:    YES. Switch it to receive: rm7util send \"RX;\"\n"},
        // TQ1 damaged into TQB is asked again, not taken for receive.
        {"InfoAsksAgainWhenTheTransmitAnswerIsDamaged",
         {"--transmitting", "--faults", "garble=TQ"},
         true,
         "Transmitting:    YES."},
    };
    for (const auto& t : transmitting) {
        const std::string warning = "the radio is transmitting. Switch it to receive";
        CliRow json{.name = "json",
                    .words = {"--port", "{port}", "info", "--json"},
                    .json = {{"/transmitting", t.transmitting}}};
        (t.transmitting ? json.errHas : json.errNot).push_back(warning);
        groups.push_back({.name = t.name,
                          .radio = t.radio,
                          .rows = {json,
                                   {.name = "text",
                                    .words = {"--port", "{port}", "info"},
                                    .outHas = {t.line},
                                    .errNot = {"transmitting"}}}});
    }

    groups.push_back({.name = "InfoAtAFixedSpeedTheRadioDoesNotUseEndsAtTheTimeOut",
                      .radio = Sim({"--speed", "38400"}),
                      .rows = {{.name = "9600",
                                .words = {"info", "--port", "{port}", "--speed", "9600", "--timeout", "2"},
                                .status = 1,
                                .out = "",
                                .errHas = {"rm7util: info: No radio answered on {port} at 9600 bit/s"}}}});

    groups.push_back({.name = "InfoRefusesAnotherDevice",
                      .radio = Sim({"--device", "R5"}),
                      .rows = {{.name = "R5",
                                .words = {"--port", "{port}", "info"},
                                .status = 1,
                                .out = "",
                                .errHas = {"Unexpected Device: Connected device does not appear to be an Tarnwell RM7",
                                           "rm7util: info: " + ErrorText(0xE200004E)},
                                .errNot = {"after reset"},
                                .check = [](const CliOutcome&, const RadioIntake& intake, const Places&) {
                                    EXPECT_EQ(intake.Count("EW"), 0u);
                                    EXPECT_EQ(intake.Count("LD"), 0u);
                                }}}});

    const auto lastCommandIsRvm = [](const CliOutcome&, const RadioIntake& intake, const Places&) {
        EXPECT_THAT(intake.received, ::testing::EndsWith("RVM;"));
    };
    groups.push_back({.name = "SendPrintsTheAnswerInPrintableForm",
                      .radio = Sim({"--mcu", "03.10"}),
                      .rows = {{.name = "RVM",
                                .words = {"--port", "{port}", "send", "RVM;", "--wait", "300"},
                                .out = "RVM03.10;\n",
                                .check = lastCommandIsRvm}}});
    // The command tester's wait counts from the send and again from every byte that arrives. On a
    // real clock a busy machine could stretch these margins: in virtual time only.
    const struct {
        const char* name;
        std::vector<std::string> radio;
        const char* wait;
        const char* answer;
    } waits[] = {
        {"SendWaitsForAnAnswerWithinTheWait", {"--latency", "200"}, "300", "RVM02.54;\n"},
        {"SendGivesUpOnAnAnswerQuietForTheWholeWait", {"--latency", "400"}, "300", "\n"},
        // At 4800 bit/s a byte takes 2 ms on the wire: 27 ms from the send to the last byte, never
        // 12 without one.
        {"SendWaitsAgainFromEveryByte", {"--pace", "--speed", "4800"}, "12", "RVM02.54;\n"},
    };
    for (const auto& w : waits) {
        groups.push_back({.name = w.name,
                          .layer = Layer::kInProcess,
                          .radio = w.radio,
                          .rows = {{.name = "RVM",
                                    .words = {"--port", "{port}", "send", "RVM;", "--wait", w.wait},
                                    .out = w.answer,
                                    .check = lastCommandIsRvm}}});
    }
}

// ---- the configuration file ----

void AddConfiguration(std::vector<CliGroup>& groups) {
    const std::string good = kExampleConfigFile;
    const auto replaced = [good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    // A damaged file is refused whole before the port is opened, and said so once.
    const struct {
        const char* name;
        std::string text;
        const char* says;
        const char* code;
    } damaged[] = {
        {"a_character_changed", replaced("0A0B", "0A0C"), "has been altered after it was saved", "0xE2000031"},
        {"a_line_added", replaced("*Do not", "*A note\r\n*Do not"), "has been altered after it was saved",
         "0xE2000031"},
        {"a_line_removed", replaced("RM7 Firmware Version = 02.87\r\n", ""), "has been altered after it was saved",
         "0xE2000031"},
        {"data_after_the_check_line", good + "MEM2 7E 00 01 FF\r\n", "The configuration file is incomplete.",
         "0xE2000030"},
        {"no_final_line_feed", good.substr(0, good.size() - 1), "The configuration file is incomplete.", "0xE2000030"},
    };
    CliGroup refused{.name = "ADamagedConfigurationFileIsRefusedBeforeThePortIsOpened", .radio = Sim({})};
    std::vector<std::pair<std::string, std::string>> files;
    const auto untouched = [](const CliOutcome&, const RadioIntake& intake, const Places&) {
        EXPECT_EQ(intake.received, "") << "the port was used";
    };
    for (const auto& d : damaged) {
        const std::string file = std::string("{dir}/") + d.name + ".RM7Config";
        files.emplace_back(std::string(d.name) + ".RM7Config", d.text);
        const std::string why = ErrorText(static_cast<Result>(std::stoul(d.code, nullptr, 16)));
        // A file that was read but is wrong is not blamed on its path.
        const std::vector<std::string> notBlamed = {file + ": ", "Press "};
        refused.rows.push_back({.name = std::string("restore ") + d.name,
                                .words = {"--port", "{port}", "config", "restore", file},
                                .status = 1,
                                .out = "",
                                .errHas = {"Restore Configuration Error: ", d.says},
                                .errNot = {notBlamed[0], notBlamed[1], "Attempting to contact"},
                                .errOnce = {"rm7util: config restore: " + why},
                                .check = untouched});
        refused.rows.push_back({.name = std::string("verify ") + d.name,
                                .words = {"config", "verify", file},
                                .status = 1,
                                .out = "",
                                .errNot = notBlamed,
                                .errOnce = {"rm7util: config verify: " + why},
                                .check = untouched});
    }
    files.emplace_back("good.RM7Config", good);
    refused.rows.push_back(
        {.name = "verify the good file",
         .words = {"config", "verify", "{dir}/good.RM7Config"},
         .outHas = {"Saved at:         2024-01-31 23:59:59\n", "Firmware version: 02.87\n", "Serial number:    01234\n",
                    "Bytes to write:   32 in 1 runs\n", "  0x7E00-0x7E1F   32 bytes,  32 in the file\n",
                    "  0x0000-0x00FB  252 bytes,   0 in the file\n"},
         .check = untouched});
    refused.prepare = [files](const fs::path& dir) {
        for (const auto& [name, text] : files) {
            WriteFile(dir / name, text);
        }
    };
    groups.push_back(std::move(refused));

    // Another radio's file: refused, whatever half of the consent is given, before anything is written.
    CliGroup mismatch{.name = "ConfigRestoreRefusesAnotherRadiosFile",
                      .radio = Sim({"--eeprom", "{dir}/radio.eeprom"}),
                      .prepare = [](const fs::path& dir) {
                          WriteFile(dir / "01234.RM7Config", kExampleConfigFile);
                          WriteFile(dir / "radio.eeprom", ErasedEeprom(4321));
                      }};
    const struct {
        const char* name;
        std::vector<std::string> flags;
        std::vector<std::string> says;
    } consents[] = {
        {"no consent",
         {},
         {"rm7util: config restore: RM7 serial number does not match the restore file serial number\nThe file is of "
          "the radio with serial number 01234; this radio's is 04321. Give --advanced and --yes to restore it all "
          "the same.\n"}},
        {"--yes alone", {"--yes"}, {"--yes alone is not enough: add --advanced to restore it all the same."}},
        {"--advanced alone",
         {"--advanced"},
         {"radio's is 04321. Add --yes to restore it all the same.\n", "Answered no (give --yes to accept)."}},
    };
    for (const auto& c : consents) {
        CliRow row{.name = c.name,
                   .words = {"--port", "{port}", "config", "restore", "{dir}/01234.RM7Config"},
                   .status = 1,
                   .out = "",
                   .errHas = {"Serial Number Mismatch: The Serial Number within the restore file"},
                   .errNot = {"Press "},
                   .errOnce = {"rm7util: config restore: RM7 serial number does not match"},
                   .check = [](const CliOutcome&, const RadioIntake& intake, const Places& places) {
                       EXPECT_EQ(intake.Count("EW"), 0u);
                       EXPECT_EQ(intake.Count("LDD"), 0u);
                       EXPECT_EQ(ReadText(places.dir / "radio.eeprom"), ErasedEeprom(4321));
                   }};
        row.words.insert(row.words.end(), c.flags.begin(), c.flags.end());
        row.errOnce.insert(row.errOnce.end(), c.says.begin(), c.says.end());
        mismatch.rows.push_back(std::move(row));
    }
    groups.push_back(std::move(mismatch));

    // Files that cannot be read or written are said once, in the system's words, naming where the
    // obstacle is, before the radio is read for them; nothing is left where nothing could be written.
    CliGroup paths{.name = "ConfigFilesThatCannotBeReadOrWrittenAreSaidOnce",
                   .radio = Sim({}),
                   .prepare = [](const fs::path& dir) {
                       WriteFile(dir / "plain", "not a port\n");
                       WriteFile(dir / "example.RM7Config", kExampleConfigFile);
                       fs::create_directory(dir / "read-only");
                       ::chmod((dir / "read-only").c_str(), 0555);
                   }};
    const auto nothingWritten = [](const CliOutcome&, const RadioIntake& intake, const Places& places) {
        EXPECT_EQ(intake.Count("EW"), 0u);
        EXPECT_EQ(intake.Count("LDD"), 0u);
        EXPECT_FALSE(fs::exists(places.dir / "no"));
        EXPECT_FALSE(fs::exists(places.dir / "read-only" / "x.RM7Config"));
    };
    const auto radioUntouched = [nothingWritten](const CliOutcome& o, const RadioIntake& intake, const Places& p) {
        EXPECT_EQ(intake.received, "") << "the radio was read";
        nothingWritten(o, intake, p);
    };
    struct PathCase {
        const char* name;
        std::vector<std::string> words;
        int status;
        std::string says;
        bool radioUntouched;
        const char* allowed = "";  // a foreign word that is this system's own here
    };
    std::vector<PathCase> cases = {
        {"save into a missing folder",
         {"--port", "{port}", "config", "save", "{dir}/no/x.RM7Config"},
         1,
         "rm7util: {dir}/no: No such file or directory\n",
         true},
        {"save over a folder",
         {"--port", "{port}", "config", "save", "{dir}"},
         1,
         "rm7util: {dir}: Is a directory\n",
         true},
        {"save below a file",
         {"--port", "{port}", "config", "save", "{dir}/plain/x.RM7Config"},
         1,
         "rm7util: {dir}/plain: Not a directory\n",
         true},
        {"verify a missing file",
         {"config", "verify", "{dir}/missing.RM7Config"},
         1,
         "rm7util: {dir}/missing.RM7Config: No such file or directory\n",
         true},
        {"verify a folder", {"config", "verify", "{dir}"}, 1, "rm7util: {dir}: Is a directory\n", true},
        {"restore a missing file",
         {"--port", "{port}", "config", "restore", "{dir}/missing.RM7Config"},
         1,
         "rm7util: {dir}/missing.RM7Config: No such file or directory\n",
         false},
        {"diff against a missing file",
         {"config", "diff", "{dir}/example.RM7Config", "{dir}/missing.RM7Config"},
         2,
         "rm7util: {dir}/missing.RM7Config: No such file or directory\n",
         true},
    };
    if (::geteuid() != 0) {  // root writes into a read-only folder all the same
        cases.push_back({"save into a read-only folder",
                         {"--port", "{port}", "config", "save", "{dir}/read-only/x.RM7Config"},
                         1,
                         "rm7util: {dir}/read-only: Permission denied\n",
                         true,
                         "Permission denied"});
    }
    for (const PathCase& c : cases) {
        CliRow row{.name = c.name,
                   .words = c.words,
                   .status = c.status,
                   .out = "",
                   .errNot = ForeignWordsBut(c.allowed),
                   .errOnce = {c.says, c.says.substr(c.says.rfind(": ") + 2)},
                   .hints = 0,
                   .check = c.radioUntouched ? decltype(CliRow::check)(radioUntouched)
                                             : decltype(CliRow::check)(nothingWritten)};
        row.errNot.push_back("Press ");
        paths.rows.push_back(std::move(row));
    }
    paths.rows.push_back({.name = "diff without a second side",
                          .words = {"config", "diff", "{dir}/example.RM7Config"},
                          .status = 2,
                          .out = "",
                          .errHas = {"either a second file or --radio"}});
    groups.push_back(std::move(paths));

    // What is no file to read, or the wrong kind of file, is named as such once, before any reader
    // speaks of lines or of restoring.
    CliGroup kinds{.name = "TheWrongKindOfFileIsNamedAsSuch", .radio = Sim({}), .prepare = [](const fs::path& dir) {
                       std::string error;
                       ASSERT_TRUE(rm7sim::MakeFirmware(dir.string(), error)) << error;
                       ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
                       WriteFile(dir / "notes.txt", "just some words\n");
                   }};
    const struct {
        std::vector<std::string> words;
        int status;
        const char* says;
    } wrongKinds[] = {
        {{"config", "verify", "{dir}/fmcu0300.hex"},
         1,
         "{dir}/fmcu0300.hex: not a configuration file (a firmware file?)"},
        {{"config", "verify", "{dir}/notes.txt"}, 1, "{dir}/notes.txt: not a configuration file"},
        {{"config", "diff", "{dir}/pipe", "{dir}/fmcu0300.hex"}, 2, "{dir}/pipe: not a regular file"},
        {{"config", "diff", "{dir}/missing.RM7Config", "{dir}/fmcu0300.hex"},
         2,
         "{dir}/missing.RM7Config: No such file or directory"},
        {{"--port", "{port}", "config", "restore", "{dir}/fmcu0300.hex"},
         1,
         "{dir}/fmcu0300.hex: not a configuration file (a firmware file?)"},
        {{"firmware", "check", "{dir}/fmcu0999.hex"}, 1, "{dir}/fmcu0999.hex: No such file or directory"},
        {{"firmware", "check", "{dir}"}, 1, "{dir}: Is a directory"},
    };
    for (const auto& k : wrongKinds) {
        kinds.rows.push_back({.name = ::testing::PrintToString(k.words),
                              .words = k.words,
                              .status = k.status,
                              .out = "",
                              .err = std::string("rm7util: ") + k.says + "\n",  // said once, and nothing else
                              .check = untouched});
    }
    groups.push_back(std::move(kinds));
}

// The save runs the desktop program's job through the job shell: it ends by saying once what
// happened, on standard error, and with --json in one object beside the job's own fields. The
// cable pulled while it reads the blocks leaves no file; rm7-sim ends with the unplug, so each
// cut is a radio of its own.
void AddConfigSave(std::vector<CliGroup>& groups) {
    const auto jsonSays = [](bool done) {
        return [done](const CliOutcome& o, const RadioIntake&, const Places& places) {
            const nlohmann::json json = nlohmann::json::parse(o.out, nullptr, false);
            ASSERT_TRUE(json.is_object()) << o.out;
            EXPECT_THAT(json.value("text", ""),
                        HasSubstr(done ? "Configuration was saved: " : "Failed to save configuration: "));
            // The job's own fields only when it was done; one object.
            EXPECT_EQ(json.contains("file"), done);
            EXPECT_FALSE(json.contains("error"));
            EXPECT_EQ(fs::exists(places.dir / "said.RM7Config"), done);
        };
    };
    const auto noFile = [](const CliOutcome&, const RadioIntake&, const Places& places) {
        EXPECT_FALSE(fs::exists(places.dir / "said.RM7Config"));
    };
    groups.push_back({.name = "ConfigSaveSaysOnceWhatHappened",
                      .radio = Sim({}),
                      .rows = {{.name = "done",
                                .words = {"--port", "{port}", "config", "save", "{dir}/said.RM7Config"},
                                .out = "{dir}/said.RM7Config\n",
                                .errHas = {"Configuration was saved: "},
                                .errNot = {"rm7util:"}},
                               {.name = "done, json",
                                .words = {"--json", "--port", "{port}", "config", "save", "{dir}/said.RM7Config"},
                                .errHas = {"Configuration was saved: "},
                                .errNot = {"rm7util:"},
                                .json = {{"/result", "done"},
                                         {"/code", "0x00000000"},
                                         {"/radio", "unchanged"},
                                         {"/backup", nullptr}},  // a save makes no backup
                                .check = jsonSays(true)}}});
    const std::string went = "The radio's serial port went away (cable or adapter unplugged)";
    groups.push_back(
        {.name = "ConfigSaveCutOffByTheCableSaysSoOnce",
         .radio = Sim({"--faults", "unplug=blocks:20"}),
         .rows = {{.name = "failed",
                   .words = {"--port", "{port}", "config", "save", "{dir}/said.RM7Config"},
                   .status = 1,
                   .out = "",
                   .errNot = {"COM Port Error", "backup failed"},
                   .errOnce = {"\nrm7util: config save: " + went + "\nhint: Nothing on the radio was changed.\n", went,
                               "rm7util:"},
                   .check = noFile}}});
    groups.push_back(
        {.name = "ConfigSaveCutOffByTheCableSaysSoInJson",
         .radio = Sim({"--faults", "unplug=blocks:10"}),
         .rows = {
             {.name = "failed, json",
              .words = {"--json", "--port", "{port}", "config", "save", "{dir}/said.RM7Config"},
              .status = 1,
              .errOnce = {"rm7util: config save: " + went, "rm7util:"},
              .json = {{"/result", "failed"}, {"/code", "0xE2000210"}, {"/radio", "unchanged"}, {"/backup", nullptr}},
              .check = jsonSays(false)}}});
}

// ---- the banner and the CW memories ----

void AddMemories(std::vector<CliGroup>& groups) {
    const auto erased = [](const fs::path& dir) { WriteFile(dir / "radio.eeprom", ErasedEeprom()); };
    const std::vector<std::string> radio = {"--eeprom", "{dir}/radio.eeprom"};

    groups.push_back(
        {.name = "BannerAndCwMemoryAreWrittenAndReadBack",
         .radio = radio,
         .prepare = erased,
         .rows = {
             {.name = "banner set",
              .words = {"--port", "{port}", "banner", "set", "hello  "},
              .out = "HELLO\n",
              .errHas = {"The power-on banner now reads \"HELLO\"\n"}},
             {.name = "cw set 1",
              .words = {"--port", "{port}", "cw", "set", "1", "cq de x1"},
              .outHas = {"M1: CQ DE X1\n"},
              // The same job as the dialog's: its outcome said once, after the read-back.
              .errOnce = {"CW memory M1 was written and reads back as written\nThe radio answers and runs its "
                          "firmware.\n"},
              .check =
                  [](const CliOutcome&, const RadioIntake&, const Places& places) {
                      const std::string after = ReadText(places.dir / "radio.eeprom");
                      ASSERT_EQ(after.size(), kEepromSize);
                      EXPECT_EQ(after.substr(kBannerAddress, 7), std::string("HELLO\0\xFF", 7));
                      // M1 backwards from 0x04FA: C Q space D E space X 1, then the end mark.
                      EXPECT_EQ(after.substr(0x04F1, 10), "\xFF\xCC\x3E\x19\x80\x02\x09\x80\x1B\x15");
                      // Nothing else changed.
                      std::string expected = ErasedEeprom();
                      expected.replace(kBannerAddress, 6, std::string("HELLO\0", 6));
                      expected.replace(0x04F2, 9, after.substr(0x04F2, 9));
                      EXPECT_EQ(after, expected);
                  }},
             {.name = "cw set 2",
              .words = {"--port", "{port}", "cw", "set", "2", "qrz"},
              .outHas = {"M2: QRZ\n"},
              .errOnce = {"CW memory M2 was written and reads back as written\n"}},
             {.name = "banner get",
              .words = {"--port", "{port}", "--json", "banner", "get"},
              .json = {{"/banner", "HELLO"}}},
             {.name = "cw get, json",
              .words = {"--port", "{port}", "--json", "cw", "get"},
              .json = {{"/memories", nlohmann::json::array({"CQ DE X1", "QRZ", "", "", "", ""})},
                       {"/result", "done"},
                       {"/text", "The CW memories were read\nNothing on the radio was changed."}}},
             {.name = "cw get",
              .words = {"--port", "{port}", "cw", "get"},
              .out = "M1: CQ DE X1\nM2: QRZ\nM3: \nM4: \nM5: \nM6: \n"},
         }});

    CliGroup refused{.name = "TextsThatDoNotFitAreRefusedBeforeTheRadioIsTouched", .radio = radio, .prepare = erased};
    std::string wide;  // counted in characters, not bytes
    for (int i = 0; i < 251; ++i) {
        wide += "\xc3\x89";
    }
    const struct {
        const char* name;
        std::vector<std::string> words;
        std::string says;
    } texts[] = {
        {"cw too long",
         {"cw", "set", "2", std::string(251, 'E')},
         "rm7util: cw set: Message is longer than an RM7 CW Memory\nThe text has 251 characters; a CW memory "
         "holds at most 250.\n"},
        {"cw too long in characters",
         {"cw", "set", "2", wide},
         "The text has 251 characters; a CW memory holds at most 250.\n"},
        {"cw cannot send #", {"cw", "set", "2", "CQ #1"}, "rm7util: cw set: " + ErrorText(0x0000000D)},
        {"banner too long", {"banner", "set", std::string(23, 'B')}, "rm7util: banner set: " + ErrorText(0x00000057)},
    };
    for (const auto& t : texts) {
        CliRow row{.name = t.name,
                   .words = {"--port", "{port}"},
                   .status = 1,
                   .out = "",
                   .errHas = {t.says},
                   .errNot = {"Connected"},
                   .check = [](const CliOutcome&, const RadioIntake& intake, const Places& places) {
                       EXPECT_EQ(intake.received, "");
                       EXPECT_EQ(ReadText(places.dir / "radio.eeprom"), ErasedEeprom());
                   }};
        row.words.insert(row.words.end(), t.words.begin(), t.words.end());
        refused.rows.push_back(std::move(row));
    }
    groups.push_back(std::move(refused));
}

// ---- firmware files ----

void AddFirmwareCheck(std::vector<CliGroup>& groups) {
    const std::vector<std::uint8_t> flash = Reconciled(McuImageBytes(15, "0288"));
    const unsigned value = flash[0] | flash[1] << 8;  // summed high byte first: stored byte-swapped
    std::vector<std::uint8_t> wrong = flash;
    wrong[0] ^= 0x01;
    groups.push_back(
        {.name = "FirmwareCheckDescribesEachFileAndFailsForOneTheLoaderRefuses",
         .prepare =
             [wrong](const fs::path& dir) {
                 WriteHexFile(dir / "fmcu0288.hex", McuImageBytes(15, "0288"), 0x800);
                 WriteHexFile(dir / "fdsp0291.hex", RandomBytes(130, 2), 0x10000);
                 WriteFile(dir / "fdsp0100.hex", ":0400000001020304F2\r\n:0000000G\r\n");
                 WriteHexFile(dir / "fmcu0289.hex", wrong, 0x800);
             },
         .rows = {
             {.name = "two good files",
              .words = {"--json", "firmware", "check", "{dir}/fmcu0288.hex", "{dir}/fdsp0291.hex"},
              .json = {{"/0/kind", "MCU"},
                       {"/0/version", "02.88"},
                       {"/0/image_low", 0x800},
                       {"/0/image_size", 0x1FD80 - 0x800},
                       {"/0/reconciliation/outcome", "computed"},
                       {"/0/reconciliation/value", value},
                       {"/1/kind", "DSP"},
                       {"/1/image_low", 0x10000},
                       {"/1/image_high", 0x10082},
                       {"/1/accepted", true}},
              .check = [](const CliOutcome& o, const RadioIntake&,
                          const Places&) { EXPECT_EQ(nlohmann::json::parse(o.out).size(), 2u); }},
             {.name = "a broken file beside a good one",
              .words = {"firmware", "check", "{dir}/fdsp0291.hex", "{dir}/fdsp0100.hex"},
              .status = 1,
              .outHas = {"Line 2, error code 0xE200000B: Unexpected hex character", "0x010000-0x010081, 130 bytes"}},
             // A wrong reconciliation value is said to be that, with the value that would do.
             {.name = "a wrong reconciliation value",
              .words = {"firmware", "check", "{dir}/fmcu0289.hex"},
              .status = 1,
              .outHas = {StrFormat("The image's reconciliation value 0x%X does not match the image", value ^ 1),
                         StrFormat("0x%X would.", value)},
              .check = [](const CliOutcome&, const RadioIntake& intake, const Places&) {
                  EXPECT_EQ(intake.received, "");
              }}}});
}

// ---- the command line ----

void AddUsage(std::vector<CliGroup>& groups) {
    CliGroup usage{.name = "UsageMistakesAreNamedAndEndWithStatusTwo"};
    // No radio and no port: a child process adds only its start-up, a second a row on a busy
    // machine; the pty layer runs the rows whose words its own main() reads differently.
    constexpr Layer kInProcessOnly = Layer::kInProcess;
    const struct {
        std::vector<std::string> words;
        const char* says;
        const char* notSaid = nullptr;
        Layer layer = kInProcessOnly;
    } mistakes[] = {
        {{"inof"}, "rm7util: unknown command \"inof\". Did you mean \"info\"?"},
        {{"firmware", "sned"}, "rm7util firmware: unknown command \"sned\". Did you mean \"send\"?"},
        {{"config", "--port", "sim0", "restor", "f"}, "unknown command \"restor\". Did you mean \"restore\"?"},
        // A word far from every command is not given a misleading guess.
        {{"xyzzyplugh"},
         "rm7util: unknown command \"xyzzyplugh\".\nRun \"rm7util --help\"",
         "Did you mean",
         Layer::kBoth},
        {{}, "rm7util: a command is needed, one of: ports, info,", nullptr, Layer::kBoth},
        {{"clock"}, "rm7util clock: a command is needed, one of: get, set"},
        {{"--timeout", "0", "info"}, "--timeout: a number of seconds from 1 to 3600, not \"0\""},
        {{"--timeout", "abc", "info"}, "--timeout: a number of seconds from 1 to 3600, not \"abc\""},
        {{"info", "--timeout", "3601"}, "a number of seconds from 1 to 3600, not \"3601\""},
        {{"--speed", "1200", "info"}, "--speed: 1200 not in"},
        {{"cw", "set", "7", "CQ"}, "rm7util cw set: N: Value 7 not in range 1 to 6"},
        {{"info", "--bogus"}, "rm7util info: unknown option \"--bogus\".\nRun"},
        {{"--prot", "sim0", "info"},
         "rm7util info: unknown option \"--prot\". Did you mean \"--port\"?",
         nullptr,
         Layer::kBoth},
        {{"info", "--prot=sim0"}, "unknown option \"--prot\". Did you mean \"--port\"?"},
        {{"firmware", "list", "--foldr", "x"}, "unknown option \"--foldr\". Did you mean \"--folder\"?"},
        {{"info", "-x"}, "unknown option \"-x\".\nRun"},
        {{"--simulate", "--sim-args=--rx-text 'CQ CQ", "info"}, "--sim-args: a ' is not closed", nullptr, Layer::kBoth},
    };
    for (const auto& m : mistakes) {
        CliRow row{.name = ::testing::PrintToString(m.words),
                   .layer = m.layer,
                   .words = m.words,
                   .status = 2,
                   .out = "",
                   .errHas = {m.says, "--help\" for the commands and options."},
                   .check = [](const CliOutcome&, const RadioIntake& intake, const Places&) {
                       EXPECT_EQ(intake.received, "");
                   }};
        if (m.notSaid != nullptr) {
            row.errNot.push_back(m.notSaid);
        }
        usage.rows.push_back(std::move(row));
    }
    groups.push_back(std::move(usage));

    // --simulate starts rm7-sim beside rm7util; in this process the radio in the process stands in
    // for it and reads no --sim-args.
    groups.push_back({.name = "SimulateRunsItsOwnRadio",
                      .layer = Layer::kPty,
                      .rows = {{.name = "with the simulator's arguments",
                                .words = {"--simulate", "--sim-args=--serial 4242", "info", "--json"},
                                .errHas = {"Simulated radio on /dev/"},
                                .json = {{"/serial_number", 4242}}},
                               {.name = "quiet", .words = {"--simulate", "-q", "info"}, .err = ""}}});

    // What the command needs and was not given is a mistake on the command line, with what to do.
    groups.push_back({.name = "APortNeitherGivenNorSavedIsAskedFor",
                      .rows = {{.name = "info",
                                .words = {"info"},
                                .status = 2,
                                .out = "",
                                .errNot = ForeignWordsBut(""),
                                .errOnce = {"rm7util: no port: Serial port name is missing\nhint: Give one with --port "
                                            "DEV or RM7_PORT",
                                            "Serial port name is missing"},
                                .hints = 1},
                               {.name = "doctor",
                                .words = {"doctor"},
                                .status = 2,
                                .errHas = {"rm7util: doctor: no port chosen\nhint: give --port DEV"}}}});
}

}  // namespace

std::string Places::Fill(std::string text) const {
    ReplaceAll(text, "{port}", port);
    ReplaceAll(text, "{dir}", dir.string());
    return text;
}

std::size_t RadioIntake::Count(std::string_view text) const {
    return Occurrences(received, text);
}

const std::vector<CliGroup>& CliGroups() {
    static const std::vector<CliGroup> groups = [] {
        std::vector<CliGroup> all;
        AddInfo(all);
        AddConfiguration(all);
        AddConfigSave(all);
        AddMemories(all);
        AddFirmwareCheck(all);
        AddUsage(all);
        return all;
    }();
    return groups;
}

std::vector<CliGroup> CliGroupsFor(Layer layer) {
    std::vector<CliGroup> groups;
    for (const CliGroup& g : CliGroups()) {
        if (RunsIn(g.layer, layer)) {
            groups.push_back(g);
        }
    }
    return groups;
}

void CheckRow(const CliRow& row, const CliOutcome& o, const RadioIntake& intake, const Places& places) {
    EXPECT_EQ(o.status, row.status) << o.err;
    if (row.out) {
        EXPECT_EQ(o.out, places.Fill(*row.out));
    }
    for (const std::string& s : row.outHas) {
        EXPECT_THAT(o.out, HasSubstr(places.Fill(s)));
    }
    if (row.err) {
        EXPECT_EQ(o.err, places.Fill(*row.err));
    }
    for (const std::string& s : row.errHas) {
        EXPECT_THAT(o.err, HasSubstr(places.Fill(s)));
    }
    for (const std::string& s : row.errNot) {
        EXPECT_THAT(o.err, Not(HasSubstr(places.Fill(s))));
    }
    for (const std::string& s : row.errOnce) {
        EXPECT_EQ(Occurrences(o.err, places.Fill(s)), 1u) << "said once: " << places.Fill(s) << "\nin: " << o.err;
    }
    if (row.hints) {
        EXPECT_EQ(Occurrences(o.err, "hint: "), static_cast<std::size_t>(*row.hints)) << o.err;
    }
    if (!row.json.empty()) {
        const nlohmann::json doc = nlohmann::json::parse(o.out, nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << "not JSON: " << o.out;
        for (const auto& [pointer, value] : row.json) {
            const nlohmann::json::json_pointer at(pointer);
            ASSERT_TRUE(doc.contains(at)) << pointer << " in " << o.out;
            EXPECT_EQ(doc[at], Filled(value, places)) << pointer;
        }
    }
    if (row.check) {
        row.check(o, intake, places);
    }
}

}  // namespace rm7::test
