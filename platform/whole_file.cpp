// Whole files at once, over the system's file facilities: read into memory, or written atomically.
#include <algorithm>
#include <cstdint>
#include <new>

#include "platform/atomic_file.h"
#include "platform/file_handle.h"
#include "platform/result_codes.h"

namespace rm7 {

Result WriteFileAtomically(const std::filesystem::path& target, std::string_view content) {
    CAtomicFileWriter writer;
    Result result = writer.Open(target);
    if (result == kOk) {
        result = writer.Write(content.data(), content.size());
    }
    if (result == kOk) {
        result = writer.Commit();
    }
    return result;
}

Result ReadWholeFile(const std::filesystem::path& path, std::uint64_t sizeLimit, std::vector<std::uint8_t>& data,
                     WholeFileStep* failedStep, bool regularOnly) {
    data.clear();
    auto fail = [failedStep](WholeFileStep step, Result code) {
        if (failedStep != nullptr) {
            *failedStep = step;
        }
        return code;
    };
    CFileHandle file;
    if (const Result r = file.Open(path); r != kOk) {
        return fail(WholeFileStep::Open, r);
    }
    if (regularOnly && !file.IsRegularFile()) {
        return fail(WholeFileStep::Open, kErrorNotSupported);
    }
    std::uint64_t size = 0;
    if (const Result r = file.GetSize(size); r != kOk) {
        return fail(WholeFileStep::Size, r);
    }
    if (size > sizeLimit) {
        return fail(WholeFileStep::Size, kErrorNotEnoughMemory);
    }
    const std::uint64_t most = sizeLimit < UINT64_MAX ? sizeLimit + 1 : sizeLimit;  // enough to tell "too large"
    std::vector<std::uint8_t> bytes;
    std::size_t used = 0;
    try {
        // One byte more than the size, so that a file that stays as it is needs no second buffer.
        bytes.resize(static_cast<std::size_t>(size) + 1);
        for (;;) {
            if (used == bytes.size()) {
                const std::uint64_t grown = std::max<std::uint64_t>(bytes.size() * 2, 65536);
                bytes.resize(static_cast<std::size_t>(std::min(grown, most)));
            }
            std::size_t got = 0;
            if (const Result r = file.Read(bytes.data() + used, bytes.size() - used, got); r != kOk) {
                return fail(WholeFileStep::Read, r);
            }
            if (got == 0) {
                break;
            }
            used += got;
            if (used > sizeLimit) {
                return fail(WholeFileStep::Read, kErrorNotEnoughMemory);
            }
        }
    } catch (const std::bad_alloc&) {
        return fail(WholeFileStep::Read, kErrorNotEnoughMemory);
    }
    bytes.resize(used);
    data = std::move(bytes);
    return kOk;
}

}  // namespace rm7
