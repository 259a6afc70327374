#pragma once
// What the MCU and DSP loaders share: the host with its retry counts, load address and
// packet buffer; the block state that sends one piece of the image and handles its
// acknowledgement, rejection and time-out; and the resynchronisation state that pads the
// radio's loader back to a block boundary with ';' fill bytes.
//
// Threads: UI thread only, as every machine.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <string>

#include "firmware/firmware_check.h"
#include "firmware/firmware_image.h"
#include "link/basic_states.h"
#include "platform/error_text.h"

namespace rm7 {

// The progress bar moves in steps of 32 bytes.
inline constexpr std::uint32_t kLoaderBytesPerStep = 32;
inline constexpr std::uint32_t kMcuPacketSize = 132;

// Upper-case hexadecimal pairs, for trace lines.
std::string HexText(const std::uint8_t* bytes, std::size_t length);

template <typename T>
class CFirmwareLoaderHost : public CLoaderStateHost<T> {
  public:
    CFirmwareLoaderHost(CRadioSession& session, std::string partName, const std::filesystem::path& file)
        : CLoaderStateHost<T>(session, kTimerLoader, kLoaderBytesPerStep),
          m_partName(std::move(partName)),
          m_file(file) {}

    // Reads the image and starts the run. False when the machine is busy (the running job
    // is left alone; the thread's last error is 0xE2000052) or when the image was refused:
    // the run then ends at once and its completion notice carries the code.
    bool Start(IMessageTarget* logWindow, IProgressBar* bar) {
        if (!this->IsIdle()) {
            SetLastError(kErrBusyStateMachine);
            return false;
        }
        this->SetLogTarget(logWindow);
        this->SetProgressBar(bar);
        m_highestRetries = 0;
        m_totalRetries = 0;
        m_fillBytes = 0;
        this->SetResult(kOk);
        const Result r = static_cast<T*>(this)->LoadImage();
        if (r != kOk) {
            m_imageRefused = true;
            this->SetResult(r);
            SetLastError(r);
            this->GoTo(this->FinalState());
            return false;
        }
        m_imageRefused = false;
        this->SetRange(m_image.Size());
        m_loadAddress = m_image.LowAddress();
        this->ForceStart(static_cast<T*>(this)->FirstState());
        return true;
    }

    void OnComplete() override {
        // A refused file never reached the radio: what the model knows of it still holds.
        if (m_imageRefused) {
            this->NotifyCompletion();
        } else {
            this->ResumeContact();
        }
    }

    [[gnu::format(gnu_printf, 2, 3)]] void LogText(const char* format, ...) {
        std::va_list args;
        va_start(args, format);
        const std::string text = StrFormatV(format, args);
        va_end(args);
        this->Log(text);
    }

    void AddRetries(std::uint32_t count) {
        m_highestRetries = std::max(m_highestRetries, count);
        m_totalRetries += count;
    }
    std::uint32_t HighestRetries() const { return m_highestRetries; }
    // The file was refused at the start: the radio was never touched.
    bool ImageRefused() const { return m_imageRefused; }
    std::uint32_t TotalRetries() const { return m_totalRetries; }
    std::uint32_t& FillBytes() { return m_fillBytes; }
    std::uint32_t& LoadAddress() { return m_loadAddress; }
    const std::string& PartName() const { return m_partName; }
    const std::filesystem::path& File() const { return m_file; }
    const CFirmwareImage& Image() const { return m_image; }
    CFirmwareImage& Image() { return m_image; }
    std::uint8_t* Packet() { return m_packet; }

  protected:
    // Judges the file's name, then reads the file into the image; on failure logs
    // "Line %u, error code 0x%08X: %s" (line 0 for a refused name).
    Result ReadImage(FirmwareKind kind) {
        std::uint32_t line = 0;
        Result r = CheckFirmwareName(m_file, kind);
        if (r == kOk) {
            r = LoadFirmwareImage(m_file, kind, m_image);
            line = m_image.Line();
        }
        if (r != kOk) {
            m_image.Clear();
            SetLastError(r);
            LogText(kFirmwareFileErrorFormat, line, r, ErrorText(r).c_str());
        }
        return r;
    }

    CFirmwareImage m_image;

  private:
    std::uint32_t m_highestRetries = 0;
    std::uint32_t m_totalRetries = 0;
    std::uint32_t m_fillBytes = 0;
    std::uint32_t m_loadAddress = 0;
    std::string m_partName;
    std::filesystem::path m_file;
    std::uint8_t m_packet[kMcuPacketSize] = {};
    bool m_imageRefused = false;
};

// One piece of the image in flight (an MCU packet or a DSP chunk): sent, then acknowledged,
// rejected or timed out. Rejections are re-sent, the fifth after a resynchronisation, and
// fail the run at the retry limit; a time-out always resynchronises first, up to the
// model's firmware load retry limit. A derived state builds and writes the piece.
template <typename T>
class CLoadBlockState : public CCommandResponseRetryState<T> {
  public:
    CLoadBlockState(CStateHost<T>& host, const char* name, CState<T>* next, char acknowledgement,
                    std::string terminators, std::uint32_t timeout)
        : CCommandResponseRetryState<T>(host, name, next, kErrNoResponsePacket, "", timeout),
          m_acknowledgement(acknowledgement),
          m_terminators(std::move(terminators)) {}

    void SetResync(CState<T>* resync) { m_resync = resync; }
    // The resynchronisation hands the piece back: send it again, its retry count standing.
    void Resume() {
        m_resuming = true;
        this->m_host.GoTo(*this);
    }
    std::uint32_t RetryCount() const { return m_count; }

    void Init() override {
        this->m_host.SetTerminators(m_terminators);
        if (m_resuming) {
            return;
        }
        m_count = 0;
        this->Host().FillBytes() = 0;
        OnEnter();
    }

    void Run() override {
        if (m_resuming) {
            m_resuming = false;
            this->Send();
            return;
        }
        SendNext();
    }

    // Anything but an acknowledgement or a rejection (the boot loader's 'C') says neither: the
    // piece's time-out keeps running, so the wait ends in a resynchronisation and never lasts
    // for ever.
    AnswerCheck CheckAnswer(const std::string& answer) override {
        return ValidIf(answer.find(m_acknowledgement) != std::string::npos || answer.find('N') != std::string::npos);
    }

    void OnResponse() override {
        this->m_host.KillTimer();
        if (this->m_host.Response().find(m_acknowledgement) != std::string::npos) {
            Acknowledged();
        } else {
            Rejected();
        }
    }

    void OnTimer() override {
        const std::uint32_t before = m_count++;
        if (before < this->Model().firmwareLoadRetryLimit.Get()) {
            this->m_host.GoTo(*m_resync);
        } else {
            Fail(kErrNoResponsePacket);
        }
    }

    void Fail(Result code) override {
        T& host = this->Host();
        host.LogText("Send %s firmware failed at load address x%04X", host.PartName().c_str(), host.LoadAddress());
        host.AddRetries(m_count);
        CState<T>::Fail(code);
    }

    std::string Terminators() const override { return m_terminators; }

  protected:
    // Entered anew (not resumed): the derived state's own preparation.
    virtual void OnEnter() {}
    // Builds the next piece and sends it, or moves on when there is none.
    virtual void SendNext() = 0;

    void Acknowledged() {
        T& host = this->Host();
        if (m_count > 0) {
            if (host.FillBytes() > 0 && host.VerboseLogging()) {
                host.LogText("Retry %u successful at address x%04X, %u fill bytes", m_count, host.LoadAddress(),
                             host.FillBytes());
            } else {
                host.LogText("Retry %u succeeded at address x%04X", m_count, host.LoadAddress());
            }
            host.AddRetries(m_count);
            m_count = 0;
        }
        host.FillBytes() = 0;
        SendNext();
    }

    void Rejected() {
        const std::uint32_t before = m_count++;
        const std::uint32_t limit = this->m_host.RetryLimit();
        if (before == limit / 2) {
            this->m_host.GoTo(*m_resync);
        } else if (before + 1 < limit) {
            this->Send();
        } else {
            Fail(kErrRetryLimit);
        }
    }

    std::uint32_t m_count = 0;
    char m_acknowledgement;
    std::string m_terminators;
    CState<T>* m_resync = nullptr;
    bool m_resuming = false;
};

// Sends single ';' fill bytes, 100 ms apart, until the radio's loader stands at a block
// boundary again and answers; then the block state sends its piece again.
template <typename T>
class CLoadResyncState : public CCommandResponseRetryState<T> {
  public:
    struct Rules {
        std::uint32_t fillLimit;  // polls without an answer before the run fails
        const char* terminators;  // the answers that end the wait
        bool countFirstPoll;      // the fill bytes start at 1 for the poll about to go out
    };

    CLoadResyncState(CStateHost<T>& host, const char* name, CLoadBlockState<T>& load, Rules rules)
        : CCommandResponseRetryState<T>(host, name, nullptr, kErrNoResponseSync, ";", 100),
          m_load(load),
          m_rules(rules) {}

    void Init() override {
        CCommandResponseRetryState<T>::Init();
        if (m_rules.countFirstPoll) {
            this->Host().FillBytes() = 1;
        }
    }

    void OnTimer() override {
        const std::uint32_t before = this->Host().FillBytes()++;
        if (before < m_rules.fillLimit) {
            this->Send();
        } else {
            this->Fail(kErrNoResponseSync);
        }
    }

    void OnResponse() override {
        this->m_host.KillTimer();
        OnBoundary();
    }

    std::string Terminators() const override { return m_rules.terminators; }

  protected:
    virtual void OnBoundary() { m_load.Resume(); }

    CLoadBlockState<T>& m_load;
    Rules m_rules;
};

}  // namespace rm7
