#include "sim/transmitter.h"

#include <charconv>
#include <cstdio>

namespace rm7sim {

namespace {

// The VFO A frequency each band recalls at start, in Hz.
constexpr uint64_t kBandStart[Transmitter::kBands] = {1'840'000,  3'573'000,  5'357'000,  7'074'000,
                                                      10'136'000, 14'074'000, 18'100'000, 21'074'000,
                                                      24'915'000, 28'074'000, 50'313'000};

bool ParseUnsigned(std::string_view text, size_t digits, uint64_t& out) {
    if (text.size() != digits || digits == 0) {
        return false;
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc{} && r.ptr == text.data() + text.size();
}

std::string Printf(const char* format, unsigned long long value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

Transmitter::Transmitter() {
    for (int i = 0; i < kBands; ++i) {
        vfoA_[i] = kBandStart[i];
        vfoB_[i] = kBandStart[i] + 1'000;
    }
    menuParams_[23] = 1;  // the tuner menu: tune with the internal tuner
    menuParams_[58] = 0;  // the tune power menu
}

bool Transmitter::Transmitting(uint64_t nowMs) const {
    return tuneKeyed_ || nowMs < atuUntilMs_;
}

void Transmitter::Key(uint64_t nowMs) {
    (void)nowMs;
    if (!tuneKeyed_) {
        ++carriers_;
        reads_ = 0;
        keyedPower_ = power_;
    }
    tuneKeyed_ = true;
    Changed();
}

void Transmitter::Unkey() {
    if (tuneKeyed_ || atuUntilMs_ != 0) {
        Changed();
    }
    tuneKeyed_ = false;
    atuUntilMs_ = 0;
}

// The power meter climbs to the carrier's power over three reads, wobbles once by a tenth and
// then holds; on a band with the txpower fault it never holds.
std::string Transmitter::PowerReading() {
    const int target = keyedPower_ * 10;
    ++reads_;
    int tenths = target;
    if (faults_.unsettledBand == band_) {
        tenths = target + static_cast<int>(reads_ % 3) - 1;
    } else if (reads_ == 1) {
        tenths = target * 6 / 10;
    } else if (reads_ == 2) {
        tenths = target * 9 / 10;
    } else if (reads_ == 3) {
        tenths = target - 1;
    } else if (reads_ == 5) {
        tenths = target + 1;
    }
    char text[32];
    std::snprintf(text, sizeof text, "DB%3d.%d W;", tenths / 10, tenths % 10);
    return text;
}

// The SWR on the VFO A display: "1.1" into the dummy load, "3.2" without one.
std::string Transmitter::SwrReading() const {
    return faults_.highSwrBand == band_ ? "DS@@@3\xB2@@>;" : "DS@@@1\xB1@@>;";
}

// "XX" answers "XX" and the value in width digits; "XX" and up to width digits sets a value in
// [low, high].
bool Transmitter::QueryOrSetNumber(std::string_view command, size_t width, int low, int high, int& field,
                                   std::string& answer) {
    const std::string_view params = command.substr(2);
    uint64_t value = 0;
    if (params.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "%.2s%0*d;", command.data(), static_cast<int>(width), field);
        answer = text;
        return true;
    }
    if (!ParseUnsigned(params, width, value) || value < static_cast<uint64_t>(low) ||
        value > static_cast<uint64_t>(high)) {
        return false;
    }
    field = static_cast<int>(value);
    Changed();
    return true;
}

bool Transmitter::Handle(std::string_view command, int menu, uint64_t nowMs, std::string& answer) {
    const auto is = [&command](std::string_view name) { return command.starts_with(name); };
    uint64_t value = 0;
    if (is("FA") || is("FB")) {
        uint64_t& vfo = command[1] == 'A' ? VfoA() : VfoB();
        const std::string_view params = command.substr(2);
        if (params.empty()) {
            answer = Printf(command[1] == 'A' ? "FA%011llu;" : "FB%011llu;", static_cast<unsigned long long>(vfo));
        } else if (ParseUnsigned(params, 11, value)) {
            vfo = value;
            Changed();
        } else {
            return false;
        }
        return true;
    }
    if (is("RT") || is("XT")) {
        bool& flag = command[0] == 'R' ? rit_ : xit_;
        const std::string_view params = command.substr(2);
        if (params.empty()) {
            answer = std::string(command.substr(0, 2)) + (flag ? "1;" : "0;");
        } else if (params == "0" || params == "1") {
            flag = params == "1";
            Changed();
        } else {
            return false;
        }
        return true;
    }
    if (is("RO")) {
        const std::string_view params = command.substr(2);
        if (params.empty()) {
            char text[16];
            std::snprintf(text, sizeof text, "RO%c%04d;", ritOffset_ < 0 ? '-' : '+',
                          ritOffset_ < 0 ? -ritOffset_ : ritOffset_);
            answer = text;
        } else if ((params[0] == '+' || params[0] == '-') && ParseUnsigned(params.substr(1), 4, value)) {
            ritOffset_ = static_cast<int>(value) * (params[0] == '-' ? -1 : 1);
            Changed();
        } else {
            return false;
        }
        return true;
    }
    if (is("AN")) {
        return QueryOrSetNumber(command, 1, 1, 3, antenna_, answer);
    }
    if (is("PC")) {
        return QueryOrSetNumber(command, 3, 0, 100, power_, answer);
    }
    if (is("BN")) {
        return QueryOrSetNumber(command, 2, 0, kBands - 1, band_, answer);
    }
    if (is("MP")) {
        return menu != 255 && QueryOrSetNumber(command, 3, 0, 255, menuParams_[menu], answer);
    }
    if (command == "TQ") {
        answer = Transmitting(nowMs) ? "TQ1;" : "TQ0;";
        return true;
    }
    if (command == "RX") {
        Unkey();
        return true;
    }
    if (command == "SWH16") {
        // TUNE: a carrier at the RF power setting until RX.
        Key(nowMs);
        return true;
    }
    if (command == "SWT44") {
        // The antenna tuner tunes on a short carrier of its own.
        if (!Transmitting(nowMs)) {
            ++carriers_;
        }
        atuUntilMs_ = nowMs + kAtuTuneMs;
        Changed();
        return true;
    }
    if (is("DB")) {
        const std::string_view params = command.substr(2);
        if (params.empty()) {
            if (tuneKeyed_ && faults_.outOfBand == band_) {
                answer = "DB  END;";
            } else if (tuneKeyed_) {
                answer = PowerReading();
                if (faults_.tuneStopBand == band_) {
                    Unkey();  // a carrier that drops on its own, as a radio's protection may
                }
            } else {
                const unsigned long long hz = VfoB();
                char text[32];
                std::snprintf(text, sizeof text, "DB%3llu.%03llu.%02llu;", hz / 1'000'000ull, hz / 1000ull % 1000ull,
                              hz / 10ull % 100ull);
                answer = text;
            }
        } else if (ParseUnsigned(params, 2, value)) {
            displayB_ = static_cast<int>(value);
        } else {
            return false;
        }
        return true;
    }
    if (command == "DS" && tuneKeyed_) {
        answer = SwrReading();
        return true;
    }
    if (command == "IC") {
        answer = "IC@@@@@;";
        if (txTest_) {
            answer[4] = static_cast<char>(0xE0);
        }
        return true;
    }
    return false;
}

std::string Transmitter::SettingsText(uint64_t nowMs) const {
    (void)nowMs;
    std::string text;
    const auto line = [&text](const std::string& name, long long value) {
        text += name + "=" + std::to_string(value) + "\n";
    };
    line("band", band_);
    for (int i = 0; i < kBands; ++i) {
        line("vfo_a." + std::to_string(i), static_cast<long long>(vfoA_[i]));
        line("vfo_b." + std::to_string(i), static_cast<long long>(vfoB_[i]));
    }
    line("rit", rit_ ? 1 : 0);
    line("xit", xit_ ? 1 : 0);
    line("rit_offset", ritOffset_);
    line("antenna", antenna_);
    line("rf_power", power_);
    for (const auto& [entry, value] : menuParams_) {
        line("menu_parameter." + std::to_string(entry), value);
    }
    return text;
}

}  // namespace rm7sim
