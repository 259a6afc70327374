#include "sim/radio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "sim/command_table.h"
#include "sim/eeprom_file.h"

namespace rm7sim {

namespace {

constexpr size_t kMaxCommand = 160;  // the longest command, a 64-byte "EW", is 139
constexpr uint8_t kEepromBlockMax = 64;

// What each device says of itself. An empty firmware identity means that its firmware
// does not know "I;" (only its boot loader does) and answers "?;".
struct DeviceProfile {
    std::string_view name;
    std::string_view firmwareId;
    std::string_view loaderId;
    std::string_view optionModules;
};

constexpr DeviceProfile kDevices[] = {
    {"RM7", "", "RM7 Bootstrap Loader", "OM AP---------2;"},
    {"RM6", "", "RM6 Bootstrap Loader", "OM AP---------1;"},
    {"R5", "R5A", "R5B Bootstrap Loader", "OM AP-------R;"},
};

void AppendHex(std::string& out, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

std::string FormatVersion(std::string_view name, uint16_t version) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*s%02u.%02u;", static_cast<int>(name.size()), name.data(), version / 100u,
                  version % 100u);
    return text;
}

// A block never crosses a 256-byte EEPROM page and never leaves the EEPROM.
bool BlockFits(uint32_t address, uint8_t length) {
    return length >= 1 && length <= kEepromBlockMax && address + length <= Radio::kEepromSize &&
           (address >> 8) == ((address + length - 1) >> 8);
}

}  // namespace

bool ParseFaults(std::string_view list, Faults& out, std::string& error) {
    Faults faults;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (item.empty()) {
            continue;
        }
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            error = "fault \"" + std::string(item) + "\" has no value (expected name=value)";
            return false;
        }
        const std::string_view name = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        const char* first = value.data();
        const char* last = value.data() + value.size();
        bool ok = false;
        if (name == "drop" || name == "nak" ||
            (name == "garble" && !value.empty() && !std::isalpha(static_cast<unsigned char>(value[0]))) ||
            name == "lose") {
            double p = 0;
            const auto r = std::from_chars(first, last, p);
            ok = r.ec == std::errc{} && r.ptr == last && p >= 0 && p <= 1;
            if (ok) {
                (name == "drop"     ? faults.drop
                 : name == "nak"    ? faults.nak
                 : name == "garble" ? faults.garble
                                    : faults.lose) = p;
            }
        } else if (name == "garble" && !value.empty() && std::isalpha(static_cast<unsigned char>(value[0]))) {
            // garble=CMD[:N]: one damaged answer, not a probability.
            Faults::GarbleOnce once;
            const size_t colon = value.find(':');
            once.command = std::string(value.substr(0, colon));
            ok = true;
            for (const char c : once.command) {
                ok = ok && std::isalnum(static_cast<unsigned char>(c)) != 0;
            }
            if (colon != std::string_view::npos) {
                const auto r = std::from_chars(value.data() + colon + 1, last, once.nth);
                ok = ok && r.ec == std::errc{} && r.ptr == last && once.nth >= 1;
            }
            if (ok) {
                faults.garbleOnce.push_back(std::move(once));
            }
        } else if (name == "seed") {
            const auto r = std::from_chars(first, last, faults.seed);
            ok = r.ec == std::errc{} && r.ptr == last;
        } else if (name == "txpower" || name == "swr" || name == "tunestop" || name == "outofband") {
            int band = -1;
            const auto r = std::from_chars(first, last, band);
            ok = r.ec == std::errc{} && r.ptr == last && band >= 0 && band < Transmitter::kBands;
            (name == "txpower"    ? faults.txpowerBand
             : name == "swr"      ? faults.swrBand
             : name == "tunestop" ? faults.tuneStopBand
                                  : faults.outOfBand) = band;
        } else if (name == "unplug" && value == "tune") {
            faults.unplugAtTune = true;
            ok = true;
        } else if (name == "unplug" && value == "reset") {
            faults.unplugAtReset = true;
            ok = true;
        } else if (name == "unplug" && value.starts_with("blocks:")) {
            const auto r = std::from_chars(first + 7, last, faults.unplugAfterBlocks);
            ok = r.ec == std::errc{} && r.ptr == last && faults.unplugAfterBlocks >= 0;
        } else if (name == "unplug") {
            const auto r = std::from_chars(first, last, faults.unplugAfterPackets);
            ok = r.ec == std::errc{} && r.ptr == last && faults.unplugAfterPackets >= 0;
        } else {
            error = "unknown fault \"" + std::string(name) +
                    "\" (drop, nak, garble, lose, seed, unplug, txpower, swr, tunestop, outofband)";
            return false;
        }
        if (!ok) {
            error = "bad value for fault \"" + std::string(name) + "\": \"" + std::string(value) + "\"";
            return false;
        }
    }
    out = faults;
    return true;
}

bool ParseVersion(std::string_view text, uint16_t& out) {
    if (text.size() == 4) {
        return ParseVersion("0" + std::string(text), out);
    }
    if (text.size() != 5 || text[2] != '.') {
        return false;
    }
    unsigned value = 0;
    for (const size_t i : {0u, 1u, 3u, 4u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    out = static_cast<uint16_t>(value);
    return true;
}

Radio::Radio(Options options)
    : options_(std::move(options)),
      speed_(options_.speed),
      lineSpeed_(options_.speed),
      clockAdjustMs_(options_.clockOffsetMs),
      eeprom_(kEepromSize, 0xFF),
      loader_(*this, {!options_.bootLoader, options_.mcuVersion, options_.dspVersion, options_.faults.nak,
                      options_.faults.lose}),
      rng_(options_.faults.seed) {
    tx_.SetFaults({options_.faults.txpowerBand, options_.faults.swrBand, options_.faults.tuneStopBand,
                   options_.faults.outOfBand});
    if (options_.transmitting) {
        std::string none;
        tx_.Handle("SWH16", kNoMenu, 0, none);
    }
    const DeviceProfile* profile = nullptr;
    for (const DeviceProfile& p : kDevices) {
        if (p.name == options_.device) {
            profile = &p;
        }
    }
    if (profile != nullptr) {
        identifyAnswer_ = profile->firmwareId.empty() ? "?;" : "I" + std::string(profile->firmwareId) + ";";
        loader_.SetIdentity("I" + std::string(profile->loaderId) + ";");
        optionModulesAnswer_ = profile->optionModules;
    } else {
        // Another maker's device: its firmware names itself in capitals, its loader in lower case.
        std::string lower = options_.device;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        identifyAnswer_ = "I" + options_.device + ";";
        loader_.SetIdentity("I" + lower + ";");
        optionModulesAnswer_ = "OM AP---------0;";
    }

    if (options_.midPacket > 0) {
        loader_.StartMidPacket(options_.midPacket);
    }

    eeprom_[kSerialAddress] = static_cast<uint8_t>(options_.serial >> 8);
    eeprom_[kSerialAddress + 1] = static_cast<uint8_t>(options_.serial & 0xFF);
    if (options_.eepromFile.empty()) {
        return;
    }
    std::vector<uint8_t> file(kEepromSize);
    const int e = ReadWholeFile(options_.eepromFile, file);
    if (e == 0) {
        eeprom_ = std::move(file);
    } else if (e == ENOENT) {
        SaveEeprom();
    } else if (e == EINVAL) {
        error_ = "EEPROM file " + options_.eepromFile + " is not " + std::to_string(kEepromSize) + " bytes long";
    } else {
        error_ = "cannot read EEPROM file " + options_.eepromFile + ": " + std::strerror(e);
    }
}

void Radio::SetSpeed(uint32_t bitsPerSecond) {
    speed_ = bitsPerSecond;
    lineSpeed_ = bitsPerSecond;
}

void Radio::ReceiveUs(const uint8_t* data, size_t n, uint32_t lineSpeed, uint64_t nowUs) {
    const uint64_t nowMs = nowUs / 1000;
    for (size_t i = 0; i < n && !unplugged_ && !silent_; ++i) {
        if (nowMs < deafUntilMs_) {
            continue;
        }
        if (lineSpeed != lineSpeed_) {
            // A framing error: the UART hands up garbage, and the command parser starts over.
            text_.clear();
            textOverflow_ = false;
            continue;
        }
        takenUs_ = nowUs;
        if (options_.pace && lineSpeed_ > 0) {
            // A pty delivers a whole write at once; the wire would take ten bits a byte.
            inputDoneNs_ = std::max(inputDoneNs_, nowUs * 1000) + 10'000'000'000ull / lineSpeed_;
            takenUs_ = (inputDoneNs_ + 999) / 1000;
        }
        TakeByte(data[i], nowMs);
    }
}

void Radio::TakeByte(uint8_t b, uint64_t nowMs) {
    if (!heardAnything_) {
        heardAnything_ = true;
        rxStartMs_ = nowMs;
    }
    if (loader_.TakesData()) {
        if (loader_.TakeData(b, nowMs)) {
            received_.push_back(b);
        }
        return;
    }
    received_.push_back(b);
    TakeTextByte(b, nowMs);
}

void Radio::TakeTextByte(uint8_t b, uint64_t nowMs) {
    if (b == 'D' && text_.empty() && !textOverflow_ && loader_.OpenDownload(nowMs)) {
        commands_.push_back("D");
        return;
    }
    if (b != ';') {
        if (text_.size() < kMaxCommand) {
            text_.push_back(static_cast<char>(b));
        } else {
            textOverflow_ = true;
        }
        return;
    }
    const std::string command = std::move(text_);
    const bool overflow = textOverflow_;
    text_.clear();
    textOverflow_ = false;
    commands_.push_back(command);
    if (overflow) {
        // Nothing this long is a command; answer it as the mode answers any garbage.
        if (loader_.Off()) {
            Answer("?;", nowMs);
        } else {
            loader_.Noise();
        }
        return;
    }
    answering_ = command;
    if (loader_.Off()) {
        DispatchFirmware(command, nowMs);
    } else {
        loader_.Handle(command, nowMs);
    }
    answering_.clear();
}

void Radio::DispatchFirmware(std::string_view command, uint64_t nowMs) {
    static constexpr Command<Radio, uint64_t> kCommands[] = {
        {"I", &Radio::OnIdentify},      {"RVM", &Radio::OnMcuVersion},
        {"RVD", &Radio::OnDspVersion},  {"OM", &Radio::OnOptionModules},
        {"TT", &Radio::OnTextTerminal}, {"R5", &Radio::OnR5},
        {"R4", &Radio::OnR4},           {"ER", &Radio::OnReadEeprom},
        {"EW", &Radio::OnWriteEeprom},  {"LDM", &Radio::OnEnterBootLoader},
        {"LDF", &Radio::OnDspErase},    {"LDD", &Radio::OnReset},
        {"MN", &Radio::OnMenu},         {"DS", &Radio::OnDisplay},
        {"SWT", &Radio::OnSwitchTap},   {"UP", &Radio::OnUp},
        {"DN", &Radio::OnDown},         {"TB", &Radio::OnTextBuffer},
        {"KY", &Radio::OnKeyText},
    };
    if (command.empty()) {
        Answer(";", nowMs);  // the poll: the radio is listening at this speed
        return;
    }
    std::string answer;
    if (tx_.Handle(command, menu_, nowMs, answer)) {
        if (command == "SWH16" && options_.faults.unplugAtTune) {
            unplugged_ = true;
            output_.clear();
            return;
        }
        if (!answer.empty()) {
            Answer(answer, nowMs);
        }
        return;
    }
    if (!Dispatch(*this, kCommands, command, nowMs)) {
        Answer("?;", nowMs);
    }
}

bool Radio::OnIdentify(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    Answer(identifyAnswer_, nowMs);
    return true;
}

bool Radio::OnMcuVersion(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    Answer(FormatVersion("RVM", loader_.McuVersion()), nowMs);
    return true;
}

bool Radio::OnDspVersion(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    Answer(FormatVersion("RVD", loader_.DspVersion()), nowMs);
    return true;
}

bool Radio::OnOptionModules(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    Answer(optionModulesAnswer_, nowMs);
    return true;
}

bool Radio::OnTextTerminal(std::string_view params, uint64_t nowMs) {
    if (!params.empty() && params != "0" && params != "1") {
        return false;
    }
    return QueryOrSet("TT", ttMode_, params, nowMs);
}

bool Radio::OnR5(std::string_view params, uint64_t nowMs) {
    return QueryOrSet("R5", r5Mode_, params, nowMs);
}

bool Radio::OnR4(std::string_view params, uint64_t nowMs) {
    const std::string before = r4Mode_;
    const bool handled = QueryOrSet("R4", r4Mode_, params, nowMs);
    menuChanges_ += before != r4Mode_ ? 1 : 0;
    return handled;
}

// "XX;" answers "XX<value>;"; "XX<digit>;" sets the value and answers nothing.
bool Radio::QueryOrSet(std::string_view name, std::string& value, std::string_view params, uint64_t nowMs) {
    if (params.empty()) {
        Answer(std::string(name) + value + ";", nowMs);
        return true;
    }
    if (params.size() == 1 && params[0] >= '0' && params[0] <= '9') {
        value = std::string(params);
        return true;
    }
    return false;
}

// "ER" AAAA LL CC: address, length and a checksum making address bytes + length + CC zero.
bool Radio::OnReadEeprom(std::string_view params, uint64_t nowMs) {
    if (CheckBlockUnplug()) {
        return true;
    }
    uint8_t high = 0, low = 0, length = 0, check = 0;
    if (params.size() != 8 || !ParseHexByte(params, 0, high) || !ParseHexByte(params, 2, low) ||
        !ParseHexByte(params, 4, length) || !ParseHexByte(params, 6, check)) {
        return false;
    }
    const uint32_t address = (uint32_t{high} << 8) | low;
    if (static_cast<uint8_t>(high + low + length + check) != 0 || !BlockFits(address, length)) {
        return false;
    }
    std::string answer = "ER";
    answer += params.substr(0, 6);
    uint8_t sum = static_cast<uint8_t>(high + low + length);
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t byte = eeprom_[address + i];
        AppendHex(answer, byte);
        sum = static_cast<uint8_t>(sum + byte);
    }
    AppendHex(answer, static_cast<uint8_t>(-sum));
    answer += ';';
    Answer(answer, nowMs);
    return true;
}

// "EW" AAAA LL data CC: the checksum covers address bytes, length and data.
bool Radio::OnWriteEeprom(std::string_view params, uint64_t nowMs) {
    if (CheckBlockUnplug()) {
        return true;
    }
    uint8_t high = 0, low = 0, length = 0, check = 0;
    if (params.size() < 8 || !ParseHexByte(params, 0, high) || !ParseHexByte(params, 2, low) ||
        !ParseHexByte(params, 4, length) || params.size() != 8 + 2 * size_t{length}) {
        return false;
    }
    const uint32_t address = (uint32_t{high} << 8) | low;
    if (!BlockFits(address, length)) {
        return false;
    }
    std::vector<uint8_t> data(length);
    uint8_t sum = static_cast<uint8_t>(high + low + length);
    for (size_t i = 0; i < length; ++i) {
        if (!ParseHexByte(params, 6 + 2 * i, data[i])) {
            return false;
        }
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    if (!ParseHexByte(params, 6 + 2 * size_t{length}, check) || static_cast<uint8_t>(sum + check) != 0) {
        return false;
    }
    std::copy(data.begin(), data.end(), eeprom_.begin() + address);
    SaveEeprom();
    std::string answer = "EW";
    answer += params.substr(0, 6);
    AppendHex(answer, static_cast<uint8_t>(-(high + low + length)));
    answer += ';';
    Answer(answer, nowMs);
    return true;
}

bool Radio::OnEnterBootLoader(std::string_view params, uint64_t /*nowMs*/) {
    if (!params.empty()) {
        return false;
    }
    // The loader always talks at 38400 bit/s; the firmware stays in flash until "D".
    loader_.Enter();
    lineSpeed_ = kBootLoaderSpeed;
    return true;
}

bool Radio::OnDspErase(std::string_view params, uint64_t nowMs) {
    if (params != "2") {
        return false;
    }
    loader_.StartDspLoad(nowMs);
    return true;
}

bool Radio::OnReset(std::string_view params, uint64_t nowMs) {
    if (params != "20000") {
        return false;
    }
    ResetCommand(nowMs);
    return true;
}

// "MNnnn;" opens menu entry nnn, "MN255;" leaves the menu; "MN;" asks which is open.
bool Radio::OnMenu(std::string_view params, uint64_t nowMs) {
    if (params.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "MN%03d;", menu_);
        Answer(text, nowMs);
        return true;
    }
    unsigned entry = 0;
    const auto r = std::from_chars(params.data(), params.data() + params.size(), entry);
    if (params.size() != 3 || r.ec != std::errc{} || r.ptr != params.data() + params.size() || entry > 255) {
        return false;
    }
    if (menu_ != static_cast<int>(entry)) {
        ++menuChanges_;
    }
    menu_ = static_cast<int>(entry);
    clockField_ = ClockField::None;
    return true;
}

int Radio::ClockSecondsOfDay(uint64_t nowMs) const {
    const int64_t seconds = ClockMs(nowMs) / 1000 - (ClockMs(nowMs) % 1000 < 0 ? 1 : 0);
    const int64_t ofDay = seconds % 86400;
    return static_cast<int>(ofDay < 0 ? ofDay + 86400 : ofDay);
}

// The VFO A display: in the time menu "DS@@HH.MM.SS@@;" (the point is the high bit of the digit
// before it), otherwise the frequency, which begins too far right to read as a time.
bool Radio::OnDisplay(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    if (!displayOverride_.empty()) {
        Answer(displayOverride_, nowMs);
        return true;
    }
    if (!InTimeMenu()) {
        Answer(
            "DS@@@14\xB0"
            "70\xB0"
            "00@;",
            nowMs);
        return true;
    }
    const int t = ClockSecondsOfDay(nowMs);
    const int fields[3] = {t / 3600, t / 60 % 60, t % 60};
    std::string answer = "DS@@";
    for (int i = 0; i < 3; ++i) {
        answer.push_back(static_cast<char>('0' + fields[i] / 10));
        answer.push_back(static_cast<char>(('0' + fields[i] % 10) | (i < 2 ? 0x80 : 0)));
    }
    answer += "@@;";
    if (options_.clockBlankLeadingZero && answer[4] == '0') {
        answer[4] = '@';
    }
    Answer(answer, nowMs);
    return true;
}

// Front-panel switches by number; in the time menu 19, 27 and 20 pick the hours, minutes and
// seconds. Other taps do what they do on the radio, which the simulation leaves out.
bool Radio::OnSwitchTap(std::string_view params, uint64_t /*nowMs*/) {
    unsigned number = 0;
    const auto r = std::from_chars(params.data(), params.data() + params.size(), number);
    if (params.empty() || r.ec != std::errc{} || r.ptr != params.data() + params.size()) {
        return false;
    }
    if (InTimeMenu()) {
        clockField_ = number == 19   ? ClockField::Hours
                      : number == 27 ? ClockField::Minutes
                      : number == 20 ? ClockField::Seconds
                                     : clockField_;
    }
    return true;
}

bool Radio::OnUp(std::string_view params, uint64_t nowMs) {
    return StepClockField(+1, params, nowMs);
}

bool Radio::OnDown(std::string_view params, uint64_t nowMs) {
    return StepClockField(-1, params, nowMs);
}

// One step of the chosen field, wrapping round within the field (59 -> 00 leaves the minutes
// alone); the clock keeps running through it, its second turning when it always did. Outside the time menu UP and DN
// tune the VFO, which the simulation leaves out.
bool Radio::StepClockField(int direction, std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    if (!InTimeMenu() || clockField_ == ClockField::None || clockStuck_) {
        return true;
    }
    const int t = ClockSecondsOfDay(nowMs);
    int fields[3] = {t / 3600, t / 60 % 60, t % 60};
    const int index = clockField_ == ClockField::Hours ? 0 : clockField_ == ClockField::Minutes ? 1 : 2;
    const int modulus = index == 0 ? 24 : 60;
    fields[index] = (fields[index] + direction + modulus) % modulus;
    const int stepped = fields[0] * 3600 + fields[1] * 60 + fields[2];
    clockAdjustMs_ += int64_t{stepped - t} * 1000;
    return true;
}

// "TB;": "TB", the characters still waiting to be sent (one digit, at most 9), the number of
// decoded characters that follow (two digits) and those characters, which may include ';'.
bool Radio::OnTextBuffer(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    Transmit(nowMs);
    const size_t decoded =
        options_.rxCharMs == 0
            ? options_.rxText.size()
            : std::min(options_.rxText.size(), static_cast<size_t>((nowMs - rxStartMs_) / options_.rxCharMs));
    const size_t count = std::min<size_t>(decoded - std::min(decoded, rxReported_), 99);
    char head[8];
    std::snprintf(head, sizeof head, "TB%zu%02zu", std::min<size_t>(txBuffer_.size(), 9), count);
    Answer(head + options_.rxText.substr(rxReported_, count) + ";", nowMs);
    rxReported_ += count;
    return true;
}

// "KY " and the text to send: it joins the transmit buffer (what does not fit is lost) and goes
// out one character every txCharMs. No answer.
bool Radio::OnKeyText(std::string_view params, uint64_t nowMs) {
    if (params.empty() || params[0] != ' ') {
        return false;
    }
    Transmit(nowMs);
    if (txBuffer_.empty()) {
        txNextDoneMs_ = nowMs + options_.txCharMs;
    }
    for (const char c : params.substr(1)) {
        if (txBuffer_.size() < kTransmitBufferSize) {
            txBuffer_.push_back(static_cast<uint8_t>(c));
        }
    }
    return true;
}

void Radio::Transmit(uint64_t nowMs) {
    while (!txBuffer_.empty() && nowMs >= txNextDoneMs_) {
        const uint8_t c = txBuffer_.front();
        txBuffer_.pop_front();
        if (c == kEndOfTransmission) {
            ++endsOfTransmission_;
        } else if (c != kIdle) {
            onAir_.push_back(static_cast<char>(c));
        }
        txNextDoneMs_ += options_.txCharMs;
    }
}

std::string Radio::OnAir(uint64_t nowMs) {
    Transmit(nowMs);
    return onAir_;
}

uint32_t Radio::EndsOfTransmission(uint64_t nowMs) {
    Transmit(nowMs);
    return endsOfTransmission_;
}

size_t Radio::TransmitWaiting(uint64_t nowMs) {
    Transmit(nowMs);
    return txBuffer_.size();
}

std::string Radio::SettingsText(uint64_t nowMs) const {
    return tx_.SettingsText(nowMs) + "r4=" + r4Mode_ + "\nmenu=" + std::to_string(menu_) + "\n";
}

std::string Radio::StateText(uint64_t nowMs) const {
    return SettingsText(nowMs) + "transmitting=" + (Transmitting(nowMs) ? "1" : "0") +
           "\ncarriers=" + std::to_string(tx_.Carriers()) + "\n";
}

bool Radio::UnplugAtPacket(uint32_t done) {
    const int after = options_.faults.unplugAfterPackets;
    if (after >= 0 && done >= static_cast<uint32_t>(after)) {
        unplugged_ = true;
        output_.clear();
    }
    return unplugged_;
}

bool Radio::CheckBlockUnplug() {
    const int after = options_.faults.unplugAfterBlocks;
    if (after >= 0 && blocks_ >= static_cast<uint32_t>(after)) {
        unplugged_ = true;
        output_.clear();
        return true;
    }
    ++blocks_;
    return false;
}

void Radio::PlugIn() {
    unplugged_ = false;
    options_.faults.unplugAfterPackets = -1;
    options_.faults.unplugAfterBlocks = -1;
    options_.faults.unplugAtReset = false;
    options_.faults.unplugAtTune = false;
}

void Radio::ResetCommand(uint64_t nowMs) {
    Reset(nowMs);
    if (options_.faults.unplugAtReset) {
        unplugged_ = true;
        output_.clear();
    }
}

void Radio::Reset(uint64_t nowMs) {
    loader_.Reset();
    lineSpeed_ = speed_;
    menu_ = kNoMenu;
    deafUntilMs_ = nowMs + kResetMs;
    text_.clear();
    textOverflow_ = false;
    txBuffer_.clear();
}

void Radio::Answer(std::string_view text, uint64_t nowMs) {
    if (unplugged_ || Chance(options_.faults.drop)) {
        return;
    }
    std::string bytes(text);
    GarbleOnce(bytes);
    if (!bytes.empty() && Chance(options_.faults.garble)) {
        const size_t at = NextRandom() % bytes.size();
        bytes[at] = static_cast<char>(static_cast<uint8_t>(bytes[at]) ^ (1 + NextRandom() % 255));
    }
    (void)nowMs;  // every answer is to a byte being taken, which set takenUs_
    const uint64_t start = std::max(takenUs_ + uint64_t{options_.latencyMs} * 1000, lastDueUs_);
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint64_t due = start;
        if (options_.pace && lineSpeed_ > 0) {
            // Ten bits on the wire per byte: start, eight data, stop.
            due += ((i + 1) * 10'000'000ull + lineSpeed_ - 1) / lineSpeed_;
        }
        output_.push_back({static_cast<uint8_t>(bytes[i]), due});
        lastDueUs_ = due;
    }
}

void Radio::GarbleOnce(std::string& bytes) {
    const auto& faults = options_.faults.garbleOnce;
    garbleSeen_.resize(faults.size());
    for (size_t i = 0; i < faults.size(); ++i) {
        if (faults[i].command != answering_ || ++garbleSeen_[i] != faults[i].nth) {
            continue;
        }
        // A digit turned into a letter: 0 to 'A', 9 to 'J'.
        const size_t at = bytes.find_last_of("0123456789");
        if (at != std::string::npos) {
            bytes[at] = static_cast<char>('A' + (bytes[at] - '0'));
        }
    }
}

std::vector<uint8_t> Radio::TakeOutputUs(uint64_t nowUs) {
    std::vector<uint8_t> out;
    while (!output_.empty() && output_.front().dueUs <= nowUs) {
        out.push_back(output_.front().byte);
        output_.pop_front();
    }
    return out;
}

uint64_t Radio::NextOutputDueMs() const {
    return output_.empty() ? UINT64_MAX : (output_.front().dueUs + 999) / 1000;
}

uint64_t Radio::NextOutputDueUs() const {
    return output_.empty() ? UINT64_MAX : output_.front().dueUs;
}

// splitmix64: tiny, and the same sequence on every platform and standard library.
uint64_t Radio::NextRandom() {
    uint64_t z = (rng_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool Radio::Chance(double probability) {
    if (probability <= 0) {
        return false;
    }
    return static_cast<double>(NextRandom() >> 11) * 0x1.0p-53 < probability;
}

void Radio::SaveEeprom() {
    std::string error;
    if (!options_.eepromFile.empty() && !WriteFileAtomically(options_.eepromFile, eeprom_, error)) {
        error_ = error;
    }
}

void Radio::Dump(const char* name, const std::vector<uint8_t>& bytes) {
    std::string error;
    if (!options_.flashDumpDir.empty() && !WriteFileAtomically(options_.flashDumpDir + "/" + name, bytes, error)) {
        error_ = error;
    }
}

}  // namespace rm7sim
