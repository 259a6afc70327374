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
#include "config/restore_machine.h"
#include "config/save_machine.h"
#include "link/contact.h"
#include "link/radio_session.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "tests/support/example_config_file.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_notifier.h"
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

class CRecordingView final : public IConfigJobView {
  public:
    struct Box {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };

    void SetRange(std::uint32_t steps) override { range = steps; }
    void SetPosition(std::uint32_t step) override { position = step; }
    void SetBusyCursor(bool busy) override { cursor.push_back(busy); }
    void SetCancelButtonText(const std::string& text) override { cancelText = text; }
    void EndDialog(int result) override {
        ended = result;
        if (onEnd) {
            onEnd();
        }
    }
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override {
        messages.push_back({caption, text, icon});
    }
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override {
        questions.push_back({caption, text, icon});
        return answer;
    }
    std::optional<fs::path> AskSaveFileName(const fs::path& folder, const std::string& proposedName) override {
        askedFolder = folder;
        proposed = proposedName;
        return savePath;
    }
    std::optional<fs::path> AskOpenFileName(const fs::path& folder) override {
        askedFolder = folder;
        return openPath;
    }

    std::uint32_t range = 0;
    std::uint32_t position = 0;
    std::vector<bool> cursor;
    std::string cancelText = "Cancel";
    std::optional<int> ended;
    std::function<void()> onEnd;
    std::vector<Box> messages;
    std::vector<Box> questions;
    bool answer = false;
    fs::path askedFolder;
    std::string proposed;
    std::optional<fs::path> savePath;
    std::optional<fs::path> openPath;
};

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
    bool RunUntilEnded(const CRecordingView& view, std::uint32_t maxMs = 120000) {
        return pump.AdvanceUntil([&] { return view.ended.has_value(); }, maxMs);
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

    test::CTempFolder dir;
};

TEST_F(ConfigJobs, SaveFromOneRadioRestoresIntoAnotherByteForByte) {
    SeededRadio a(1234, 1);
    ASSERT_EQ(a.Contact(), kOk);
    const std::size_t contactCommandsA = a.radio->ReceivedCommands().size();
    const fs::path file = dir.Path() / "saved.RM7Config";
    {
        CRecordingView view;
        view.savePath = file;
        CConfigSaveJob save(*a.session, view, nullptr, {2024, 1, 31, 23, 59, 59}, DefaultFolder());
        save.Begin();
        EXPECT_EQ(a.session->ActiveMachine(), &save.Machine());
        ASSERT_TRUE(a.RunUntilEnded(view));
        EXPECT_EQ(view.ended, CConfigSaveJob::kSaved);
        EXPECT_EQ(view.proposed, "SN01234.20240131T235959.RM7Config");
        EXPECT_EQ(view.range, 48u);  // 1562 / 32
        EXPECT_EQ(view.position, 48u);
        EXPECT_THAT(view.cursor, ElementsAre(true, false));
        EXPECT_THAT(a.notifier.status, Contains(kConfigSavedText));
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
    CRecordingView view;
    view.openPath = file;
    std::vector<std::string> commandsAtEnd;
    view.onEnd = [&] { commandsAtEnd = b.radio->ReceivedCommands(); };
    CConfigRestoreJob restore(*b.session, view, nullptr, DefaultFolder());
    restore.Begin();

    // After the reset the radio is left alone for 8 seconds.
    ASSERT_TRUE(b.pump.AdvanceUntil([&] { return CountPrefixed(b.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
    const std::size_t atReset = b.radio->ReceivedCommands().size();
    b.pump.AdvanceBy(7999);
    EXPECT_EQ(b.radio->ReceivedCommands().size(), atReset);
    EXPECT_FALSE(view.ended.has_value());

    ASSERT_TRUE(b.RunUntilEnded(view));
    EXPECT_EQ(view.ended, CConfigRestoreJob::kRestored);
    EXPECT_EQ(view.position, 48u);
    EXPECT_THAT(view.cursor, ElementsAre(true, false));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_THAT(b.notifier.status, Contains("Waiting 8 seconds for reset"));
    EXPECT_THAT(b.notifier.status, Contains(kConfigRestoredText));

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
    const auto backups = fs::directory_iterator(dir.Path() / "data" / "Tarnwell" / "RM7 Utility" / "backups");
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
        CRecordingView view;
        view.savePath = dir.Path() / c.proposed;
        CConfigSaveJob save(*radio.session, view, nullptr, {2025, 7, 4, 8, 9, 10}, DefaultFolder());
        save.Begin();
        ASSERT_TRUE(radio.RunUntilEnded(view));
        ASSERT_EQ(view.ended, CConfigSaveJob::kSaved);
        EXPECT_EQ(view.proposed, c.proposed);

        const std::string text = ReadWhole(*view.savePath);
        if (c.serialLine != nullptr) {
            EXPECT_NE(text.find(c.serialLine), std::string::npos);
        } else {
            EXPECT_EQ(text.find("Serial Number"), std::string::npos);
        }
        EXPECT_EQ(text.rfind("*Configuration saved on 2025-07-04 at 08:09:10\r\n", 0), 0u);
        EXPECT_NE(text.find("\r\nRM7 Firmware Version = 02.54\r\n"), std::string::npos);
        ConfigurationFileContents contents;
        ASSERT_EQ(ReadConfigurationFile(*view.savePath, {c.serial, false, nullptr}, contents), kOk);
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
        CRecordingView view;  // no file chosen: the dialog ends as cancelled
        {
            CConfigRestoreJob restore(*radio.session, view, &settings, DefaultFolder());
            restore.Begin();
            EXPECT_EQ(view.askedFolder, c.expected);
            EXPECT_EQ(view.ended, CConfigRestoreJob::kCancelled);
        }
        std::string after;
        EXPECT_EQ(settings.ReadString("", kConfigurationFolderSetting, after), kOk);
        EXPECT_EQ(after, c.expected.string());
    }

    // A successful save remembers the chosen file's folder, in the settings file too.
    CSettingsStore settings(dir.Path() / "settings.conf");
    SeededRadio radio(1234, 5);
    ASSERT_EQ(radio.Contact(), kOk);
    CRecordingView view;
    view.savePath = stored / "x.RM7Config";
    {
        CConfigSaveJob save(*radio.session, view, &settings, {2025, 1, 1, 0, 0, 0}, DefaultFolder());
        save.Begin();
        ASSERT_TRUE(radio.RunUntilEnded(view));
        ASSERT_EQ(view.ended, CConfigSaveJob::kSaved);
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
        CRecordingView view;
        view.savePath = file;
        CConfigSaveJob save(*radio.session, view, nullptr, {2025, 1, 1, 0, 0, 0}, DefaultFolder());
        save.Begin();
        if (c.silentRadio) {
            radio.pump.AdvanceBy(250);
        } else {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.position >= 10; }, 60000));
        }
        radio.notifier.status.clear();
        save.Cancel();
        EXPECT_THAT(radio.notifier.status, ElementsAre(kSaveCancelledText));  // at once
        ASSERT_TRUE(radio.RunUntilEnded(view, 10000));
        EXPECT_EQ(view.ended, CConfigSaveJob::kCancelled);
        EXPECT_EQ(save.LastResult(), kErrorCancelled);
        EXPECT_THAT(view.cursor, ElementsAre(true, false));
        EXPECT_TRUE(view.messages.empty());
        if (c.earlierFile) {
            EXPECT_EQ(ReadWhole(file), "the earlier save\r\n");
            EXPECT_THAT(Entries(folder.Path()), ElementsAre(file));
        } else {
            EXPECT_TRUE(Entries(folder.Path()).empty());
        }
        EXPECT_LT(view.position, 48u);
    }
}

TEST_F(ConfigJobs, FailedSaveKeepsTheDialogOpenWithCloseAndTheEarlierFile) {
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
        CRecordingView view;
        view.savePath = file;
        CConfigSaveJob save(*radio.session, view, nullptr, {2025, 1, 1, 0, 0, 0}, DefaultFolder());
        save.Begin();
        if (c.radioFallsSilent) {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.position >= 4; }, 60000));
            radio.radio->SetSilent(true);
        }
        ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return save.LastResult().has_value(); }, 120000));
        const Result r = *save.LastResult();
        if (c.expected != 0) {
            EXPECT_EQ(r, c.expected);
        } else {
            EXPECT_TRUE(Failed(r));
        }
        // Said once, by the dialog: the file classes open no box of their own. A file that could
        // not be written is named, in the system's words.
        EXPECT_TRUE(radio.notifier.boxes.empty());
        EXPECT_FALSE(view.ended.has_value());
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].caption, kSaveErrorCaption);
        EXPECT_EQ(view.messages[0].text, c.expected == 0 ? file.string() + ": " + ErrorText(r) : ErrorText(r));
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(view.cancelText, "Close");
        EXPECT_THAT(radio.notifier.status, Contains(kSaveFailedText));
        EXPECT_THAT(view.cursor, ElementsAre(true, false));
        if (!c.missingFolder) {
            EXPECT_EQ(ReadWhole(file), "the earlier save\r\n");
        }
        EXPECT_EQ(Entries(folder.Path()).size(), c.missingFolder ? 0u : 1u);

        // Close ends the dialog as failed, without claiming a cancellation.
        radio.notifier.status.clear();
        save.Cancel();
        EXPECT_EQ(view.ended, CConfigSaveJob::kFailed);
        EXPECT_THAT(radio.notifier.status, Not(Contains(kSaveCancelledText)));
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

        CRecordingView view;
        view.openPath = file;
        CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
        restore.Begin();
        radio.pump.AdvanceBy(20000);
        EXPECT_EQ(restore.LastResult(), damage.code);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].caption, kRestoreErrorCaption);
        EXPECT_EQ(view.messages[0].text, damage.message);
        EXPECT_TRUE(view.cursor.empty());
        EXPECT_TRUE(restore.Machine().IsIdle());
        EXPECT_EQ(radio.radio->Received().size(), contactBytes);
        EXPECT_FALSE(view.ended.has_value());  // idle until closed
        restore.CloseRequest();
        EXPECT_TRUE(view.questions.empty());
        EXPECT_EQ(view.ended, CConfigRestoreJob::kFailed);
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
        CRecordingView view;
        view.openPath = file;
        view.answer = c.answer;
        CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
        restore.Begin();
        ASSERT_EQ(c.advanced ? view.questions.size() : view.messages.size(), 1u);
        const CRecordingView::Box& box = c.advanced ? view.questions[0] : view.messages[0];
        EXPECT_EQ(box.caption, kSerialMismatchCaption);
        EXPECT_EQ(box.text, WithModelName(c.advanced ? kSerialMismatchQuestion : kSerialMismatchRefusal));
        EXPECT_THAT(box.text, HasSubstr("does not match the Serial Number of your RM7."));
        if (!c.restores) {
            radio.pump.AdvanceBy(20000);
            EXPECT_EQ(restore.LastResult(), kErrConfigSerialMismatch);
            EXPECT_EQ(radio.radio->Received().size(), contactBytes);
            continue;
        }
        ASSERT_TRUE(radio.RunUntilEnded(view));
        EXPECT_EQ(view.ended, CConfigRestoreJob::kRestored);
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
    CRecordingView view;
    view.openPath = file;
    CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
    restore.Begin();
    ASSERT_TRUE(radio.RunUntilEnded(view));
    EXPECT_EQ(view.range, 1u);
    EXPECT_EQ(view.ended, CConfigRestoreJob::kRestored);
    EXPECT_EQ(view.position, 1u);
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
        CRecordingView view;
        view.openPath = file;
        view.answer = c.answer;
        CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
        restore.Begin();
        if (c.duringReset) {
            ASSERT_TRUE(radio.pump.AdvanceUntil(
                [&] { return CountPrefixed(radio.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
            radio.pump.AdvanceBy(1000);
        } else {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.position >= 10; }, 60000));
        }
        const std::size_t commandsAtCancel = radio.radio->ReceivedCommands().size();
        restore.CloseRequest();
        ASSERT_EQ(view.questions.size(), 1u);
        EXPECT_EQ(view.questions[0].caption, kCriticalOperationCaption);
        EXPECT_EQ(view.questions[0].text, kInterruptRestoreQuestion);
        EXPECT_FALSE(view.ended.has_value());  // the completion closes the dialog, not the question
        ASSERT_TRUE(radio.RunUntilEnded(view, 60000));
        const auto commands = radio.radio->ReceivedCommands();
        if (!c.answer) {
            EXPECT_EQ(view.ended, CConfigRestoreJob::kRestored);
            EXPECT_TRUE(view.messages.empty());
            std::vector<std::uint8_t> expected(image->begin(), image->end());
            EXPECT_EQ(RangeBytes(radio.radio->Eeprom()), RangeBytes(expected));
            continue;
        }
        EXPECT_EQ(view.ended, CConfigRestoreJob::kCancelled);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].caption, kCriticalOperationCaption);
        EXPECT_EQ(view.messages[0].text, kRestoreInterruptedText);
        EXPECT_THAT(radio.notifier.status, Contains(kRestoreCancelledText));
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
        CRecordingView view;
        view.openPath = file;
        CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
        restore.Begin();
        if (c.silentAfterReset) {
            ASSERT_TRUE(radio.pump.AdvanceUntil(
                [&] { return CountPrefixed(radio.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
        } else {
            ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return view.position >= 5; }, 60000));
        }
        radio.radio->SetSilent(true);
        // Closing while the radio is sought again after its reset neither asks nor closes.
        if (c.silentAfterReset) {
            radio.pump.AdvanceBy(8500);
            ASSERT_TRUE(restore.Machine().IsIdle());
            restore.CloseRequest();
            EXPECT_TRUE(view.questions.empty());
            EXPECT_FALSE(view.ended.has_value());
        }
        ASSERT_TRUE(radio.pump.AdvanceUntil([&] { return restore.LastResult().has_value(); }, 200000));
        EXPECT_EQ(restore.LastResult(), c.code);
        EXPECT_FALSE(view.ended.has_value());
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].caption, kRestoreErrorCaption);
        EXPECT_EQ(view.messages[0].text, ErrorText(c.code));
        EXPECT_EQ(view.cancelText, "Close");
        EXPECT_THAT(radio.notifier.status, Contains(kRestoreFailedText));
        EXPECT_EQ(CountPrefixed(radio.radio->ReceivedCommands(), "LDD"), c.silentAfterReset ? 1u : 0u);
        EXPECT_EQ(radio.model->firmwareStatus.Get(), kFirmwareNone);
        restore.CloseRequest();
        EXPECT_EQ(view.ended, CConfigRestoreJob::kFailed);
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
    CRecordingView view;
    view.openPath = file;
    CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
    restore.Begin();
    ASSERT_TRUE(
        radio.pump.AdvanceUntil([&] { return CountPrefixed(radio.radio->ReceivedCommands(), "LDD") > 0; }, 60000));
    const std::uint32_t resetAt = radio.pump.TickCount();
    radio.pump.RunUntilIdle();
    EXPECT_EQ(radio.pump.TickCount(), resetAt);
    EXPECT_EQ(restore.LastResult(), kErrPortGone);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].caption, kRestoreErrorCaption);
    EXPECT_EQ(view.messages[0].text, "The radio's serial port went away (cable or adapter unplugged)");
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
        CRecordingView view;
        view.openPath = file;
        view.answer = goOn;
        CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
        restore.Begin();
        ASSERT_TRUE(radio.RunUntilEnded(view));
        ASSERT_EQ(view.questions.size(), 1u);
        EXPECT_EQ(view.questions[0].caption, kBackupFailedCaption);
        EXPECT_EQ(view.questions[0].text, "The configuration backup could not be written into " +
                                              (dir.Path() / "data" / "Tarnwell" / "RM7 Utility" / "backups").string() +
                                              ": Error code 0x000000B7: " + ErrorText(183) +
                                              ".\n\nGo on without a backup?");
        EXPECT_EQ(view.ended, goOn ? CConfigRestoreJob::kRestored : CConfigRestoreJob::kCancelled);
        EXPECT_EQ(CountPrefixed(radio.radio->ReceivedCommands(), "EW"), goOn ? 25u : 0u);
        EXPECT_THAT(view.cursor, ElementsAre(true, false));
    }

    SeededRadio radio(1234, 20);
    ASSERT_EQ(radio.Contact(), kOk);
    CRecordingView view;
    view.openPath = file;
    CConfigRestoreJob restore(*radio.session, view, nullptr, DefaultFolder());
    restore.Begin();
    ASSERT_TRUE(
        radio.pump.AdvanceUntil([&] { return CountPrefixed(radio.radio->ReceivedCommands(), "ER") > 3; }, 60000));
    restore.CloseRequest();
    ASSERT_TRUE(radio.RunUntilEnded(view));
    EXPECT_EQ(view.ended, CConfigRestoreJob::kCancelled);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(CountPrefixed(radio.radio->ReceivedCommands(), "EW"), 0u);
    EXPECT_THAT(radio.notifier.status, Contains(kRestoreCancelledText));
}

}  // namespace
}  // namespace rm7
