#include "config/config_diff.h"

#include <algorithm>

#include "memories/banner_machine.h"
#include "memories/cw_code.h"
#include "platform/format.h"
#include "platform/text.h"

namespace rm7 {
namespace {

struct NamedArea {
    std::string name;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    enum class Kind { Bytes, Cw, Banner, Plain } kind = Kind::Bytes;
};

std::optional<NamedArea> FindArea(std::uint32_t address) {
    for (std::size_t m = 0; m < kCwMemoryCount; ++m) {
        const std::uint32_t start = CwAreaAddress(m);
        if (address >= start && address < start + kCwAreaSize) {
            return NamedArea{StrFormat("CW memory %zu", m + 1), start, kCwAreaSize, NamedArea::Kind::Cw};
        }
    }
    if (address >= kMacroBaseAddress && address < kMacroBaseAddress + kRadioMacroCount * kMacroSlotSize) {
        const std::uint32_t n = (address - kMacroBaseAddress) / kMacroSlotSize;
        const std::uint32_t slot = kMacroBaseAddress + n * kMacroSlotSize;
        if (address < slot + kMacroLabelSize) {
            return NamedArea{StrFormat("Command macro %u label", n + 1), slot, kMacroLabelSize, NamedArea::Kind::Plain};
        }
        return NamedArea{StrFormat("Command macro %u commands", n + 1), slot + kMacroLabelSize, kMacroTextSize,
                         NamedArea::Kind::Plain};
    }
    if (address >= kBannerAddress && address < kBannerAddress + kBannerAreaSize) {
        return NamedArea{"Power-on banner", kBannerAddress, kBannerAreaSize, NamedArea::Kind::Banner};
    }
    if (address >= kSerialNumberAddress && address < kSerialNumberAddress + kSerialNumberSize) {
        return NamedArea{"Serial number", kSerialNumberAddress, kSerialNumberSize, NamedArea::Kind::Bytes};
    }
    return std::nullopt;
}

std::optional<std::string> AreaText(const NamedArea& area, const EepromImage& image) {
    const std::uint8_t* bytes = image.data() + area.start;
    switch (area.kind) {
        case NamedArea::Kind::Cw: {
            CwArea cw{};
            std::copy_n(bytes, kCwAreaSize, cw.begin());
            return DecodeCwArea(cw);
        }
        case NamedArea::Kind::Banner:
            return BannerTextFromBytes(bytes, area.length);
        case NamedArea::Kind::Plain: {
            std::size_t n = 0;
            while (n < area.length && bytes[n] != 0 && bytes[n] != 0xFF) {
                ++n;
            }
            return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes), n));
        }
        case NamedArea::Kind::Bytes:
            break;
    }
    return std::nullopt;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += StrFormat(i == 0 ? "%02X" : " %02X", bytes[i]);
    }
    return out;
}

std::string SerialText(const std::optional<std::uint16_t>& serial) {
    return serial ? StrFormat("%05u", *serial) : std::string("(none)");
}

}  // namespace

ConfigurationSide SideFromFile(const ConfigurationFileContents& contents) {
    ConfigurationSide side;
    side.serialNumber = contents.serialNumber;
    side.image.fill(0xFF);
    ApplyRuns(contents.runs, side.image);
    return side;
}

Result ReadConfigurationSide(const std::filesystem::path& path, IUserNotifier* notifier, ConfigurationSide& side) {
    ConfigurationFileContents contents;
    const Result r = ReadConfigurationFile(path, {kNoSerialNumber, false, notifier}, contents);
    if (r == kOk) {
        side = SideFromFile(contents);
    }
    return r;
}

std::string EepromAreaName(std::uint32_t address) {
    const auto area = FindArea(address);
    return area ? area->name : std::string();
}

ConfigurationDifference CompareConfigurations(const ConfigurationSide& left, const ConfigurationSide& right,
                                              std::span<const EepromRange> ranges) {
    ConfigurationDifference diff;
    diff.leftSerial = left.serialNumber;
    diff.rightSerial = right.serialNumber;
    diff.serialDiffers = left.serialNumber != right.serialNumber;
    for (const EepromRange& range : ranges) {
        RangeDifference rangeDiff{range, {}};
        std::uint32_t a = range.start;
        while (a < range.End()) {
            if (left.image[a] == right.image[a]) {
                ++a;
                continue;
            }
            // A run stops where the bytes agree again or the named area changes, so that each
            // run carries one name.
            const auto area = FindArea(a);
            ByteDifference run;
            run.address = static_cast<std::uint16_t>(a);
            run.area = area ? area->name : std::string();
            while (a < range.End() && left.image[a] != right.image[a] && EepromAreaName(a) == run.area) {
                run.left.push_back(left.image[a]);
                run.right.push_back(right.image[a]);
                ++a;
            }
            if (area) {
                run.leftText = AreaText(*area, left.image);
                run.rightText = AreaText(*area, right.image);
            }
            rangeDiff.runs.push_back(std::move(run));
        }
        if (!rangeDiff.runs.empty()) {
            diff.ranges.push_back(std::move(rangeDiff));
        }
    }
    return diff;
}

std::string ConfigurationDifferenceText(const ConfigurationDifference& diff, const std::string& leftName,
                                        const std::string& rightName) {
    if (diff.Equal()) {
        return StrFormat("No differences between %s and %s.\n", leftName.c_str(), rightName.c_str());
    }
    std::string out = StrFormat("< %s\n> %s\n", leftName.c_str(), rightName.c_str());
    if (diff.serialDiffers) {
        out += StrFormat("Serial number\n  < %s\n  > %s\n", SerialText(diff.leftSerial).c_str(),
                         SerialText(diff.rightSerial).c_str());
    }
    for (const RangeDifference& range : diff.ranges) {
        out += StrFormat("Range 0x%04X-0x%04X\n", range.range.start, range.range.End() - 1);
        for (const ByteDifference& run : range.runs) {
            const std::uint32_t last = run.address + run.left.size() - 1;
            std::string where = run.left.size() == 1 ? StrFormat("  0x%04X", run.address)
                                                     : StrFormat("  0x%04X-0x%04X", run.address, last);
            if (!run.area.empty()) {
                where += StrFormat(" (%s)", run.area.c_str());
            }
            out += where + "\n";
            out += StrFormat("    < %s\n    > %s\n", HexBytes(run.left).c_str(), HexBytes(run.right).c_str());
            if (run.leftText && run.rightText) {
                out += StrFormat("    < \"%s\"\n    > \"%s\"\n", run.leftText->c_str(), run.rightText->c_str());
            }
        }
    }
    return out;
}

}  // namespace rm7
