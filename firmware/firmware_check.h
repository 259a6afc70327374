#pragma once
// What `rm7util firmware check FILE` and the firmware page show about one firmware
// file, read exactly as the loader would read it, without touching a radio.
#include <cstdint>
#include <filesystem>

#include "firmware/file_version.h"
#include "firmware/firmware_image.h"
#include "platform/result.h"

namespace rm7 {

// The loaders' text for a file they refuse: line, code, ErrorText(code).
inline constexpr const char* kFirmwareFileErrorFormat = "Line %u, error code 0x%08X: %s";

struct FirmwareFileCheck {
    FirmwareKind kind = FirmwareKind::Unknown;
    std::uint16_t version = 0;  // FileVersion() of the name

    // The records read without error, and the image fields below are set (also when the
    // name or an image without data is refused).
    bool imageRead = false;

    // The addresses the file's data records cover, whatever the processor; set only
    // when the file reads without error.
    bool fileHasData = false;
    std::uint32_t fileLow = 0;
    std::uint64_t fileHigh = 0;  // exclusive; may be 2^32

    // The image the loader would build: for the MCU always 0x800 to 0x1FD80, for the
    // DSP (and a file of unknown kind) the file's own range.
    std::uint32_t imageLow = 0;
    std::uint32_t imageHigh = 0;  // exclusive
    std::uint32_t imageSize = 0;
    // Data bytes outside the MCU window, which the loader leaves out.
    std::uint64_t droppedBytes = 0;

    // MCU only (outcome NotAnImage otherwise): the stored reconciliation value, or the
    // one the loader would compute and write in.
    ReconciliationInfo reconciliation;

    // 0 when the loader would send the file. Otherwise the code it would refuse it
    // with and the line to show in kFirmwareFileErrorFormat (0 for a refused name).
    Result result = kOk;
    std::uint32_t line = 0;
};

// Reads the file into `image` as the loader for `kind` does: the MCU's window, or for the
// DSP (and Unknown) the range the file covers; an image that holds no byte of the file (for
// the MCU, none in its window) is refused with kErrFirmwareImageEmpty, as nothing would be
// sent. Returns 0 or the code, which is then also the thread's last error; image.Line() is
// the line to show. The name is not looked at (CheckFirmwareName()).
Result LoadFirmwareImage(const std::filesystem::path& file, FirmwareKind kind, CFirmwareImage& image);

// Judges the file as the loader for `kind` would: its name first, then its records and
// data, then (MCU) its reconciliation value. The records are read even when the name is
// refused, so that what the file holds is still shown. Unknown reads it like the DSP
// loader (range from the file), and is refused by its name.
FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file, FirmwareKind kind);
// The same for a file that is to be called `name` (a download under its temporary name): the
// name and its version are judged, the content read from `file`.
FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file, FirmwareKind kind,
                                    const std::filesystem::path& name);
// The kind taken from the file's name.
FirmwareFileCheck CheckFirmwareFile(const std::filesystem::path& file);

}  // namespace rm7
