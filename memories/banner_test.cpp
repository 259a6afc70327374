// The power-on banner: its text conversions, and its machine and sheet job against the
// in-process simulated radio in virtual time.
#include "memories/banner_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error_text.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recorded_field.h"
#include "tests/support/recording_job_view.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

TEST(BannerText, ReadsUpToTheFirstZeroOrErasedByte) {
    struct Case {
        std::string bytes;
        std::string text;
    } const cases[] = {
        {std::string(23, '\xFF'), ""},
        {std::string("HELLO\0WORLD", 11) + std::string(12, '\xFF'), "HELLO"},
        {"AB\xFF"
         "CD",
         "AB"},
        {"\xC4"
         "RGER",
         "\xC3\x84RGER"},  // ISO-8859-1 in, UTF-8 out
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BannerTextFromBytes(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()), c.text);
    }
}

TEST(BannerText, TidiesAndConvertsWhatIsSaved) {
    EXPECT_EQ(TidyBannerText("cq de g4abc  \t "), "CQ DE G4ABC");
    EXPECT_EQ(TidyBannerText("  lead"), "  LEAD");
    EXPECT_EQ(TidyBannerText("\xC3\xA4\xC3\xB7"), "\xC3\x84\xC3\xB7");  // a-umlaut up, division sign kept

    BannerBuffer buffer;
    buffer.fill(0x55);
    ASSERT_EQ(BannerBytesFromText("HELLO", buffer), kOk);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 6), std::string("HELLO\0", 6));
    EXPECT_EQ(buffer[22], 0);

    ASSERT_EQ(BannerBytesFromText(std::string(22, 'X'), buffer), kOk);
    EXPECT_EQ(buffer[21], 'X');
    EXPECT_EQ(buffer[22], 0);
    EXPECT_EQ(BannerBytesFromText(std::string(23, 'X'), buffer), kErrorInvalidParameter);

    // A euro sign has no ISO-8859-1 byte; a y-diaeresis (0xFF) would read back as the end.
    ASSERT_EQ(BannerBytesFromText("A\xE2\x82\xAC"
                                  "B\xC3\xBF",
                                  buffer),
              kOk);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), std::string("A?B?\0", 5));
}

// The sheet's own controls, and the job shell's recording view: an outcome is the end of the
// job the sheet would show (and close on when done).
class CRecordingBannerView final : public IBannerView {
  public:
    void ShowText(const std::string& value) override { text.Set(value); }
    void SetChanged(bool value) override { changed.Set(value); }
    void SetEditable(bool value) override { editable.Set(value); }
    std::size_t Ends() const { return job.outcomes.size(); }

    test::CRecordingJobView job;
    test::CRecordedField<std::string> text;
    test::CRecordedField<bool> changed{false};
    test::CRecordedField<bool> editable{true};
};

class BannerJob : public ::testing::Test {
  protected:
    void ShowAndRead(const std::string& eepromBytes) {
        bench.SetEeprom(kBannerAddress, eepromBytes);
        job.Show();
        EXPECT_EQ(bench.session->ActiveMachine(), &job.Machine());
        EXPECT_FALSE(view.editable.Now());
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return job.Machine().IsIdle(); }, 60000));
    }

    CRadioBench bench{BenchStart::Contacted};
    CRecordingBannerView view;
    CBannerJob job{*bench.session, view.job, &view};
};

TEST_F(BannerJob, AnErasedBannerReadsAsEmptyWithOneReadAndNoOtherCommand) {
    ShowAndRead(std::string(23, '\xFF'));
    EXPECT_THAT(view.text.values, IsEmpty());  // the value stays empty: nothing to tell
    EXPECT_TRUE(view.editable.Now());
    EXPECT_EQ(view.Ends(), 0u);  // a read is no end
    const auto commands = bench.JobCommands();
    ASSERT_THAT(commands, SizeIs(1));
    EXPECT_EQ(commands[0].substr(0, 8), "ER83E016");  // 22 bytes at 0x83E0
    EXPECT_EQ(job.Machine().text.Get(), "");
}

TEST_F(BannerJob, SavingWritesTheTextAndItsZeroByteThenReadsItBack) {
    ShowAndRead(std::string("OLD BANNER") + std::string(13, '\xFF'));
    EXPECT_THAT(view.text.values, ElementsAre("OLD BANNER"));
    const std::string after = bench.EepromText(kBannerAddress + 6, 17);

    job.EditFinished("hello   ");
    EXPECT_EQ(job.Machine().text.Pending(), "HELLO");
    EXPECT_TRUE(view.changed.Now());
    const std::size_t before = bench.JobCommands().size();
    EXPECT_TRUE(job.Apply());  // stays open until the write and the read-back are done
    EXPECT_FALSE(view.editable.Now());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return view.Ends() > 0; }, 60000));

    const auto commands = bench.JobCommands();
    ASSERT_THAT(commands, SizeIs(before + 2));
    EXPECT_EQ(commands[before].substr(0, 20),
              "EW83E006"
              "48454C4C4F00");
    EXPECT_EQ(commands[before + 1].substr(0, 8), "ER83E016");
    EXPECT_EQ(bench.EepromText(kBannerAddress, 6), std::string("HELLO\0", 6));
    EXPECT_EQ(bench.EepromText(kBannerAddress + 6, 17), after);  // bytes past the zero untouched
    EXPECT_EQ(job.Machine().text.Get(), "HELLO");
    EXPECT_THAT(view.job.boxes, IsEmpty());
    ASSERT_EQ(view.Ends(), 1u);
    EXPECT_EQ(view.job.Last().Lines(), (std::vector<std::string>{"The power-on banner now reads \"HELLO\"",
                                                                 RadioStateText(RadioState::kRunning)}));
}

TEST_F(BannerJob, AnUnchangedTextSavesNothing) {
    ShowAndRead(std::string("CQ") + std::string(21, '\0'));
    const std::size_t before = bench.JobCommands().size();
    for (const char* edit : {"CQ", "cq  ", "CQX"}) {
        job.EditFinished(edit);
    }
    job.EditFinished("CQ ");  // changed back to the value read
    EXPECT_FALSE(view.changed.Now());
    EXPECT_FALSE(job.Apply());  // nothing to do: the sheet closes as usual
    bench.pump.AdvanceBy(10000);
    EXPECT_EQ(bench.JobCommands().size(), before);
}

TEST_F(BannerJob, CancelDuringTheReadEndsCancelledWithoutABox) {
    job.Show();
    bench.pump.AdvanceBy(1);
    ASSERT_FALSE(job.Machine().IsIdle());
    EXPECT_TRUE(job.QueryCancel());  // open until the machine has stopped
    EXPECT_EQ(view.Ends(), 0u);
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return view.Ends() > 0; }, 60000));
    EXPECT_EQ(job.Machine().GetResult(), kErrorCancelled);
    EXPECT_EQ(view.job.Last().Lines(),
              (std::vector<std::string>{kBannerReadCancelledText, RadioStateText(RadioState::kUnchanged)}));
    EXPECT_FALSE(view.editable.Now());
    EXPECT_THAT(view.job.boxes, IsEmpty());
    EXPECT_FALSE(job.QueryCancel());  // idle now: the sheet just closes
}

TEST_F(BannerJob, AFailedReadIsToldOnceAndKeepsTheBoxClosed) {
    bench.radio->SetSilent(true);
    const std::uint32_t start = bench.pump.TickCount();
    job.Show();
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return view.Ends() > 0; }, 60000));
    EXPECT_EQ(job.Machine().GetResult(), kErrNoResponseReadEeprom);
    EXPECT_EQ(bench.pump.TickCount() - start, 8u * 2000u);  // the retry limit, 2000 ms each
    ASSERT_EQ(view.Ends(), 1u);
    EXPECT_EQ(view.job.Last().Lines(),
              (std::vector<std::string>{std::string(kBannerReadFailedText) + ": " + ErrorText(0xE2000050),
                                        RadioStateText(RadioState::kUnchanged)}));
    EXPECT_FALSE(view.editable.Now());  // nothing read is nothing to save
}

TEST_F(BannerJob, AFailedSaveIsToldRatherThanPassedOverInSilence) {
    ShowAndRead(std::string(23, '\xFF'));
    job.EditFinished("NEW");
    bench.radio->SetSilent(true);
    EXPECT_TRUE(job.Apply());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return view.Ends() > 0; }, 60000));
    EXPECT_EQ(job.Machine().GetResult(), kErrNoResponseWriteEeprom);
    ASSERT_EQ(view.Ends(), 1u);
    EXPECT_EQ(view.job.Last().result, JobResult::kFailed);
    EXPECT_EQ(view.job.Last().Lines(),
              (std::vector<std::string>{std::string(kBannerSaveFailedText) + ": " + ErrorText(0xE2000051),
                                        kBannerReadAgainText}));
}

TEST_F(BannerJob, SaveWhileStillReadingKeepsTheSheetAndTheRead) {
    bench.SetEeprom(kBannerAddress, std::string("RADIO") + std::string(18, '\0'));
    job.Show();
    job.EditFinished("TYPED EARLY");
    EXPECT_TRUE(job.Apply());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return job.Machine().IsIdle(); }, 60000));
    EXPECT_EQ(job.Machine().GetResult(), kOk);
    EXPECT_EQ(view.Ends(), 0u);
    EXPECT_THAT(view.text.values, ElementsAre("RADIO"));
    EXPECT_EQ(bench.EepromText(kBannerAddress, 5), "RADIO");
}

TEST_F(BannerJob, HidingEndsTheObservationsAndTheActiveMachine) {
    ShowAndRead(std::string(23, '\xFF'));
    job.Hide();
    EXPECT_EQ(bench.session->ActiveMachine(), nullptr);
    job.Machine().text.Set("ELSEWHERE");
    EXPECT_THAT(view.text.values, IsEmpty());
}

}  // namespace
}  // namespace rm7
