#include "firmware/firmware_check.h"

#include "firmware/intel_hex.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

Result LoadFirmwareImage(const std::filesystem::path& file, FirmwareKind kind, CFirmwareImage& image) {
    const bool loaded = kind == FirmwareKind::Mcu
                            ? image.Load(file, kMcuLowAddress, kMcuHighAddress, kMcuBlockSize)
                            : image.Load(file, kRangeFromFileLow, kRangeFromFileHigh, kDspChunkSize);
    if (!loaded) {
        const Result r = GetLastError();
        return r != kOk ? r : 774;  // a failure that left no code of its own
    }
    if (image.CopiedBytes() == 0) {
        SetLastError(kErrFirmwareImageEmpty);
        return kErrFirmwareImageEmpty;
    }
    return kOk;
}

FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file, FirmwareKind kind) {
    return CheckFirmwareFile(file, kind, file);
}

FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file, FirmwareKind kind,
                                    const std::filesystem::path& name) {
    FirmwareFileCheck check;
    check.kind = kind;
    check.version = FileVersion(name);

    CFirmwareImage image;
    check.result = LoadFirmwareImage(file, kind, image);
    check.line = image.Line();
    if (image.Loaded()) {
        check.imageRead = true;
        check.imageLow = image.LowAddress();
        check.imageHigh = image.HighAddress();
        check.imageSize = image.Size();
        check.droppedBytes = image.DroppedBytes();
    }

    const bool mcu = kind == FirmwareKind::Mcu;
    if (mcu && image.Loaded()) {
        // The window hides where the file's data really lies; one more pass tells.
        CIntelHexReader reader;
        if (reader.Open(file) == kOk && reader.ReadPass() == kOk && reader.HasData()) {
            check.fileHasData = true;
            check.fileLow = reader.Lowest();
            check.fileHigh = reader.Highest();
        }
    } else if (image.Size() != 0) {
        check.fileHasData = true;
        check.fileLow = image.LowAddress();
        check.fileHigh = image.HighAddress();
    }
    if (mcu && check.result == kOk) {
        check.reconciliation = AnalyseReconciliation(image);
        check.result = check.reconciliation.result;
    }
    // The loader judges the name before it opens the file.
    if (const Result refused = CheckFirmwareName(name, kind); refused != kOk) {
        check.result = refused;
        check.line = 0;
    }
    return check;
}

FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file) {
    return CheckFirmwareFile(file, FirmwareKindFromName(file));
}

}  // namespace rm7
