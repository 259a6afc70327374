#include "txgain/txgc_machine.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/error_text.h"
#include "platform/format.h"

namespace rm7 {

namespace {

constexpr std::uint32_t kCalibrationKHz[CTXGCStateMachine::kBands] = {1900,  3700,  5400,  7100,  10100, 14100,
                                                                      18100, 21200, 24900, 28800, 52000};
constexpr const char* kAcceptedReadings[2][3] = {{"  4.0 W", "  3.9 W", "  4.1 W"}, {"  6.0 W", "  5.9 W", "  6.1 W"}};

// A power reading ("  4.0 W;") as the band table shows it: "4.0 W", made safe to print.
std::string Trimmed(const std::string& reading) {
    const std::size_t first = reading.find_first_not_of(' ');
    const std::size_t last = reading.find_last_not_of(" ;");
    return first == std::string::npos ? std::string() : PrintableForm(reading.substr(first, last - first + 1));
}

std::uint32_t EdgeHz(const std::uint8_t* b) {
    return b[0] * 1'000'000u + b[1] * 10'000u + b[2] * 100u + b[3] * 10u + b[4];
}

constexpr const char* kBandNames[CTXGCStateMachine::kBands] = {"160 m", "80 m", "60 m", "40 m", "30 m", "20 m",
                                                               "17 m",  "15 m", "12 m", "10 m", "6 m"};

// The answers the run saves or acts on. 'd' stands for a digit, 's' for a sign; any other
// character for itself (letters in either case).
struct AnswerForm {
    const char* query;
    const char* form;
};
constexpr AnswerForm kAnswerForms[] = {
    {"FA;", "FAddddddddddd;"}, {"FB;", "FBddddddddddd;"}, {"RT;", "RTd;"},  {"XT;", "XTd;"},
    {"RO;", "ROsdddd;"},       {"R4;", "R4d;"},           {"AN;", "ANd;"},  {"MP;", "MPddd;"},
    {"PC;", "PCddd;"},         {"TQ;", "TQd;"},           {"BN;", "BNdd;"},
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool MatchesForm(const std::string& answer, const char* form) {
    const std::string_view f(form);
    if (answer.size() != f.size()) {
        return false;
    }
    for (std::size_t i = 0; i < f.size(); ++i) {
        const char c = answer[i];
        const bool ok = f[i] == 'd'   ? IsDigit(c)
                        : f[i] == 's' ? (c == '+' || c == '-')
                                      : EqualsNoCase(std::string(1, c), std::string(1, f[i]));
        if (!ok) {
            return false;
        }
    }
    return true;
}

// "FA00003574000;" -> "3.574 MHz", "FA00003574500;" -> "3.5745 MHz".
std::string MegahertzText(const std::string& digits) {
    std::uint64_t hz = 0;
    for (const char c : digits) {
        if (IsDigit(c)) {
            hz = hz * 10 + static_cast<std::uint64_t>(c - '0');
        }
    }
    std::string fraction = StrFormat("%06llu", static_cast<unsigned long long>(hz % 1'000'000));
    while (fraction.size() > 3 && fraction.back() == '0') {
        fraction.pop_back();
    }
    return StrFormat("%llu.%s MHz", static_cast<unsigned long long>(hz / 1'000'000), fraction.c_str());
}

// The digits between a setting's letters and its ';'.
std::string ValueOf(const std::string& answer) {
    if (answer.size() < 3) {
        return {};
    }
    return answer.substr(2, answer.size() - 3);
}

}  // namespace

bool WellFormedAnswer(const std::string& query, const std::string& answer) {
    for (const AnswerForm& f : kAnswerForms) {
        if (EqualsNoCase(query, f.query)) {
            return MatchesForm(answer, f.form);
        }
    }
    std::string letters = query;
    while (!letters.empty() && letters.back() == ';') {
        letters.pop_back();
    }
    return StartsWithNoCase(answer, letters);
}

bool WellFormedPowerAnswer(const std::string& answer) {
    if (answer.compare(0, 7, "DB  END") == 0 || answer.compare(0, 9, "DBBND END") == 0) {
        return true;
    }
    // "DB", the watts right-aligned in three places, a point, the tenths, " W;".
    if (answer.size() != 10 || !StartsWithNoCase(answer, "DB") || !IsDigit(answer[4]) || answer[5] != '.' ||
        !IsDigit(answer[6]) || answer.compare(7, 3, " W;") != 0) {
        return false;
    }
    const bool tens = IsDigit(answer[3]);
    return (answer[3] == ' ' || tens) && (answer[2] == ' ' ? true : IsDigit(answer[2]) && tens);
}

bool WellFormedSwrAnswer(const std::string& answer) {
    if (!StartsWithNoCase(answer, "DS")) {
        return false;
    }
    if (StartsWithNoCase(answer, "DS@@@@@ON") || answer.find('>') == std::string::npos) {
        return true;  // no SWR on the display
    }
    // The figures up to the one with its decimal point: a damaged one must not read as none.
    for (std::size_t i = 2; i < answer.size(); ++i) {
        const auto c = static_cast<unsigned char>(answer[i]);
        if (c >= 0xB0 && c <= 0xB9) {
            return true;
        }
        if (!IsDigit(static_cast<char>(c)) && c != '@') {
            return false;
        }
    }
    return false;
}

std::string NotRestoredText(const RestoreEntry& entry) {
    const std::string& c = entry.command;
    const std::string value = ValueOf(c);
    const auto starts = [&c](const char* letters) { return StartsWithNoCase(c, letters); };
    if (entry.kind == 2) {
        // The menu command "MN058;" and the value it held, "MP005;".
        std::uint32_t menu = 0;
        std::uint32_t held = 0;
        for (const char d : ValueOf(entry.command)) {
            menu = IsDigit(d) ? menu * 10 + static_cast<std::uint32_t>(d - '0') : menu;
        }
        for (const char d : ValueOf(entry.query)) {
            held = IsDigit(d) ? held * 10 + static_cast<std::uint32_t>(d - '0') : held;
        }
        return StrFormat("Menu %u was not put back: set it to %u by hand", menu, held);
    }
    if (starts("FA") || starts("FB")) {
        return StrFormat("VFO %c was not put back: set it to %s by hand", static_cast<char>(std::toupper(c[1])),
                         MegahertzText(value).c_str());
    }
    if (starts("RT") || starts("XT")) {
        return StrFormat("%s was not put back: turn it %s by hand", starts("RT") ? "RIT" : "XIT",
                         value == "0" ? "off" : "on");
    }
    if (starts("RO") && !value.empty()) {
        const int hz = std::atoi(value.c_str() + 1);
        return StrFormat("The RIT offset was not put back: set it to %c%d Hz by hand", value[0], hz);
    }
    if (starts("AN")) {
        return StrFormat("The antenna was not put back: select ANT %s by hand", value.c_str());
    }
    if (starts("PC")) {
        return StrFormat("The RF power was not put back: set it to %d W by hand", std::atoi(value.c_str()));
    }
    if (starts("BN")) {
        const int band = std::atoi(value.c_str());
        if (band >= 0 && band < static_cast<int>(CTXGCStateMachine::kBands)) {
            return StrFormat("The band was not put back: select the %s band by hand", kBandNames[band]);
        }
    }
    if (starts("R4")) {
        return StrFormat("The R4 command mode was not put back: it was %s", value.c_str());
    }
    return StrFormat("A setting was not put back: send %s to the radio", PrintableForm(c).c_str());
}

const char* BandName(std::uint32_t index) {
    return index < CTXGCStateMachine::kBands ? kBandNames[index] : "?";
}

std::string NotCalibratedText(const BandOutcome& band) {
    const char* name = BandName(band.index);
    return StrFormat("The %s band (%u.%03u MHz) was not calibrated: %s", name, band.kHz / 1000, band.kHz % 1000,
                     band.tuneStopped ? "its TUNE carrier stopped" : "the radio reports it out of band");
}

std::uint32_t CalibrationKHz(std::uint32_t band, const std::uint8_t (&edges)[kBandEdges60mSize]) {
    if (band >= CTXGCStateMachine::kBands) {
        return 0;
    }
    if (band == 2 && EdgeHz(edges) <= 4'630'000u && EdgeHz(edges + 5) >= 4'630'000u) {
        return 4630;
    }
    return kCalibrationKHz[band];
}

std::uint32_t ParseSwrTenths(const std::string& answer) {
    if (answer.find('>') == std::string::npos || !StartsWithNoCase(answer, "DS")) {
        return 0;
    }
    std::uint32_t v = 0;
    for (std::size_t i = 2; i < answer.size(); ++i) {
        const auto c = static_cast<unsigned char>(answer[i]);
        if (c >= '0' && c <= '9') {
            v = 10 * v + (c - '0');
        } else if (c == '@') {
            continue;
        } else if (c >= 0xB0 && c <= 0xB9) {
            v = 10 * v + (c - 0xB0);
            break;
        } else {
            break;
        }
    }
    return v;
}

// --- shared query base ---------------------------------------------------------------------

void CTXGCQueryState::Fail(Result code) {
    if (!m_host.HasFailed()) {
        m_host.SetResult(code);
    }
    Finish();
}

bool CTXGCQueryState::Push(const std::string& command, const std::string& query, std::uint32_t kind) {
    if (Host().PushRestoreEntry(command, query, m_error, kind)) {
        return true;
    }
    m_host.KillTimer();
    Fail(kErrRestoreStackFull);
    return false;
}

AnswerCheck CTXGCSaveState::CheckAnswer(const std::string& answer) {
    if (!WellFormedAnswer(m_baseCommand, answer)) {
        return AnswerCheck::kInvalid;
    }
    if (m_rule != Rule::BandNumber) {
        return AnswerCheck::kValid;
    }
    // A transverter band (or anything but 0 to 10) is never taken: it cannot be put back.
    return ValidIf(std::atoi(answer.c_str() + 2) <= 10);
}

void CTXGCSaveState::OnValidResponse() {
    const std::string& answer = m_host.Response();
    if (!(m_rule == Rule::UnlessZeroOffset && answer == "RO-0000;") && !Push(answer, m_baseCommand)) {
        return;
    }
    Next();
}

void CTXGCSetTargetState::Init() {
    CTXGCQueryState::Init();
    m_pushed = false;
    m_corrections = 0;
}

void CTXGCSetTargetState::OnValidResponse() {
    const std::string answer = m_host.Response();
    if (Accept(answer)) {
        Next();
        return;
    }
    if (!m_pushed) {
        if (!PushAnswer(answer)) {
            return;
        }
        m_pushed = true;
    } else if (++m_corrections >= m_host.RetryLimit()) {
        Fail(kErrSettingNotTaken);
        return;
    }
    m_command = Target() + m_baseCommand;
    Send();
}

void CTXGCSetMenuParameterState::Init() {
    CTXGCSetTargetState::Init();
    if (m_tuner) {
        Host().tunerFlag = Host().BandIndex() == 10;
    }
}

std::string CTXGCSetMenuParameterState::Target() const {
    if (!m_tuner) {
        return "MP000;";
    }
    return Host().BandIndex() == 10 ? "MP002;" : "MP001;";
}

bool CTXGCSetMenuParameterState::Accept(const std::string& answer) {
    if (m_tuner && EqualsNoCase(answer, "MP000;")) {
        // No tuner fitted: it is left alone and never tuned.
        Host().tunerFlag = false;
        return true;
    }
    return EqualsNoCase(answer, Target());
}

void CTXGCMenuState::Init() {
    CCommandDelayState::Init();
    if (m_opens) {
        Host().menuOpen = true;
    }
}

void CTXGCMenuState::Send() {
    if (m_host.HasFailed()) {
        Finish();
        return;
    }
    TraceSend(m_command);
    if (m_host.Transmit(m_command, m_delay) && !m_opens) {
        Host().menuOpen = false;
    }
}

AnswerCheck CTXGCVerifyTXTestNormalState::CheckAnswer(const std::string& answer) {
    if (answer.size() == 8 && answer.compare(0, 2, "IC") == 0) {
        Host().iconData = answer;
        return AnswerCheck::kValid;
    }
    Host().iconData.clear();
    return AnswerCheck::kInvalid;
}

void CTXGCVerifyTXTestNormalState::OnValidResponse() {
    const auto fifth = static_cast<unsigned char>(Host().iconData[4]);
    if ((fifth & 0xA0) == 0xA0) {
        m_host.StatusText("TX Gain Calibration requires TX NORM, not TX TEST");
        Fail(kErrTxNorm);
        return;
    }
    Next();
}

// --- receive states: they send even after a failure --------------------------------------------

void CTXGCSetRXState::Init() {
    CTXGCQueryState::Init();
    m_sendRx = Host().transmitting;
    m_host.TraceText("%s::OnHandle transmit %u", m_name, m_sendRx ? 1u : 0u);
}

void CTXGCSetRXState::Send() {
    m_command = m_sendRx ? "RX;" : "TQ;";
    m_sendRx = false;
    m_host.CurrentState().TraceSend(m_command);
    m_host.Transmit(m_command, m_delay);
}

void CTXGCSetRXState::OnTimer() {
    if (++m_sends >= m_host.RetryLimit()) {
        Fail(m_error);
        return;
    }
    Send();
}

void CTXGCSetRXState::OnValidResponse() {
    if (EqualsNoCase(m_host.Response(), "TQ0;")) {
        Host().SetTransmitting(false);
        Next();
        return;
    }
    if (EqualsNoCase(m_host.Response(), "TQ1;")) {
        Host().SetTransmitting(true);
        m_sendRx = true;
    }
    Send();
}

// --- band entry -------------------------------------------------------------------------------

void CTXGCSetBandNumberState::Init() {
    CTXGCQueryState::Init();
    Host().CurrentBand();
    Host().stepWatts = 0;
    Host().ProgressChanged();
    m_command = StrFormat("%s%02u;%s", "BN", Host().BandIndex(), "BN;");
}

void CTXGCSetVfoState::Init() {
    CTXGCQueryState::Init();
    const std::uint32_t f = Host().CurrentKHz();
    if (m_vfoA) {
        m_host.StatusText("Calibrating at %u.%03u MHz", f / 1000, f % 1000);
    }
    m_set = StrFormat("%s000%05u000;", m_vfoA ? "FA" : "FB", f);
    m_command = m_set + m_baseCommand;
}

void CTXGCSetRFPowerState::Init() {
    CTXGCQueryState::Init();
    Host().powerLevel = m_level;
    Host().stepWatts = m_level == 0 ? 4 : 6;
    Host().ProgressChanged();
    m_set = m_level == 0 ? "PC004;" : "PC006;";
    m_command = m_set + m_baseCommand;
}

// --- the carrier ------------------------------------------------------------------------------

void CTXGCStartAtuTuneState::Run() {
    if (!Host().tunerFlag) {
        Next();
        return;
    }
    if (m_host.HasFailed()) {
        Finish();
        return;
    }
    Host().SetTransmitting(true);
    m_command = "SWT44;";
    Send();
}

void CTXGCStartAtuTuneState::OnTimer() {
    // The tuner may take several seconds; a radio that never says it is done is left to it.
    if (++m_sends >= m_host.RetryLimit()) {
        Next();
        return;
    }
    m_command = "TQ;";
    Send();
}

AnswerCheck CTXGCStartAtuTuneState::CheckAnswer(const std::string& answer) {
    if (EqualsNoCase(answer, "TQ1;")) {
        Host().SetTransmitting(true);
    }
    return ValidIf(EqualsNoCase(answer, "TQ0;"));
}

void CTXGCStartAtuTuneState::OnValidResponse() {
    Host().SetTransmitting(false);
    Next();
}

void CTXGCStartTuneState::Init() {
    CTXGCQueryState::Init();
    auto& host = Host();
    host.readings = {};
    host.sampleSlot = 0;
    host.unsettledCount = 0;
}

void CTXGCStartTuneState::Key() {
    Host().SetTransmitting(true);
    m_command = "SWH16;TQ;";
    Send();
}

void CTXGCStartTuneState::Run() {
    if (m_host.HasFailed()) {
        Finish();  // a stopped run never keys the transmitter
        return;
    }
    Key();
}

void CTXGCStartTuneState::OnTimer() {
    if (++m_sends >= m_host.RetryLimit()) {
        Fail(m_error);
        return;
    }
    m_command = "TQ;";
    Send();
}

void CTXGCStartTuneState::OnValidResponse() {
    if (EqualsNoCase(m_host.Response(), "TQ1;")) {
        Next();
        return;
    }
    // Not keyed yet: key again, each try counted against the retry limit.
    if (++m_sends >= m_host.RetryLimit()) {
        Fail(m_error);
        return;
    }
    Key();
}

void CTXGCGetTXState::OnValidResponse() {
    if (!StartsWithNoCase(m_host.Response(), "TQ1;")) {
        m_host.StatusText("Transmit stopped unexpectedly after TUNE start");
        Host().CurrentBand().skipped = true;
        Host().CurrentBand().tuneStopped = true;
        m_host.GoTo(Host().m_setReceive6W);
        return;
    }
    Next();
}

void CTXGCReadRFPowerState::OnValidResponse() {
    auto& host = Host();
    const std::string& answer = host.Response();
    if (answer.compare(0, 7, "DB  END") == 0 || answer.compare(0, 9, "DBBND END") == 0) {
        const std::uint32_t f = host.CurrentKHz();
        host.StatusText("Calibration skipped for Out-of-Band frequency %u.%03u MHz", f / 1000, f % 1000);
        host.CurrentBand().skipped = true;
        host.GoTo(host.m_setReceive6W);
        return;
    }
    host.readings[host.sampleSlot] = answer.substr(2);
    host.sampleSlot = (host.sampleSlot + 1) % 4;
    Next();
}

void CTXGCReadRFPowerState::Fail(Result code) {
    if (!m_host.HasFailed()) {
        m_host.SetResult(code);
    }
    m_host.GoTo(Host().m_setReceive6W);
}

void CTXGCGetSwrState::OnValidResponse() {
    auto& host = Host();
    const std::string& answer = host.Response();
    if (StartsWithNoCase(answer, "DS@@@@@ON")) {
        Next();
        return;
    }
    const std::uint32_t v = ParseSwrTenths(answer);
    host.CurrentBand().swrTenths = v;
    const std::uint32_t limit = host.BandIndex() == 10 ? 30 : 20;
    if (v < 10) {
        Next();
    } else if (v < limit) {
        host.TraceText("SWR %u.%u-1", v / 10, v % 10);
        Next();
    } else {
        const std::string text = StrFormat("SWR %u.%u-1 is too high for calibration", v / 10, v % 10);
        // Off the air at once; the receive state after the test makes sure.
        if (!host.Transmit("RX;", 500)) {
            return;
        }
        host.StatusText("%s", text.c_str());
        host.AppendSummary(text);
        host.StatusText("Verify that a dummy load is attached to ANT %u", host.AntennaNumber());
        Fail(kErrSwrTooHigh);
    }
}

void CTXGCGetSwrState::Fail(Result code) {
    if (!m_host.HasFailed()) {
        m_host.SetResult(code);
    }
    Next();
}

void CTXGCTestConvergenceState::Run() {
    auto& host = Host();
    if (host.HasFailed()) {
        Next();
        return;
    }
    const auto& r = host.readings;
    if (r[0] != r[1] || r[1] != r[2] || r[2] != r[3]) {
        if (host.unsettledCount < CTXGCStateMachine::kSettleTests) {
            ++host.unsettledCount;
            host.GoTo(*m_again);
            return;
        }
        host.StatusText("Power did not settle\nSample values:\n");
        host.SetResult(kErrNotConverged);
        for (const std::string& reading : r) {
            host.StatusText("%s", PrintableForm(reading).c_str());
        }
        Next();
        return;
    }
    host.TraceText("Calibration power settled at \"%s\"", PrintableForm(r[0]).c_str());
    host.CurrentBand().watts[host.powerLevel == 0 ? 0 : 1] = Trimmed(r[0]);
    host.ProgressChanged();
    bool accepted = false;
    for (const char* reading : kAcceptedReadings[host.powerLevel == 0 ? 0 : 1]) {
        accepted = accepted || r[0].compare(0, 7, reading) == 0;
    }
    if (accepted) {
        host.CurrentBand().steps = host.powerLevel + 1u;
    } else {
        host.SetResult(kErrPowerNotReached);
    }
    Next();
}

void CTXGCLoopInitState::Run() {
    Host().loopMark = Host().RestoreDepth();
    CLoopInitState::Run();
}

// --- Restore ----------------------------------------------------------------------------------

void CTXGCRestoreState::Init() {
    CCommandResponseState::Init();
    auto& host = Host();
    if (host.savedResult == 0) {
        // Set aside, so that the entries are sent; put back when the restore is done.
        host.savedResult = host.GetResult();
        host.SetResult(0);
    }
    m_step = 0;
    m_expect = Expect::Nothing;
}

bool CTXGCRestoreState::SendNow(const std::string& text, std::uint32_t waitMs, Expect expect) {
    m_expect = expect;
    m_command = text;
    m_host.CurrentState().TraceSend(text);
    return m_host.Transmit(text, waitMs);
}

void CTXGCRestoreState::Run() {
    auto& host = Host();
    if (host.transmitting) {
        // Cleared only once "RX;" went out: a port that fails here leaves the radio keyed.
        if (SendNow("RX;", 500, Expect::Nothing)) {
            host.SetTransmitting(false);
        }
        return;
    }
    if (host.menuOpen) {
        if (SendNow("MN255;", 10, Expect::Nothing)) {
            host.menuOpen = false;
        }
        return;
    }
    if (m_step != 0) {
        ContinueEntry();
        return;
    }
    if (host.RestoreDepth() == 0) {
        MoveOn();
        return;
    }
    if (host.HasFailed() || Failed(host.savedResult)) {
        host.LoopIndex() = CTXGCStateMachine::kBands;
    }
    if (host.BandIndex() < CTXGCStateMachine::kBands && host.RestoreDepth() <= host.loopMark) {
        MoveOn();
        return;
    }
    host.PopRestoreEntry(m_entry);
    host.TraceText("%s Pop %u %s %s 0x%08X %u", m_name, host.RestoreDepth(), m_entry.command.c_str(),
                   m_entry.query.c_str(), m_entry.error, m_entry.kind);
    m_sends = 1;
    if (m_entry.kind == 2) {
        m_readBacks = 0;
        m_step = 1;
        SendNow(m_entry.command, 10, Expect::Nothing);
    } else {
        SendNow(m_entry.command + m_entry.query, 500, Expect::Prefix);
    }
}

void CTXGCRestoreState::ContinueEntry() {
    switch (m_step) {
        case 1:
            m_step = 2;
            SendNow(m_entry.query, 10, Expect::Nothing);
            break;
        case 2:
            // The read-back is bounded: a radio that keeps another value leaves the entry for
            // the person to put back by hand.
            if (++m_readBacks > kReadBackLimit) {
                Host().NoteNotRestored(m_entry);
                m_step = 3;
                ContinueEntry();
                return;
            }
            SendNow("MP;", 500, Expect::Equal);
            break;
        case 3:
            m_step = 4;
            SendNow("MN255;", 10, Expect::Nothing);
            break;
        default:
            m_step = 0;
            Run();
            break;
    }
}

AnswerCheck CTXGCRestoreState::CheckAnswer(const std::string& answer) {
    switch (m_expect) {
        case Expect::Prefix:
            // The read-back must be the saved answer itself: a damaged one is not a confirmation.
            return ValidIf(EqualsNoCase(answer, m_entry.command));
        case Expect::Equal:
            if (!WellFormedAnswer("MP;", answer)) {
                return AnswerCheck::kInvalid;
            }
            if (EqualsNoCase(answer, m_entry.query)) {
                m_step = 3;
            }
            return AnswerCheck::kValid;
        case Expect::ReceiveOff:
            return ValidIf(WellFormedAnswer("TQ;", answer));
        case Expect::Nothing:
            break;
    }
    return AnswerCheck::kInvalid;
}

void CTXGCRestoreState::OnResponse() {
    m_host.KillTimer();
    if (m_expect == Expect::ReceiveOff) {
        if (EqualsNoCase(m_host.Response(), "TQ0;")) {
            Host().SetTransmitting(false);
            Host().receiveConfirmed = true;
            MoveOn();
            return;
        }
        // Still keyed: stop it and ask again, within the retry limit.
        if (++m_sends >= m_host.RetryLimit()) {
            GiveUpOnReceive();
            return;
        }
        SendNow("RX;TQ;", 500, Expect::ReceiveOff);
        return;
    }
    Run();
}

void CTXGCRestoreState::GiveUpOnReceive() {
    Host().SetMayStillTransmit();
    Host().receiveConfirmed = true;  // asked enough: not asked again
    MoveOn();
}

void CTXGCRestoreState::OnTimer() {
    switch (m_expect) {
        case Expect::Prefix:
            // Not confirmed: sent again within the retry limit, then left for the person.
            if (++m_sends < m_host.RetryLimit()) {
                SendNow(m_entry.command + m_entry.query, 500, Expect::Prefix);
                return;
            }
            Host().NoteNotRestored(m_entry);
            m_expect = Expect::Nothing;
            Run();
            return;
        case Expect::ReceiveOff:
            if (++m_sends >= m_host.RetryLimit()) {
                GiveUpOnReceive();
                return;
            }
            SendNow("TQ;", 500, Expect::ReceiveOff);
            return;
        default:
            Run();
            return;
    }
}

void CTXGCRestoreState::CheckReceive() {
    // However the run ends, the radio is asked whether it is in receive before the end is told.
    m_sends = 0;
    SendNow("TQ;", 500, Expect::ReceiveOff);
}

void CTXGCRestoreState::MoveOn() {
    auto& host = Host();
    if (host.BandIndex() >= CTXGCStateMachine::kBands) {
        if (!host.receiveConfirmed) {
            CheckReceive();
            return;
        }
        if (host.savedResult != 0) {
            host.SetResult(host.savedResult);
        }
        host.savedResult = 0;
        Finish();
        return;
    }
    host.GoTo(host.m_loopStep);
}

// --- the machine ------------------------------------------------------------------------------

CTXGCStateMachine::CTXGCStateMachine(CRadioSession& session)
    : CStateHost(session, kTimerId),
      m_textTerminalOff(*this, &m_vfoBDisplay),
      m_vfoBDisplay(*this, "VfoBDisplay", &m_setReceive2, 10, "DB00;"),
      m_setReceive2(*this, "SetReceive2", &m_verifyTXTest),
      m_verifyTXTest(*this, &m_setMenuTunePower),
      m_setMenuTunePower(*this, "SetMenuTunePower", &m_setTunePower, "MN058;", true),
      m_setTunePower(*this, "SetTunePower", &m_exitMenuTunePower, "MN058;", false),
      m_exitMenuTunePower(*this, "ExitMenuTunePower", &m_get60MeterBandLimit, "MN255;", false),
      m_get60MeterBandLimit(*this, "Get60MeterBandLimit", &m_setR4, kBandEdges60mAddress, sizeof m_edges, m_edges),
      m_setR4(*this, "SetR4", &m_saveVfoAFirst, kErrNoResponseR4, "R4;", "R40;"),
      m_saveVfoAFirst(*this, "SaveVfoA", &m_saveVfoBFirst, kErrNoResponseFA, "FA;"),
      m_saveVfoBFirst(*this, "SaveVfoB", &m_saveRitOffset, kErrNoResponseFB, "FB;"),
      m_saveRitOffset(*this, "SaveRitOffset", &m_setRitOff, kErrNoResponseRO, "RO;",
                      CTXGCSaveState::Rule::UnlessZeroOffset),
      m_setRitOff(*this, "SetRitOff", &m_setXitOffFirst, kErrNoResponseRT, "RT;", "RT0;"),
      m_setXitOffFirst(*this, "SetXitOff", &m_saveBandNumber, kErrNoResponseXT, "XT;", "XT0;"),
      m_saveBandNumber(*this, "SaveBandNumber", &m_loopInit, kErrNoResponseBN, "BN;", CTXGCSaveState::Rule::BandNumber),
      m_loopInit(*this, "LoopInit", &m_loopTest),
      m_loopTest(*this, "LoopTest", &m_setBandNumber, &m_restoreState),
      m_setBandNumber(*this, &m_saveVfoA),
      m_saveVfoA(*this, "SaveVfoA", &m_setVfoA, kErrNoResponseFA, "FA;"),
      m_setVfoA(*this, "SetVfoA", &m_saveVfoB, true),
      m_saveVfoB(*this, "SaveVfoB", &m_setVfoB, kErrNoResponseFB, "FB;"),
      m_setVfoB(*this, "SetVfoB", &m_setXitOff, false),
      m_setXitOff(*this, "SetXitOff", &m_setAntenna, kErrNoResponseXT, "XT;", "XT0;"),
      m_setAntenna(*this, "SetAntenna", &m_setMenuRTU5, kErrNoResponseAN, "AN;", "AN1;"),
      m_setMenuRTU5(*this, "SetMenuRTU5", &m_setRMTU5, "MN023;", true),
      m_setRMTU5(*this, "SetRMTU5", &m_exitMenuRTU5, "MN023;", true),
      m_exitMenuRTU5(*this, "ExitMenuRTU5", &m_saveRFPower, "MN255;", false),
      m_saveRFPower(*this, "SaveRFPower", &m_setRFPower4, kErrNoResponsePC, "PC;"),
      m_setRFPower4(*this, &m_startAtuTune, 0),
      m_startAtuTune(*this, &m_startTune4),
      m_startTune4(*this, &m_delay4),
      m_delay4(*this, "DelayPowerSample4W", &m_getTX4, 300),
      m_getTX4(*this, &m_readRFPower4),
      m_readRFPower4(*this, &m_testSwr4),
      m_testSwr4(*this, &m_testConvergence4),
      m_testConvergence4(*this, &m_setReceive4W, &m_delay4),
      m_setReceive4W(*this, "SetReceive4W", &m_setRFPower6),
      m_setRFPower6(*this, &m_startTune6, 1),
      m_startTune6(*this, &m_delay6),
      m_delay6(*this, "DelayPowerSample6W", &m_getTX6, 300),
      m_getTX6(*this, &m_readRFPower6),
      m_readRFPower6(*this, &m_testSwr6),
      m_testSwr6(*this, &m_testConvergence6),
      m_testConvergence6(*this, &m_setReceive6W, &m_delay6),
      m_setReceive6W(*this, "SetReceive6W", &m_restoreState),
      m_restoreState(*this),
      m_loopStep(*this, "LoopStep", &m_loopTest) {}

bool CTXGCStateMachine::StartCalibration(std::uint8_t level) {
    if (!IsIdle()) {
        // The running run keeps its result: only the caller hears of the refusal.
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    m_startTick = Model().Pump().TickCount();
    m_antennaNumber = 1;
    powerLevel = level;
    m_antennaText = "AN1;";
    m_restore.clear();
    m_bands.clear();
    savedResult = 0;
    menuOpen = false;
    transmitting = false;
    receiveConfirmed = false;
    m_notRestored.clear();
    m_portFailed = false;
    m_mayStillTransmit = false;
    m_bandIndex = 0;
    stepWatts = 0;
    if (!Start(m_textTerminalOff)) {
        return false;
    }
    ProgressChanged();
    return true;
}

bool CTXGCStateMachine::PushRestoreEntry(const std::string& command, const std::string& query, Result errorCode,
                                         std::uint32_t kind) {
    if (m_restore.size() >= kRestoreDepth) {
        return false;
    }
    TraceText("TXGCStateMachine::PushRestoreEntry %d %s %s %u", static_cast<int>(m_restore.size()),
              PrintableForm(command).c_str(), PrintableForm(query).c_str(), kind);
    m_restore.push_back({command, query, errorCode, kind});
    return true;
}

void CTXGCStateMachine::NoteNotRestored(const RestoreEntry& entry) {
    m_notRestored.push_back(entry);
    // Failed: no further band runs on settings that are not the user's.
    if (!Failed(savedResult)) {
        savedResult = kErrSettingNotRestored;
    }
}

bool CTXGCStateMachine::PopRestoreEntry(RestoreEntry& entry) {
    if (m_restore.empty()) {
        return false;
    }
    entry = std::move(m_restore.back());
    m_restore.pop_back();
    return true;
}

BandOutcome& CTXGCStateMachine::CurrentBand() {
    const std::uint32_t kHz = CurrentKHz();
    if (m_bands.empty() || m_bands.back().kHz != kHz) {
        m_bands.push_back({kHz, 0, 0, false, false, m_bandIndex, {}});
    }
    return m_bands.back();
}

std::uint32_t CTXGCStateMachine::ElapsedSeconds() const {
    return (Model().Pump().TickCount() - m_startTick + 500) / 1000;
}

void CTXGCStateMachine::EndWithFailure(Result r) {
    // Only the port fails this way: nothing more can be sent, so "Restore" cannot run.
    m_portFailed = true;
    m_mayStillTransmit = m_mayStillTransmit || transmitting;
    savedResult = 0;
    SetResult(r);
    GoTo(FinalState());
}

void CTXGCStateMachine::OnComplete() {
    ProgressChanged();
    if (!m_portFailed && (!m_restore.empty() || transmitting || menuOpen || !receiveConfirmed)) {
        // However the run ended, the radio goes back to receive and to its own settings first,
        // and is asked whether it is in receive.
        m_bandIndex = kBands;
        ProgressChanged();
        GoTo(m_restoreState);
        return;
    }
    StatusText(kElapsedTimeFormat, ElapsedSeconds());
    std::vector<std::string> lines;
    // A band the radio may not transmit on (60 m in many countries) is said, but is no failure:
    // such a radio could never be calibrated otherwise.
    std::vector<std::string> outOfBand;
    for (const BandOutcome& band : m_bands) {
        if (band.tuneStopped) {
            lines.push_back(NotCalibratedText(band));
        } else if (band.skipped) {
            outOfBand.push_back(NotCalibratedText(band));
        }
    }
    for (const std::string& line : outOfBand) {
        StatusText("%s", line.c_str());
        AppendSummary(line);
    }
    for (const RestoreEntry& entry : m_notRestored) {
        lines.push_back(NotRestoredText(entry));
    }
    if (!HasFailed()) {
        // A success is a run that calibrated every band, put everything back and was heard in receive.
        if (!m_notRestored.empty()) {
            SetResult(kErrSettingNotRestored);
        } else if (m_mayStillTransmit) {
            SetResult(kErrNoResponseTQ);
        } else if (!lines.empty()) {
            SetResult(kErrBandNotCalibrated);
        }
    }
    if (HasFailed()) {
        for (const std::string& line : lines) {
            StatusText("%s", line.c_str());
            AppendSummary(line);
        }
        const std::string text = ErrorText(GetResult());
        StatusText("%s", text.c_str());
        AppendSummary(text);
        if (m_mayStillTransmit) {
            StatusText("%s", kMayStillTransmitText);
            AppendSummary(kMayStillTransmitText);
        }
        StatusText("%s", kCalibrationFailedText);
        AppendSummary(kCalibrationFailedText);
    } else {
        AppendSummary(kCalibrationSucceededText);
        StatusText("%s", kCalibrationSucceededText);
    }
    NotifyCompletion();
}

}  // namespace rm7
