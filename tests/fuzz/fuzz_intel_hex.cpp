// Fuzz target for the intel-hex reader and the firmware image: any input either is
// refused with the same code and line by both loaders (but for what only the DSP's wider
// range sees), or reads into images that write back as hex and read again to the very
// same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "firmware/firmware_image.h"
#include "firmware/intel_hex.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_intel_hex: %s\n", what);
        std::abort();
    }
}

std::span<const std::uint8_t> Text(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Writes the image back as hex, reads it again with the same window and compares.
void RequireRoundTrip(const rm7::CFirmwareImage& image, std::uint32_t low, std::uint32_t high,
                      std::uint32_t minimumSize) {
    const std::string hex = rm7::FormatIntelHex(image.Bytes(), image.LowAddress());
    rm7::CFirmwareImage again;
    Require(again.LoadText(Text(hex), low, high, minimumSize), "re-written image does not read");
    Require(again.LowAddress() == image.LowAddress() && again.HighAddress() == image.HighAddress(),
            "re-written image has another range");
    Require(std::equal(image.Bytes().begin(), image.Bytes().end(), again.Bytes().begin(), again.Bytes().end()),
            "re-written image has other bytes");
}

// Where the first record begins: the first ':' at the start of a line, after one byte-order mark.
std::size_t FirstRecord(std::span<const std::uint8_t> text) {
    static constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
    const std::size_t from = text.size() >= 3 && std::equal(kMark, kMark + 3, text.begin()) ? 3 : 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] == ':' && (i == from || text[i - 1] == '\n' || text[i - 1] == '\r')) {
            return i;
        }
    }
    return text.size();
}

// The same text with a CR between every two adjacent hex digits from the first record on. A CR
// there starts no record and counts no line, so it must read exactly the same, through the
// reader's byte-by-byte path instead of its whole-record one. (A header before the first record
// is read line by line, so CRs there would change its lines.)
std::string WithCarriageReturns(std::span<const std::uint8_t> text) {
    std::string out;
    out.reserve(text.size() * 2);
    const std::size_t first = FirstRecord(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(static_cast<char>(text[i]));
        if (i >= first && i + 1 < text.size() && rm7::IsHexDigit(static_cast<char>(text[i])) &&
            rm7::IsHexDigit(static_cast<char>(text[i + 1]))) {
            out.push_back('\r');
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> text(data, size);

    rm7::CFirmwareImage dsp;
    const bool dspLoaded = dsp.LoadText(text, rm7::kRangeFromFileLow, rm7::kRangeFromFileHigh, rm7::kDspChunkSize);
    const rm7::Result dspCode = dspLoaded ? rm7::kOk : rm7::GetLastError();
    Require(dspLoaded || dspCode != rm7::kOk, "failed load left no code");
    if (dspLoaded) {
        Require(dsp.Size() == dsp.HighAddress() - dsp.LowAddress(), "size is not the range");
        Require(dsp.Size() <= rm7::kMaxImageSpan, "image wider than the radio");
        RequireRoundTrip(dsp, rm7::kRangeFromFileLow, rm7::kRangeFromFileHigh, rm7::kDspChunkSize);
    }

    const std::string slow = WithCarriageReturns(text);
    rm7::CFirmwareImage dspSlow;
    const bool slowLoaded =
        dspSlow.LoadText(Text(slow), rm7::kRangeFromFileLow, rm7::kRangeFromFileHigh, rm7::kDspChunkSize);
    Require(slowLoaded == dspLoaded && (slowLoaded || rm7::GetLastError() == dspCode), "CRs changed the result");
    Require(dspSlow.Line() == dsp.Line(), "CRs changed the line");
    Require(dspSlow.LowAddress() == dsp.LowAddress() &&
                std::equal(dsp.Bytes().begin(), dsp.Bytes().end(), dspSlow.Bytes().begin(), dspSlow.Bytes().end()),
            "CRs changed the image");

    // One byte-order mark in front changes nothing (a second one is header text).
    static constexpr char kMark[] = "\xEF\xBB\xBF";
    if (size < 3 || std::memcmp(data, kMark, 3) != 0) {
        const std::string marked = kMark + std::string(text.begin(), text.end());
        rm7::CFirmwareImage dspMarked;
        const bool markedLoaded =
            dspMarked.LoadText(Text(marked), rm7::kRangeFromFileLow, rm7::kRangeFromFileHigh, rm7::kDspChunkSize);
        Require(markedLoaded == dspLoaded && (markedLoaded || rm7::GetLastError() == dspCode),
                "a byte-order mark changed the result");
        Require(dspMarked.Line() == dsp.Line(), "a byte-order mark changed the line");
        Require(std::equal(dsp.Bytes().begin(), dsp.Bytes().end(), dspMarked.Bytes().begin(), dspMarked.Bytes().end()),
                "a byte-order mark changed the image");
    }

    rm7::CFirmwareImage mcu;
    const bool mcuLoaded = mcu.LoadText(text, rm7::kMcuLowAddress, rm7::kMcuHighAddress, rm7::kMcuBlockSize);
    const rm7::Result mcuCode = mcuLoaded ? rm7::kOk : rm7::GetLastError();
    if (dspCode != rm7::kErrImageTooLarge && dspCode != rm7::kErrHexOverlap && mcuCode != rm7::kErrHexOverlap) {
        // Only the span differs between the two loaders; a record error is the same error.
        Require(mcuCode == dspCode, "loaders disagree on the file");
        Require(mcu.Line() == dsp.Line(), "loaders disagree on the line");
    }
    // Overlaps show only in the copy pass. The DSP's scan pass before it stops at any record
    // error of the whole file (text after the overlapping record on its line too); the MCU
    // compares only the bytes of its window.
    if (mcuCode == rm7::kErrHexOverlap && dspCode != rm7::kErrImageTooLarge) {
        const bool dspSawItFirst = dspCode == rm7::kErrHexOverlap && dsp.Line() <= mcu.Line();
        const bool dspStoppedInTheScan = dspCode != rm7::kOk && dsp.Line() >= mcu.Line();
        Require(dspSawItFirst || dspStoppedInTheScan, "an overlap only the MCU saw");
    }
    if (dspCode == rm7::kErrHexOverlap) {
        Require(mcuLoaded || (mcuCode == rm7::kErrHexOverlap && mcu.Line() >= dsp.Line()),
                "the MCU stopped before the DSP's overlap");
    }
    if (mcuLoaded) {
        Require(mcu.Size() == rm7::kMcuHighAddress - rm7::kMcuLowAddress, "MCU image is not the window");
        RequireRoundTrip(mcu, rm7::kMcuLowAddress, rm7::kMcuHighAddress, rm7::kMcuBlockSize);
        const rm7::Result reconciled = rm7::ReconcileChecksum(mcu, [](const std::string&) {});
        const rm7::ReconciliationInfo after = rm7::AnalyseReconciliation(mcu);
        Require((reconciled == rm7::kOk) == (after.sum == 0), "reconciled image does not sum to zero");
    }
    return 0;
}
