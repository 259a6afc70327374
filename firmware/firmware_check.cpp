#include "firmware/firmware_check.h"

#include "firmware/intel_hex.h"
#include "platform/last_error.h"

namespace rm7 {

FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file, FirmwareKind kind) {
    FirmwareFileCheck check;
    check.kind = kind;
    check.version = FileVersion(file);

    CFirmwareImage image;
    const bool mcu = kind == FirmwareKind::Mcu;
    const bool loaded = mcu ? image.Load(file, kMcuLowAddress, kMcuHighAddress, kMcuBlockSize)
                            : image.Load(file, kRangeFromFileLow, kRangeFromFileHigh, kDspChunkSize);
    check.line = image.Line();
    if (!loaded) {
        check.result = GetLastError();
        return check;
    }
    check.imageLow = image.LowAddress();
    check.imageHigh = image.HighAddress();
    check.imageSize = image.Size();
    check.droppedBytes = image.DroppedBytes();

    if (mcu) {
        // The window hides where the file's data really lies; one more pass tells.
        CIntelHexReader reader;
        if (reader.Open(file) == kOk && reader.ReadPass() == kOk && reader.HasData()) {
            check.fileHasData = true;
            check.fileLow = reader.Lowest();
            check.fileHigh = reader.Highest();
        }
        check.reconciliation = AnalyseReconciliation(image);
        check.result = check.reconciliation.result;
    } else if (image.Size() != 0) {
        check.fileHasData = true;
        check.fileLow = image.LowAddress();
        check.fileHigh = image.HighAddress();
    }
    return check;
}

FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file) {
    return CheckFirmwareFile(file, FirmwareKindFromName(file));
}

}  // namespace rm7
