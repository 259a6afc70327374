// The save and restore jobs against the in-process simulated radio, in virtual time: what the
// radio receives, what the dialog is told, and what reaches the disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "config/config_folder.h"
#include "config/restore_job.h"
#include "config/save_job.h"
#include "link/contact.h"
#include "link/radio_session.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "tests/support/example_config_file.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_job_view.h"
#include "tests/support/recording_notifier.h"
#include "tests/support/recording_prompts.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint32_t kSerialAddress = 0x83FA;

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWhole(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<fs::path> Entries(const fs::path& dir) {
    std::vector<fs::path> out(fs::directory_iterator(dir), fs::directory_iterator{});
    std::sort(out.begin(), out.end());
    return out;
}

// Random bytes everywhere but the serial number, which stays the radio's.
void FillRandom(std::vector<std::uint8_t>& eeprom, std::uint32_t seed) {
    const std::uint8_t hi = eeprom[kSerialAddress];
    const std::uint8_t lo = eeprom[kSerialAddress + 1];
    std::mt19937 rng(seed);
    for (auto& b : eeprom) {
        b = static_cast<std::uint8_t>(rng());
    }
    eeprom[kSerialAddress] = hi;
    eeprom[kSerialAddress + 1] = lo;
}

template <typename Bytes>
std::vector<std::uint8_t> RangeBytes(const Bytes& eeprom) {
    std::vector<std::uint8_t> out;
    for (const EepromRange& range : kConfigurationRanges) {
        out.insert(out.end(), eeprom.begin() + range.start, eeprom.begin() + range.End());
    }
    return out;
}

std::size_t CountPrefixed(const std::vector<std::string>& commands, const std::string& prefix, std::size_t from = 0) {
    return static_cast<std::size_t>(std::count_if(commands.begin() + static_cast<std::ptrdiff_t>(from), commands.end(),
                                                  [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

// The file dialogs' prompts: `file` chosen (the save's and the restore's), the restore reader's
// question answered with `answer`.
test::CRecordingPrompts Choosing(std::optional<fs::path> file, Answer answer = Answer::No) {
    test::CRecordingPrompts prompts;
    prompts.file = std::move(file);
    prompts.answer = answer;
    return prompts;
}

// The radio bench on a radio with this serial number and an EEPROM filled from the seed.
class SeededRadio : public test::CRadioBench {
  public:
    SeededRadio(std::uint16_t serial, std::uint32_t seed) : CRadioBench(Options(serial)) {
        FillRandom(radio->Eeprom(), seed);
    }
    static rm7sim::Options Options(std::uint16_t serial) {
        rm7sim::Options options = DefaultOptions();
        options.serial = serial;
        return options;
    }
    bool RunUntilEnded(const test::CRecordingJobView& view, std::uint32_t maxMs = 120000) {
        return pump.AdvanceUntil([&] { return view.Ended(); }, maxMs);
    }
};

// A complete file for this image and serial number, as a save writes it.
std::string FileText(const EepromImage& image, std::uint16_t serial) {
    std::string text;
    for (const std::string& line : ConfigurationFileLines({2024, 1, 31, 23, 59, 59}, image, {"02.54", serial})) {
        text += line + "\r\n";
    }
    return text;
}

std::unique_ptr<EepromImage> RandomImage(std::uint32_t seed) {
    auto image = std::make_unique<EepromImage>();
    std::vector<std::uint8_t> bytes(kEepromSize);
    FillRandom(bytes, seed);
    std::copy(bytes.begin(), bytes.end(), image->begin());
    return image;
}

class ConfigJobs : public ::testing::Test {
  protected:
    // The restore's backups go into the test's own folder.
    ConfigJobs() { setenv("XDG_DATA_HOME", (dir.Path() / "data").c_str(), 1); }

    std::function<fs::path()> DefaultFolder() {
        return [this] {
            const fs::path folder = dir.Path() / "default";
            fs::create_directories(folder);
            return folder;
        };
    }

    // The restore as the dialog makes it: the backup as the settings say (on, into the data folder).
    std::unique_ptr<CConfigRestoreJob> Restore(test::CRadioBench& radio, IJobView& view,
                                               CSettingsStore* settings = nullptr) {
        return std::make_unique<CConfigRestoreJob>(*radio.session, view, settings, DefaultFolder(),
                                                   ReadAutoBackupSettings(settings));
    }

    test::CTempFolder dir;
};

TEST_F(ConfigJobs, SaveFromOneRadioRestoresIntoAnotherByteForByte) {
    SeededRadio a(1234, 1);
    ASSERT_EQ(a.Contact(), kOk);
    const std::size_t contactCommandsA = a.radio->ReceivedCommands().size();
    const fs::path file = dir.Path() / "saved.RM7Config";
    {
        test::CRecordingJobView view;
        test::CRecordingPrompts choice = Choosing(file);
        CConfigSaveJob save(*a.session, view, nullptr, {2024, 1, 31, 23, 59, 59}, DefaultFolder());
        ASSERT_TRUE(save.Begin(choice.SaveFileDialog()));
        EXPECT_EQ(a.session->ActiveMachine(), &save.Machine());
        ASSERT_TRUE(a.RunUntilEnded(view));
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.Last().result, JobResult::kDone);
        EXPECT_EQ(choice.proposed, "SN01234.20240131T235959.RM7Config");
        EXPECT_EQ(view.progress.step, kSaveStepText);
        EXPECT_EQ(view.progress.range, 48u);  // 1562 / 32
        EXPECT_EQ(view.progress.position, 48u);
        EXPECT_THAT(view.busy, ElementsAre(true, false));
        // Said once, with the file, and that the radio was only read.
        EXPECT_THAT(view.Last().Lines(), ElementsAre(std::string(kConfigSavedText) + ": " + file.string(),
                                                     "Nothing on the radio was changed."));
        EXPECT_EQ(view.Last().radio, RadioState::kUnchanged);
        EXPECT_EQ(save.Folder(), dir.Path().string());
        save.End();
        EXPECT_EQ(a.session->ActiveMachine(), nullptr);
    }
    const auto commandsA = a.radio->ReceivedCommands();
    ASSERT_GT(commandsA.size(), contactCommandsA + 2);
    EXPECT_EQ(commandsA[contactCommandsA], "");
    EXPECT_EQ(commandsA[contactCommandsA + 1], "TT0");
    EXPECT_EQ(CountPrefixed(commandsA, "ER", contactCommandsA), 25u);
    EXPECT_EQ(commandsA.size(), contactCommandsA + 2 + 25);

    // The second radio has the same serial number and a configuration of its own.
    SeededRadio b(1234, 2);
    const std::vector<std::uint8_t> before = b.radio->Eeprom();
    ASSERT_EQ(b.Contact(), kOk);
    const std::size_t contactCommandsB = b.radio->ReceivedCommands().size();
    test::CRecordingJobView view;
    test::CRecordingPrompts prompts = Choosing(file);
    std::vector<std::string> commandsAtEnd;
    view.onOutcome = [&](const JobOutcome&) { commandsAtEnd = b.radio->ReceivedCommands(); };
    const auto restore = Restore(b, view);
    ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));

    // After the reset the radio is left alone for 8 seconds, counted down on the progress.
    ASSERT_TRUE(b.pump.AdvanceUntil([&] { return CountPrefixed(b.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
    const std::size_t atReset = b.radio->ReceivedCommands().size();
    b.pump.AdvanceBy(7999);
    EXPECT_EQ(b.radio->ReceivedCommands().size(), atReset);
    EXPECT_FALSE(view.Ended());
    EXPECT_THAT(view.countdown, ElementsAre(8u, 7u, 6u, 5u, 4u, 3u, 2u, 1u));

    ASSERT_TRUE(b.RunUntilEnded(view));
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kDone);
    EXPECT_EQ(view.progress.position, 48u);
    EXPECT_THAT(view.busy, ElementsAre(true, false));
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_THAT(b.notifier.status, Contains("Waiting 8 seconds for reset"));
    // Done, found again by the contact after the reset, and where the backup went.
    const fs::path backupFolder = dir.Path() / "data" / "Tarnwell" / "RM7 Utility" / "backups";
    ASSERT_EQ(view.Last().backup.parent_path(), backupFolder);
    EXPECT_THAT(view.Last().Lines(), ElementsAre(std::string(kConfigRestoredText) + ": " + file.string(),
                                                 "The radio answers and runs its firmware.",
                                                 "The configuration was backed up to " + view.Last().backup.string()));
    EXPECT_EQ(view.Last().radio, RadioState::kRunning);

    EXPECT_EQ(RangeBytes(b.radio->Eeprom()), RangeBytes(a.radio->Eeprom()));
    for (std::uint32_t address = 0; address < kEepromSize; ++address) {
        if (!IsConfigurationAddress(address)) {
            ASSERT_EQ(b.radio->Eeprom()[address], before[address]) << std::hex << address;
        }
    }

    // First the backup reads the radio as it was (poll, text terminal off, 25 reads) and keeps
    // it. Then the restore: poll, text terminal off, 25 blocks, the reset; then the contact
    // machine, and only after it has found the radio again is success reported.
    const auto commandsB = b.radio->ReceivedCommands();
    ASSERT_GT(commandsB.size(), contactCommandsB + 27);
    EXPECT_EQ(
        CountPrefixed(std::vector<std::string>(commandsB.begin() + static_cast<std::ptrdiff_t>(contactCommandsB),
                                               commandsB.begin() + static_cast<std::ptrdiff_t>(contactCommandsB) + 27),
                      "ER"),
        25u);
    const auto backups = fs::directory_iterator(backupFolder);
    ASSERT_NE(backups, fs::directory_iterator());
    ConfigurationFileContents backedUp;
    ASSERT_EQ(ReadConfigurationFile(backups->path(), {1234, false, nullptr}, backedUp), kOk);
    EepromImage backupImage{};
    ApplyRuns(backedUp.runs, backupImage);
    EXPECT_EQ(RangeBytes(backupImage), RangeBytes(before));
    const std::vector<std::string> restoreCommands(
        commandsB.begin() + static_cast<std::ptrdiff_t>(contactCommandsB) + 27, commandsB.end());
    ASSERT_EQ(restoreCommands.size(), 1u + 1 + 25 + 1 + 8);
    EXPECT_EQ(restoreCommands[0], "");
    EXPECT_EQ(restoreCommands[1], "TT0");
    EXPECT_EQ(CountPrefixed(restoreCommands, "EW"), 25u);
    EXPECT_THAT(std::vector<std::string>(restoreCommands.begin() + 27, restoreCommands.end()),
                ElementsAre("LDD20000", "", "I", "TT0", "RVM", "OM", "ER83FA0281", "RVD", "TQ"));
    EXPECT_EQ(commandsAtEnd, commandsB);
    EXPECT_EQ(b.model->firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_EQ(b.session->ActiveMachine(), nullptr);
}

TEST_F(ConfigJobs, SavedFileNamesAndIdentifiesTheRadio) {
    struct Case {
        std::uint16_t serial;
        const char* proposed;
        const char* serialLine;  // null: none
    };
    for (const Case& c : {Case{300, "SN00300.20250704T080910.RM7Config", "\r\nRM7 Serial Number = 00300\r\n"},
                          Case{0xFFFF, "20250704T080910.RM7Config", nullptr}}) {
        SCOPED_TRACE(c.serial);
        SeededRadio radio(c.serial, 3);
        ASSERT_EQ(radio.Contact(), kOk);
        test::CRecordingJobView view;
        test::CRecordingPrompts choice = Choosing(dir.Path() / c.proposed);
        CConfigSaveJob save(*radio.session, view, nullptr, {2025, 7, 4, 8, 9, 10}, DefaultFolder());
        ASSERT_TRUE(save.Begin(choice.SaveFileDialog()));
        ASSERT_TRUE(radio.RunUntilEnded(view));
        ASSERT_EQ(view.Last().result, JobResult::kDone);
        EXPECT_EQ(choice.proposed, c.proposed);

        const std::string text = ReadWhole(*choice.file);
        if (c.serialLine != nullptr) {
            EXPECT_NE(text.find(c.serialLine), std::string::npos);
        } else {
            EXPECT_EQ(text.find("Serial Number"), std::string::npos);
        }
        EXPECT_EQ(text.rfind("*Configuration saved on 2025-07-04 at 08:09:10\r\n", 0), 0u);
        EXPECT_NE(text.find("\r\nRM7 Firmware Version = 02.54\r\n"), std::string::npos);
        ConfigurationFileContents contents;
        ASSERT_EQ(ReadConfigurationFile(*choice.file, {c.serial, false, nullptr}, contents), kOk);
        auto image = std::make_unique<EepromImage>();
        ApplyRuns(contents.runs, *image);
        EXPECT_EQ(RangeBytes(*image), RangeBytes(radio.radio->Eeprom()));
    }
}

TEST_F(ConfigJobs, FolderIsTheStoredOneWhileItExistsAndIsRememberedAfterASave) {
    const fs::path stored = dir.Path() / "stored";
    fs::create_directories(stored);
    struct Case {
        std::string setting;
        fs::path expected;
    };
    for (const Case& c :
         {Case{"", dir.Path() / "default"}, Case{(dir.Path() / "gone").string(), dir.Path() / "default"},
          Case{stored.string(), stored}}) {
        SCOPED_TRACE(c.setting);
        CSettingsStore settings(dir.Path() / "settings.conf");
        settings.WriteString("", kConfigurationFolderSetting, c.setting);
        SeededRadio radio(1234, 4);
        test::CRecordingJobView view;
        test::CRecordingPrompts prompts;  // no file chosen: nothing runs, the dialog ends as cancelled
        {
            const auto restore = Restore(radio, view, &settings);
            EXPECT_FALSE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
            EXPECT_EQ(prompts.askedFolder, c.expected);
            EXPECT_FALSE(view.Ended());
        }
        std::string after;
        EXPECT_EQ(settings.ReadString("", kConfigurationFolderSetting, after), kOk);
        EXPECT_EQ(after, c.expected.string());
    }

    // A successful save remembers the chosen file's folder, in the settings file too.
    CSettingsStore settings(dir.Path() / "settings.conf");
    SeededRadio radio(1234, 5);
    ASSERT_EQ(radio.Contact(), kOk);
    test::CRecordingJobView view;
    test::CRecordingPrompts choice = Choosing(stored / "x.RM7Config");
    {
        CConfigSaveJob save(*radio.session, view, &settings, {2025, 1, 1, 0, 0, 0}, DefaultFolder());
        ASSERT_TRUE(save.Begin(choice.SaveFileDialog()));
        ASSERT_TRUE(radio.RunUntilEnded(view));
        ASSERT_EQ(view.Last().result, JobResult::kDone);
    }
    CSettingsStore reloaded(dir.Path() / "settings.conf");
    ASSERT_EQ(reloaded.Load(), kOk);
    std::string folder;
    EXPECT_EQ(reloaded.ReadString("", kConfigurationFolderSetting, folder), kOk);
    EXPECT_EQ(folder, stored.string());
}

TEST_F(ConfigJobs, CancelDuringSaveWritesNoFileAndKeepsAnEarlierOne) {
    struct Case {
        const char* name;
        bool silentRadio;  // cancelled during the speed search, else during the reads
        bool earlierFile;
    };
    for (const Case& c : {Case{"reads, earlier file", false, true}, Case{"reads, no file", false, false},
                          Case{"speed search, earlier file", true, true}}) {
        SCOPED_TRACE(c.name);
        test::CTempFolder folder;
        const fs::path file = folder.Path() / "target.RM7Config";
        if (c.earlierFile) {
            WriteWhole(file, "the earlier save\r\n");
        }
        SeededRadio radio(1234, 6);
        ASSERT_EQ(radio.Contact(), kOk);
        radio.radio->SetSilent(c.silentRadio);
        test::CRecordingJobView view;
        test::CRecordingPrompts choice = Choosing(file);
        CConfigSaveJob save(*radio.session, view, nullptr, {2025, 1, 1, 0, 0, 0}, DefaultFolder());
        ASSERT_TRUE(save.Begin(choice.SaveFileDialog()));
        if (c.silentRadio) {
            radio.pump.AdvanceBy(250);
        } else {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.progress.position >= 10; }, 60000));
        }
        // A save only reads: it stops without a question, at its next step.
        EXPECT_EQ(save.Cancel(), StopRequest::kStopping);
        EXPECT_EQ(save.Cancel(), StopRequest::kStopping);  // a second press changes nothing
        EXPECT_FALSE(view.Ended());
        ASSERT_TRUE(radio.RunUntilEnded(view, 10000));
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.Last().result, JobResult::kCancelled);
        EXPECT_THAT(view.Last().Lines(), ElementsAre(kSaveCancelledText, "Nothing on the radio was changed."));
        EXPECT_EQ(save.LastResult(), kErrorCancelled);
        EXPECT_THAT(view.busy, ElementsAre(true, false));
        EXPECT_TRUE(view.questions.empty());
        EXPECT_TRUE(view.boxes.empty());
        EXPECT_EQ(save.Cancel(), StopRequest::kIdle);
        if (c.earlierFile) {
            EXPECT_EQ(ReadWhole(file), "the earlier save\r\n");
            EXPECT_THAT(Entries(folder.Path()), ElementsAre(file));
        } else {
            EXPECT_TRUE(Entries(folder.Path()).empty());
        }
        EXPECT_LT(view.progress.position, 48u);
    }
}

TEST_F(ConfigJobs, FailedSaveSaysOnceWhyAndKeepsTheEarlierFile) {
    struct Case {
        const char* name;
        bool radioFallsSilent;
        bool missingFolder;
        Result expected;  // 0: the file classes' own code
    };
    for (const Case& c : {Case{"radio falls silent", true, false, kErrNoResponseReadEeprom},
                          Case{"file cannot be created", false, true, 0}}) {
        SCOPED_TRACE(c.name);
        test::CTempFolder folder;
        const fs::path file =
            c.missingFolder ? folder.Path() / "missing" / "x.RM7Config" : folder.Path() / "x.RM7Config";
        if (!c.missingFolder) {
            WriteWhole(file, "the earlier save\r\n");
        }
        SeededRadio radio(1234, 7);
        ASSERT_EQ(radio.Contact(), kOk);
        test::CRecordingJobView view;
        test::CRecordingPrompts choice = Choosing(file);
        CConfigSaveJob save(*radio.session, view, nullptr, {2025, 1, 1, 0, 0, 0}, DefaultFolder());
        ASSERT_TRUE(save.Begin(choice.SaveFileDialog()));
        if (c.radioFallsSilent) {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.progress.position >= 4; }, 60000));
            radio.radio->SetSilent(true);
        }
        ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return save.LastResult().has_value(); }, 120000));
        const Result r = *save.LastResult();
        if (c.expected != 0) {
            EXPECT_EQ(r, c.expected);
        } else {
            EXPECT_TRUE(Failed(r));
        }
        // Once, as a failure with its code and the system's words for it; no box of the job's own
        // (the view decides how a failure is shown).
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.Last().result, JobResult::kFailed);
        EXPECT_EQ(view.Last().code, r);
        EXPECT_EQ(view.Last().job, "config save");
        // A file that could not be written is named, in the system's words; the file classes open
        // no box of their own.
        const std::string why = c.expected == 0 ? file.string() + ": " + ErrorText(r) : ErrorText(r);
        EXPECT_THAT(view.Last().Lines(),
                    ElementsAre(std::string(kSaveFailedText) + ": " + why, "Nothing on the radio was changed."));
        EXPECT_TRUE(view.boxes.empty());
        EXPECT_TRUE(radio.notifier.boxes.empty());
        EXPECT_THAT(view.busy, ElementsAre(true, false));
        if (!c.missingFolder) {
            EXPECT_EQ(ReadWhole(file), "the earlier save\r\n");
        }
        EXPECT_EQ(Entries(folder.Path()).size(), c.missingFolder ? 0u : 1u);

        // Close after the failure has nothing to stop and says nothing more.
        EXPECT_EQ(save.Cancel(), StopRequest::kIdle);
        EXPECT_EQ(view.outcomes.size(), 1u);
    }
}

// Each way a file can be damaged; each is refused by the reader, with nothing sent to the radio.
struct Damage {
    const char* name;
    std::function<void(std::vector<std::string>& lines, bool& finalLineFeed)> apply;
    Result code;
    const char* message;
};

TEST_F(ConfigJobs, DamagedFileIsRefusedBeforeOneByteReachesTheRadio) {
    const auto image = RandomImage(8);
    const std::string good = FileText(*image, 1234);
    std::vector<std::string> goodLines;
    for (std::size_t start = 0, end; (end = good.find("\r\n", start)) != std::string::npos; start = end + 2) {
        goodLines.push_back(good.substr(start, end - start));
    }
    ASSERT_EQ(goodLines.size(), 6u + 49u + 1u);

    std::vector<Damage> damages = {
        {"hex digit changed in a data line",
         [](auto& lines, bool&) { lines[20][30] = lines[20][30] == '0' ? '1' : '0'; }, kErrConfigCorrupt,
         kAlteredFileText},
        {"comment changed", [](auto& lines, bool&) { lines[1] = "*Do not edit this file?"; }, kErrConfigCorrupt,
         kAlteredFileText},
        {"line added", [](auto& lines, bool&) { lines.insert(lines.begin() + 3, "*a note"); }, kErrConfigCorrupt,
         kAlteredFileText},
        {"data line removed", [](auto& lines, bool&) { lines.erase(lines.begin() + 30); }, kErrConfigCorrupt,
         kAlteredFileText},
        {"data line after the check line", [](auto& lines, bool&) { lines.push_back("MEM2 00 00 02 ABCD"); },
         kErrConfigIncomplete, kIncompleteFileText},
        {"no final line feed", [](auto&, bool& lf) { lf = false; }, kErrConfigIncomplete, kIncompleteFileText},
        {"check line renamed", [](auto& lines, bool&) { lines.back()[0] = 'D'; }, kErrConfigIncomplete,
         kIncompleteFileText},
        {"empty file", [](auto& lines, bool&) { lines.clear(); }, kErrConfigIncomplete, kIncompleteFileText},
    };
    // The first character of every other line, one at a time.
    for (std::size_t i = 0; i + 1 < goodLines.size(); ++i) {
        damages.push_back({"first character changed",
                           [i](auto& lines, bool&) { lines[i][0] = static_cast<char>(lines[i][0] + 1); },
                           kErrConfigCorrupt, kAlteredFileText});
    }

    SeededRadio radio(1234, 9);
    ASSERT_EQ(radio.Contact(), kOk);
    const std::size_t contactBytes = radio.radio->Received().size();
    for (std::size_t d = 0; d < damages.size(); ++d) {
        const Damage& damage = damages[d];
        SCOPED_TRACE(std::string(damage.name) + " #" + std::to_string(d));
        std::vector<std::string> lines = goodLines;
        bool finalLineFeed = true;
        damage.apply(lines, finalLineFeed);
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        if (!finalLineFeed) {
            text.resize(text.size() - 1);
        }
        const fs::path file = dir.Path() / "damaged.RM7Config";
        WriteWhole(file, text);

        test::CRecordingJobView view;
        test::CRecordingPrompts prompts = Choosing(file);
        const auto restore = Restore(radio, view);
        ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
        radio.pump.AdvanceBy(20000);
        EXPECT_EQ(restore->LastResult(), damage.code);
        // The reader's box says why; the outcome says it is a failure without a second box.
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].caption, kRestoreErrorCaption);
        EXPECT_EQ(view.boxes[0].text, damage.message);
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.Last().result, JobResult::kFailed);
        EXPECT_TRUE(view.Last().told);
        EXPECT_EQ(view.Last().radio, RadioState::kUnchanged);
        EXPECT_TRUE(view.busy.empty());
        EXPECT_TRUE(restore->Machine().IsIdle());
        EXPECT_EQ(radio.radio->Received().size(), contactBytes);
        EXPECT_EQ(restore->Cancel(), StopRequest::kIdle);
        EXPECT_TRUE(view.questions.empty());
    }
}

TEST_F(ConfigJobs, SerialNumberMismatchNeedsAdvancedModeAndAYes) {
    const auto image = RandomImage(10);
    const fs::path file = dir.Path() / "other.RM7Config";
    WriteWhole(file, FileText(*image, 1234));
    struct Case {
        const char* name;
        bool advanced;
        bool answer;
        bool restores;
    };
    for (const Case& c : {Case{"not advanced", false, true, false}, Case{"advanced, No", true, false, false},
                          Case{"advanced, Yes", true, true, true}}) {
        SCOPED_TRACE(c.name);
        SeededRadio radio(4321, 11);
        ASSERT_EQ(radio.Contact(), kOk);
        radio.model->advancedMode.Set(c.advanced ? 1 : 0);
        const std::size_t contactBytes = radio.radio->Received().size();
        test::CRecordingJobView view;
        test::CRecordingPrompts prompts = Choosing(file, c.answer ? Answer::Yes : Answer::No);
        const auto restore = Restore(radio, view);
        ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
        ASSERT_EQ(c.advanced ? prompts.asked.size() : view.boxes.size(), 1u);
        const std::string caption = c.advanced ? prompts.asked[0].caption : view.boxes[0].caption;
        const std::string text = c.advanced ? prompts.asked[0].text : view.boxes[0].text;
        EXPECT_EQ(caption, kSerialMismatchCaption);
        EXPECT_EQ(text, WithModelName(c.advanced ? kSerialMismatchQuestion : kSerialMismatchRefusal));
        EXPECT_THAT(text, HasSubstr("does not match the Serial Number of your RM7."));
        if (!c.restores) {
            radio.pump.AdvanceBy(20000);
            EXPECT_EQ(restore->LastResult(), kErrConfigSerialMismatch);
            EXPECT_EQ(radio.radio->Received().size(), contactBytes);
            continue;
        }
        ASSERT_TRUE(radio.RunUntilEnded(view));
        EXPECT_EQ(view.Last().result, JobResult::kDone);
        std::vector<std::uint8_t> expected(image->begin(), image->end());
        EXPECT_EQ(RangeBytes(radio.radio->Eeprom()), RangeBytes(expected));
        EXPECT_EQ(radio.model->serialNumber.Get(), 4321u);  // the serial number is not a configuration byte
    }
}

TEST_F(ConfigJobs, RestoreWritesOnlyWhatTheFileHolds) {
    // The short example file: one run of 32 bytes at 0x7E00, a progress bar of one step.
    const fs::path file = dir.Path() / "example.RM7Config";
    WriteWhole(file, test::kExampleConfigFile);
    SeededRadio radio(1234, 12);
    const std::vector<std::uint8_t> before = radio.radio->Eeprom();
    ASSERT_EQ(radio.Contact(), kOk);
    const std::size_t contactCommands = radio.radio->ReceivedCommands().size();
    test::CRecordingJobView view;
    test::CRecordingPrompts prompts = Choosing(file);
    const auto restore = Restore(radio, view);
    ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
    ASSERT_TRUE(radio.RunUntilEnded(view));
    EXPECT_EQ(view.progress.range, 1u);
    EXPECT_EQ(view.Last().result, JobResult::kDone);
    EXPECT_EQ(view.progress.position, 1u);
    const auto commands = radio.radio->ReceivedCommands();
    EXPECT_EQ(CountPrefixed(commands, "EW", contactCommands), 1u);
    EXPECT_THAT(commands, Contains("EW7E0020000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F72"));
    for (std::uint32_t address = 0; address < kEepromSize; ++address) {
        const auto expected =
            static_cast<std::uint8_t>((address >= 0x7E00 && address < 0x7E20) ? address - 0x7E00 : before[address]);
        ASSERT_EQ(radio.radio->Eeprom()[address], expected) << std::hex << address;
    }
}

TEST_F(ConfigJobs, InterruptingARestoreAsksFirstAndSaysWhatToDo) {
    const auto image = RandomImage(13);
    const fs::path file = dir.Path() / "restore.RM7Config";
    WriteWhole(file, FileText(*image, 1234));
    struct Case {
        const char* name;
        bool duringReset;  // else during the block writes
        bool answer;
    };
    for (const Case& c :
         {Case{"writes, No", false, false}, Case{"writes, Yes", false, true}, Case{"reset wait, Yes", true, true}}) {
        SCOPED_TRACE(c.name);
        SeededRadio radio(1234, 14);
        ASSERT_EQ(radio.Contact(), kOk);
        test::CRecordingJobView view;
        test::CRecordingPrompts prompts = Choosing(file);
        const auto restore = Restore(radio, view);
        ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
        if (c.duringReset) {
            ASSERT_TRUE(radio.pump.AdvanceUntil(
                [&] { return CountPrefixed(radio.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
            radio.pump.AdvanceBy(1000);
        } else {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.progress.position >= 10; }, 60000));
        }
        EXPECT_EQ(restore->Cancel(), StopRequest::kAsking);
        ASSERT_EQ(view.questions.size(), 1u);
        EXPECT_EQ(view.questions[0].kind, JobQuestion::Kind::kStop);
        EXPECT_EQ(view.questions[0].caption, kCriticalOperationCaption);
        EXPECT_EQ(view.questions[0].text, kInterruptRestoreQuestion);
        view.Answer(c.answer);
        const std::size_t commandsAtCancel = radio.radio->ReceivedCommands().size();
        ASSERT_TRUE(radio.RunUntilEnded(view, 60000));
        const auto commands = radio.radio->ReceivedCommands();
        ASSERT_EQ(view.outcomes.size(), 1u);
        if (!c.answer) {
            EXPECT_EQ(view.Last().result, JobResult::kDone);
            EXPECT_TRUE(view.boxes.empty());
            std::vector<std::uint8_t> expected(image->begin(), image->end());
            EXPECT_EQ(RangeBytes(radio.radio->Eeprom()), RangeBytes(expected));
            continue;
        }
        // Said once, in the outcome: cancelled, the radio's state, the backup made, what to do.
        EXPECT_EQ(view.Last().result, JobResult::kCancelled);
        EXPECT_TRUE(view.boxes.empty());
        ASSERT_FALSE(view.Last().backup.empty());
        EXPECT_TRUE(fs::exists(view.Last().backup));
        if (c.duringReset) {
            EXPECT_EQ(view.Last().radio, RadioState::kUnknown);
        } else {
            EXPECT_THAT(
                view.Last().Lines(),
                ElementsAre(kRestoreCancelledText, "The radio's configuration is partly written.",
                            "The configuration was backed up to " + view.Last().backup.string(), kRestoreAgainText));
        }
        EXPECT_EQ(radio.model->firmwareStatus.Get(), kFirmwareNone);
        // Nothing more was sent after the cancel: no reset unless it had already gone, no new contact.
        EXPECT_EQ(commands.size(), commandsAtCancel);
        EXPECT_EQ(CountPrefixed(commands, "LDD"), c.duringReset ? 1u : 0u);
        EXPECT_TRUE(radio.session->Contact().IsIdle());
    }
}

TEST_F(ConfigJobs, RestoreFailuresAreReportedWithTheirCodes) {
    const auto image = RandomImage(15);
    const fs::path file = dir.Path() / "restore.RM7Config";
    WriteWhole(file, FileText(*image, 1234));
    struct Case {
        const char* name;
        bool silentAfterReset;  // else silent during the writes
        Result code;
    };
    for (const Case& c : {Case{"radio silent during the writes", false, kErrNoResponseWriteEeprom},
                          Case{"radio not found again after its reset", true, kErrNoResponseAfterReset}}) {
        SCOPED_TRACE(c.name);
        SeededRadio radio(1234, 16);
        ASSERT_EQ(radio.Contact(), kOk);
        test::CRecordingJobView view;
        test::CRecordingPrompts prompts = Choosing(file);
        const auto restore = Restore(radio, view);
        ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
        if (c.silentAfterReset) {
            ASSERT_TRUE(radio.pump.AdvanceUntil(
                [&] { return CountPrefixed(radio.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
        } else {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.progress.position >= 5; }, 60000));
        }
        radio.radio->SetSilent(true);
        // Closing while the radio is sought again after its reset neither asks nor ends the job.
        if (c.silentAfterReset) {
            radio.pump.AdvanceBy(8500);
            ASSERT_TRUE(restore->Machine().IsIdle());
            EXPECT_EQ(restore->Cancel(), StopRequest::kIdle);
            EXPECT_TRUE(view.questions.empty());
            EXPECT_FALSE(view.Ended());
        }
        ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return restore->LastResult().has_value(); }, 200000));
        EXPECT_EQ(restore->LastResult(), c.code);
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.Last().result, JobResult::kFailed);
        EXPECT_EQ(view.Last().why, ErrorText(c.code));
        EXPECT_EQ(view.Last().Lines().front(), std::string(kRestoreFailedText) + ": " + ErrorText(c.code));
        EXPECT_FALSE(view.Last().backup.empty());
        EXPECT_TRUE(view.boxes.empty());
        EXPECT_EQ(CountPrefixed(radio.radio->ReceivedCommands(), "LDD"), c.silentAfterReset ? 1u : 0u);
        EXPECT_EQ(radio.model->firmwareStatus.Get(), kFirmwareNone);
        EXPECT_EQ(restore->Cancel(), StopRequest::kIdle);
    }
}

// The radio's cable pulled while the restore waits out the radio's reset: the job ends there and
// then, saying what happened, rather than when the 8 s are up and in terms of access rights.
TEST_F(ConfigJobs, UnplugDuringTheResetWaitEndsTheRestoreAtOnce) {
    const auto image = RandomImage(17);
    const fs::path file = dir.Path() / "restore.RM7Config";
    WriteWhole(file, FileText(*image, 1234));
    rm7sim::Options options = SeededRadio::Options(1234);
    options.faults.unplugAtReset = true;
    test::CRadioBench radio(options);
    ASSERT_EQ(radio.Contact(), kOk);
    test::CRecordingJobView view;
    test::CRecordingPrompts prompts = Choosing(file);
    const auto restore = Restore(radio, view);
    ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
    ASSERT_TRUE(
        radio.pump.AdvanceUntil([&] { return CountPrefixed(radio.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
    const std::uint32_t resetAt = radio.pump.TickCount();
    radio.pump.RunUntilIdle();
    EXPECT_EQ(radio.pump.TickCount(), resetAt);
    EXPECT_EQ(restore->LastResult(), kErrPortGone);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().why, "The radio's serial port went away (cable or adapter unplugged)");
    EXPECT_TRUE(radio.notifier.BoxLines().empty());  // no "COM Port Error ... Access is denied."
    EXPECT_FALSE(radio.model->IsPortOpen());
    EXPECT_TRUE(radio.session->Contact().IsIdle());
}

// A backup that cannot be written is a question: No ends the dialog before one byte is written,
// Yes restores without a backup; closing while the radio is read stops there, with no question.
TEST_F(ConfigJobs, AFailedBackupAsksBeforeTheRestore) {
    const auto image = RandomImage(18);
    const fs::path file = dir.Path() / "restore.RM7Config";
    WriteWhole(file, FileText(*image, 1234));
    // A file where the backups folder should be.
    fs::create_directories(dir.Path() / "data" / "Tarnwell" / "RM7 Utility");
    WriteWhole(dir.Path() / "data" / "Tarnwell" / "RM7 Utility" / "backups", "in the way");
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "Yes" : "No");
        SeededRadio radio(1234, 19);
        ASSERT_EQ(radio.Contact(), kOk);
        test::CRecordingJobView view;
        view.answer = goOn;
        test::CRecordingPrompts prompts = Choosing(file);
        const auto restore = Restore(radio, view);
        ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
        ASSERT_TRUE(radio.RunUntilEnded(view));
        ASSERT_EQ(view.questions.size(), 1u);
        EXPECT_EQ(view.questions[0].kind, JobQuestion::Kind::kGoOnWithoutBackup);
        EXPECT_EQ(view.questions[0].caption, kBackupFailedCaption);
        EXPECT_EQ(view.questions[0].text, "The configuration backup could not be written into " +
                                              (dir.Path() / "data" / "Tarnwell" / "RM7 Utility" / "backups").string() +
                                              ": Error code 0x000000B7: " + ErrorText(183) +
                                              ".\n\nGo on without a backup?");
        // No: a failure of the backup, nothing written; Yes: restored, and no backup named.
        EXPECT_EQ(view.Last().result, goOn ? JobResult::kDone : JobResult::kFailed);
        EXPECT_EQ(view.Last().what, goOn ? std::string(kConfigRestoredText) : std::string(kJobNotStartedText));
        EXPECT_TRUE(view.Last().backup.empty());
        EXPECT_EQ(CountPrefixed(radio.radio->ReceivedCommands(), "EW"), goOn ? 25u : 0u);
        EXPECT_THAT(view.busy, ElementsAre(true, false));
    }

    SeededRadio radio(1234, 20);
    ASSERT_EQ(radio.Contact(), kOk);
    test::CRecordingJobView view;
    test::CRecordingPrompts prompts = Choosing(file);
    const auto restore = Restore(radio, view);
    ASSERT_TRUE(restore->Begin(prompts.FileAndQuestion<CConfigRestoreJob::Prompts>()));
    ASSERT_TRUE(
        radio.pump.AdvanceUntil([&] { return CountPrefixed(radio.radio->ReceivedCommands(), "ER") > 3; }, 60000));
    EXPECT_EQ(restore->Cancel(), StopRequest::kStopping);
    ASSERT_TRUE(radio.RunUntilEnded(view));
    EXPECT_EQ(view.Last().result, JobResult::kCancelled);
    EXPECT_EQ(view.Last().what, kRestoreCancelledText);
    EXPECT_EQ(view.Last().radio, RadioState::kUnchanged);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(CountPrefixed(radio.radio->ReceivedCommands(), "EW"), 0u);
}

}  // namespace
}  // namespace rm7
