#include "platform/tty.h"

#include <cstdio>
#include <string>

#include "platform/error_text.h"
#include "platform/result_codes.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

constexpr std::uint32_t kSpeeds[] = {4800, 9600, 19200, 38400, 57600, 115200, 230400};

// "COM12" needs the device namespace to be opened at all (COM1 to COM9 have the short form too).
std::wstring DevicePath(const std::string& name) {
    if (name.rfind("\\\\", 0) == 0) {
        return Utf8ToWide(name);
    }
    return L"\\\\.\\" + Utf8ToWide(name);
}

// What a failed call on an open port means: a USB adapter that was pulled out answers with one
// of these, which is no matter of permissions.
Result DeviceError(DWORD err) {
    switch (err) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
        case ERROR_INVALID_HANDLE:
        case ERROR_FILE_NOT_FOUND:
            return kErrPortGone;
        default:
            return static_cast<Result>(err);
    }
}

// One overlapped transfer waited for to its end: the port is opened overlapped so the listener's
// WaitCommEvent never blocks the UI thread's reads and writes.
class COverlapped {
  public:
    COverlapped() { m_ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~COverlapped() {
        if (m_ov.hEvent != nullptr) {
            ::CloseHandle(m_ov.hEvent);
        }
    }
    COverlapped(const COverlapped&) = delete;
    COverlapped& operator=(const COverlapped&) = delete;
    bool Valid() const { return m_ov.hEvent != nullptr; }
    OVERLAPPED* Get() { return &m_ov; }
    // Finishes a call that answered FALSE: waits when it is pending; the bytes moved.
    Result Finish(HANDLE h, BOOL started, DWORD& moved) {
        if (!started && ::GetLastError() != ERROR_IO_PENDING) {
            return DeviceError(::GetLastError());
        }
        if (!::GetOverlappedResult(h, &m_ov, &moved, TRUE)) {
            return DeviceError(::GetLastError());
        }
        return kOk;
    }

  private:
    OVERLAPPED m_ov{};
};

}  // namespace

Result CTtyDevice::Open(const std::string& path) {
    if (IsOpen()) {
        return kOk;
    }
    // No sharing: a COM port has one owner at a time, as a tty opened exclusively has.
    HANDLE h = ::CreateFileW(DevicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return static_cast<Result>(::GetLastError());
    }
    const auto fail = [h](DWORD err) {
        ::CloseHandle(h);
        return static_cast<Result>(err);
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
        // A file or another device that is no serial port.
        return fail(::GetLastError() == ERROR_INVALID_HANDLE ? ERROR_INVALID_FUNCTION : ::GetLastError());
    }
    dcb.BaudRate = 38400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    // The radio must see DTR and RTS off.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(h, &dcb)) {
        return fail(::GetLastError());
    }
    // Reads return at once with what is there; a write may stall for the stall limit.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(m_writeStallMs);
    if (!::SetCommTimeouts(h, &timeouts) || !::SetCommMask(h, EV_RXCHAR | EV_ERR)) {
        return fail(::GetLastError());
    }
    ::SetupComm(h, 4096, 4096);
    ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    m_fd = HandleToInt(h);
    m_path = path;
    return kOk;
}

void CTtyDevice::Close() {
    if (m_fd >= 0) {
        ::CloseHandle(IntToHandle(m_fd));
        m_fd = -1;
    }
    m_path.clear();
}

Result CTtyDevice::SetSpeed(std::uint32_t bps) {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    bool known = false;
    for (const std::uint32_t s : kSpeeds) {
        known = known || s == bps;
    }
    if (!known) {
        return kErrorInvalidParameter;
    }
    HANDLE h = IntToHandle(m_fd);
    DCB previous{};
    previous.DCBlength = sizeof previous;
    if (!::GetCommState(h, &previous)) {
        return DeviceError(::GetLastError());
    }
    DCB dcb = previous;
    dcb.BaudRate = bps;
    if (!::SetCommState(h, &dcb)) {
        const DWORD err = ::GetLastError();
        ::SetCommState(h, &previous);
        return err == ERROR_INVALID_PARAMETER ? kErrorInvalidParameter : DeviceError(err);
    }
    return kOk;
}

std::uint32_t CTtyDevice::Speed() const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!IsOpen() || !::GetCommState(IntToHandle(m_fd), &dcb)) {
        return 0;
    }
    return dcb.BaudRate;
}

Result CTtyDevice::Purge() {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    return ::PurgeComm(IntToHandle(m_fd), PURGE_RXCLEAR) ? kOk : DeviceError(::GetLastError());
}

Result CTtyDevice::Read(void* buf, std::size_t len, std::size_t& count) {
    count = 0;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    if (len == 0) {
        return kOk;
    }
    COverlapped ov;
    if (!ov.Valid()) {
        return kErrorNoSystemResources;
    }
    HANDLE h = IntToHandle(m_fd);
    DWORD got = 0;
    const BOOL started = ::ReadFile(h, buf, static_cast<DWORD>(len > MAXDWORD ? MAXDWORD : len), nullptr, ov.Get());
    const Result r = ov.Finish(h, started, got);
    count = got;
    return r;
}

Result CTtyDevice::Write(const void* data, std::size_t n) {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    HANDLE h = IntToHandle(m_fd);
    COMMTIMEOUTS timeouts{};
    if (::GetCommTimeouts(h, &timeouts) && timeouts.WriteTotalTimeoutConstant != static_cast<DWORD>(m_writeStallMs)) {
        timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(m_writeStallMs);
        ::SetCommTimeouts(h, &timeouts);
    }
    COverlapped ov;
    if (!ov.Valid()) {
        return kErrorNoSystemResources;
    }
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        DWORD written = 0;
        ::ResetEvent(ov.Get()->hEvent);
        const BOOL started = ::WriteFile(h, p, static_cast<DWORD>(n > MAXDWORD ? MAXDWORD : n), nullptr, ov.Get());
        if (const Result r = ov.Finish(h, started, written); r != kOk) {
            return r;
        }
        if (written == 0) {
            return kErrorTimeout;  // nothing moved for the whole stall limit
        }
        p += written;
        n -= written;
    }
    return kOk;
}

Result CTtyDevice::WaitReadable(int stopFd, int timeoutMs, bool& readable) {
    readable = false;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    HANDLE h = IntToHandle(m_fd);
    // Bytes already queued need no event: the event fires only for what arrives after the wait began.
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(h, &errors, &status)) {
        return DeviceError(::GetLastError());
    }
    if (status.cbInQue > 0) {
        readable = true;
        return kOk;
    }
    COverlapped ov;
    if (!ov.Valid()) {
        return kErrorNoSystemResources;
    }
    DWORD mask = 0;
    if (!::WaitCommEvent(h, &mask, ov.Get())) {
        if (::GetLastError() == ERROR_OPERATION_ABORTED) {
            return kOk;
        }
        if (::GetLastError() != ERROR_IO_PENDING) {
            return DeviceError(::GetLastError());
        }
        HANDLE handles[2] = {ov.Get()->hEvent, stopFd >= 0 ? IntToHandle(stopFd) : nullptr};
        const DWORD count = stopFd >= 0 ? 2 : 1;
        const DWORD r =
            ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (r != WAIT_OBJECT_0) {
            // Stopped or timed out: the wait is called off before its OVERLAPPED goes away.
            ::CancelIoEx(h, ov.Get());
            DWORD ignored = 0;
            ::GetOverlappedResult(h, ov.Get(), &ignored, TRUE);
            return kOk;
        }
        DWORD ignored = 0;
        // A speed change or a purge on the UI thread ends the wait without an event (aborted, or
        // an empty mask): nothing to read, the caller waits again, and a device that has gone
        // shows in the next look at its queue.
        // Waiting: under Wine the event may be set a moment before the result is.
        if (!::GetOverlappedResult(h, ov.Get(), &ignored, TRUE) && ::GetLastError() != ERROR_OPERATION_ABORTED) {
            return DeviceError(::GetLastError());
        }
    }
    if (!::ClearCommError(h, &errors, &status)) {
        return DeviceError(::GetLastError());
    }
    readable = status.cbInQue > 0;
    return kOk;
}

bool UserInGroup(unsigned) {
    return false;
}

std::string GroupNameOf(unsigned) {
    return {};
}

// Windows does not say which program holds a COM port.
int FindDeviceHolder(const std::string&, std::string& name) {
    name.clear();
    return 0;
}

std::string DeviceHolderText(const std::string&) {
    return "in use by another program";
}

std::string SerialPathProblem(const std::string&) {
    return {};  // a COM port is no path to look at: opening it tells
}

std::string PortOpenFailureText(const std::string& path, Result code) {
    std::string text = ErrorText(code);
    if (code == kErrorBusy) {
        text += ": " + DeviceHolderText(path);
    }
    return text;
}

std::string AccessDeniedHint(const std::string& path) {
    return "Check that " + path +
           " is the radio's COM port (rm7util ports lists them) and that no other program, such as a terminal "
           "or a logging program, is using it.";
}

}  // namespace rm7
