#include "firmware/dsp_loader_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/intel_hex.h"
#include "tests/support/firmware_files.h"
#include "tests/support/loader_rig.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::CLoaderRig;
using test::CScriptedRadio;
using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::string Bytes(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(v.data()) + from, n);
}

std::string Announcement(const std::string& chunk) {
    unsigned sum = 0;
    for (char c : chunk) {
        sum += static_cast<std::uint8_t>(c);
    }
    return StrFormat("LDF2%02X%02X;", static_cast<unsigned>(chunk.size()), sum % 256);
}

class DspLoaderScriptTest : public ::testing::Test {
  protected:
    Result Load(CScriptedRadio& radio, const std::filesystem::path& hex) {
        radio.Attach(*rig.scriptedPort);
        if (rig.Contact() != kOk) {
            ADD_FAILURE() << "no contact";
        }
        rig.scriptedPort->sent.clear();
        job = std::make_unique<CLoaderJob>(*rig.session, rig.view, LoaderPart::Dsp, hex);
        EXPECT_TRUE(rig.Run(*job)) << "the load never finished";
        return job->GetResult();
    }
    std::uint32_t TickOf(const std::string& text) const {
        for (const test::Sent& s : rig.scriptedPort->sent) {
            if (s.text == text) {
                return s.tick;
            }
        }
        ADD_FAILURE() << text << " was not sent";
        return 0;
    }

    test::CTempFolder dir;
    CLoaderRig rig;
    std::unique_ptr<CLoaderJob> job;
};

TEST_F(DspLoaderScriptTest, ChunksRunOverTheWholeRangeAnnouncedByLengthAndSum) {
    const std::vector<std::uint8_t> big = test::DspImageBytes(130, 3, nullptr);
    const std::vector<std::uint8_t> small = {0x01, 0x02, 0xFF};
    const std::vector<std::uint8_t> part(16, 0x5A);
    std::string gap = test::Record(0, 0x0000, part) + "\r\n" + test::Record(0, 0x0020, part) + "\r\n";
    const std::string gapBytes = Bytes(part, 0, 16) + std::string(16, '\xFF') + Bytes(part, 0, 16);
    struct Case {
        const char* name;
        std::string hex;
        std::vector<std::string> chunks;
    };
    const Case cases[] = {
        {"130 bytes", FormatIntelHex(big, 0), {Bytes(big, 0, 64), Bytes(big, 64, 64), Bytes(big, 128, 2)}},
        // The sum of the bytes, not its complement: 01 02 FF gives 02.
        {"sum", FormatIntelHex(small, 0x100), {"\x01\x02\xFF"}},
        {"gap", gap + std::string(test::kEofRecord) + "\r\n", {gapBytes}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLoaderRig local;
        CScriptedRadio radio;
        radio.Attach(*local.scriptedPort);
        ASSERT_EQ(local.Contact(), kOk);
        local.scriptedPort->sent.clear();
        test::WriteFile(dir / "fdsp0288.hex", c.hex);
        CLoaderJob dsp(*local.session, local.view, LoaderPart::Dsp, dir / "fdsp0288.hex");
        ASSERT_TRUE(local.Run(dsp));
        EXPECT_EQ(dsp.GetResult(), kOk);

        std::vector<std::string> expected = {"OM;", "LDF2;"};
        for (const std::string& chunk : c.chunks) {
            expected.push_back(Announcement(chunk));
            expected.push_back(chunk);
        }
        expected.insert(expected.end(), {"LDD20000;", ";", "I;", "TT0;", "RVM;", "OM;", "ER83FA0281;", "RVD;", "TQ;"});
        EXPECT_THAT(local.scriptedPort->SentTexts(), ElementsAreArray(expected));
        EXPECT_EQ(radio.pieces, c.chunks);
        EXPECT_EQ(local.view.progress.position, local.view.progress.range);
    }
    EXPECT_EQ(Announcement("\x01\x02\xFF"), "LDF20302;");
}

TEST_F(DspLoaderScriptTest, WaitsForTheEraseAndTheReset) {
    test::WriteHexFile(dir / "fdsp0288.hex", test::DspImageBytes(100, 5, nullptr), 0);
    CScriptedRadio radio;
    ASSERT_EQ(Load(radio, dir / "fdsp0288.hex"), kOk);
    const auto& sent = rig.scriptedPort->sent;
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[2].tick - TickOf("LDF2;"), 10000u);
    std::size_t reset = 0;
    while (reset < sent.size() && sent[reset].text != "LDD20000;") {
        ++reset;
    }
    ASSERT_LT(reset + 1, sent.size());
    EXPECT_EQ(sent[reset + 1].tick - sent[reset].tick, 8000u);
    EXPECT_THAT(rig.log, Contains("Waiting 10 seconds for flash memory erase"));
    EXPECT_THAT(rig.log, Contains("Waiting 8 seconds for reset"));
    EXPECT_THAT(rig.log, Contains("Sending DSP firmware file " + (dir / "fdsp0288.hex").string()));
    EXPECT_THAT(rig.log, Contains("DSP firmware version verified"));
}

// The rejections, time-outs and resynchronisations of both loaders, and a radio that is not the
// RM7, are tables in loader_job_test.cpp.

class DspLoaderRadioTest : public ::testing::Test {
  protected:
    Result Load(const std::filesystem::path& hex, CLoaderRig& rig) {
        if (rig.Contact() != kOk) {
            return 0xFFFFFFFF;
        }
        CLoaderJob job(*rig.session, rig.view, LoaderPart::Dsp, hex);
        EXPECT_TRUE(rig.Run(job, 24 * 3600 * 1000));
        return job.GetResult();
    }
    test::CTempFolder dir;
};

TEST_F(DspLoaderRadioTest, LoadsTheExactImageAndTheRadioReportsItsVersion) {
    const std::vector<std::uint8_t> image = test::DspImageBytes(5000, 21, "0291");
    test::WriteHexFile(dir / "fdsp0291.hex", image, 0x10000);
    CLoaderRig rig(rm7sim::Options{});
    EXPECT_EQ(Load(dir / "fdsp0291.hex", rig), kOk);
    EXPECT_EQ(rig.radio->DspFlash(), image);
    EXPECT_EQ(rig.model->firmwareVersions.Get(1), 291u);
}

// Fixed seeds on a virtual clock: each load's outcome is fixed. On this link every one of them
// recovers its lost and damaged chunks and ends with the exact image.
TEST_F(DspLoaderRadioTest, LossyLinkEndsWithTheExactImageForEverySeed) {
    const std::vector<std::uint8_t> image = test::DspImageBytes(8192, 23, "0291");
    test::WriteHexFile(dir / "fdsp0291.hex", image, 0);
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        rm7sim::Options options;
        std::string error;
        ASSERT_TRUE(rm7sim::ParseFaults("drop=0.01,nak=0.02,garble=0.005,lose=0.0005", options.faults, error));
        options.faults.seed = seed;
        CLoaderRig rig(options);
        const Result r = Load(dir / "fdsp0291.hex", rig);
        ASSERT_EQ(r, kOk) << std::hex << r;
        EXPECT_EQ(rig.radio->DspFlash(), image);
        EXPECT_THAT(rig.log, Contains(::testing::StartsWith("Total number of retries was ")));
    }
}

}  // namespace
}  // namespace rm7
