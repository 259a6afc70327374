// Fuzz target for the configuration-file reader. Beyond not crashing it checks that
//  - a read only ever ends with success or one of the reader's refusals;
//  - every page run lies inside one page and inside the configuration ranges;
//  - knowing the radio's serial number can only add refusals, never change what is read;
//  - what a good file yields, written out again, reads back to the same bytes, and that file
//    writes back to the same data lines.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_file.h"
#include "platform/result_codes.h"

namespace {

using namespace rm7;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_config_file: %s\n", what);
        std::abort();
    }
}

bool IsReaderResult(Result r) {
    return r == kOk || r == kErrConfigIncomplete || r == kErrConfigCorrupt || r == kErrConfigSerialMismatch;
}

void CheckRuns(const std::vector<PageRun>& runs) {
    for (const auto& run : runs) {
        Require(run.first <= run.last, "run ends before it starts");
        for (unsigned offset = 0; offset < 256; ++offset) {
            const std::uint32_t address = run.page * 256u + offset;
            if (offset >= run.first && offset <= run.last) {
                Require(IsConfigurationAddress(address), "run byte outside the configuration ranges");
            } else {
                Require(run.data[offset] == 0xFF, "run holds a byte outside its offsets");
            }
        }
    }
}

std::unique_ptr<EepromImage> ImageOf(const std::vector<PageRun>& runs) {
    auto image = std::make_unique<EepromImage>();
    image->fill(0xFF);
    ApplyRuns(runs, *image);
    return image;
}

std::string FileText(const EepromImage& image, const ConfigurationFileContents& from) {
    std::string text;
    for (const auto& line :
         ConfigurationFileLines({2024, 1, 31, 23, 59, 59}, image, {"02.87", from.serialNumber.value_or(0xFFFF)})) {
        text += line + "\r\n";
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);

    ConfigurationFileContents unchecked;
    const Result r = ReadConfigurationText(input, {kNoSerialNumber, false, nullptr}, unchecked);
    Require(IsReaderResult(r) && r != kErrConfigSerialMismatch, "unexpected result without a serial number");
    CheckRuns(unchecked.runs);

    ConfigurationFileContents checked;
    const Result rs = ReadConfigurationText(input, {1234, false, nullptr}, checked);
    Require(IsReaderResult(rs), "unexpected result with a serial number");
    if (rs == kOk) {
        Require(r == kOk, "a known serial number made a refused file acceptable");
        Require(*ImageOf(checked.runs) == *ImageOf(unchecked.runs), "the serial number changed the bytes");
    }
    if (r != kOk) {
        return 0;
    }

    // Write what was read, read it back, write again.
    const auto image = ImageOf(unchecked.runs);
    const std::string written = FileText(*image, unchecked);
    ConfigurationFileContents again;
    Require(ReadConfigurationText(written, {kNoSerialNumber, false, nullptr}, again) == kOk,
            "a written file is refused");
    Require(again.runs.size() == kConfigurationRanges.size(), "a written file does not read as seven runs");
    for (std::size_t i = 0; i < kConfigurationRanges.size(); ++i) {
        Require(again.runs[i].Address() == kConfigurationRanges[i].start &&
                    again.runs[i].Length() == kConfigurationRanges[i].length,
                "a run of a written file is not its configuration range");
    }
    const auto reread = ImageOf(again.runs);
    Require(*reread == *image, "a written file reads back to other bytes");
    Require(ConfigurationDataLines(*reread) == ConfigurationDataLines(*image),
            "a written file writes back to other data lines");
    return 0;
}
