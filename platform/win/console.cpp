#include "platform/console.h"

#include <io.h>

#include <vector>

#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

// A console, not a pipe or a file (the C runtime's isatty also says yes to the NUL device).
bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

struct CRawKeyboard::Saved {
    DWORD mode = 0;
};

bool StderrIsTerminal() {
    return IsConsole(STD_ERROR_HANDLE);
}

bool StdinIsTerminal() {
    return IsConsole(STD_INPUT_HANDLE);
}

bool StdoutIsTerminal() {
    return IsConsole(STD_OUTPUT_HANDLE);
}

CRawKeyboard::CRawKeyboard() : m_saved(std::make_unique<Saved>()) {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (!::GetConsoleMode(in, &m_saved->mode)) {
        return;
    }
    // Keys one at a time and unechoed; Ctrl+C still reaches the control handler.
    const DWORD raw = (m_saved->mode & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT;
    if (!::SetConsoleMode(in, raw)) {
        return;
    }
    m_active = true;
}

CRawKeyboard::~CRawKeyboard() {
    if (m_active) {
        ::SetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), m_saved->mode);
    }
}

int CRawKeyboard::Fd() const {
    return 0;
}

long CRawKeyboard::Read(char* buffer, unsigned long n) {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    long count = 0;
    // The console's queue also holds mouse, focus and key-up events: only typed characters count,
    // and nothing waits when none is queued.
    while (count < static_cast<long>(n)) {
        DWORD waiting = 0;
        if (!::GetNumberOfConsoleInputEvents(in, &waiting)) {
            return count > 0 ? count : -1;
        }
        if (waiting == 0) {
            break;
        }
        INPUT_RECORD record{};
        DWORD got = 0;
        if (!::ReadConsoleInputA(in, &record, 1, &got) || got == 0) {
            return count > 0 ? count : -1;
        }
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            record.Event.KeyEvent.uChar.AsciiChar != 0) {
            for (WORD r = 0; r < record.Event.KeyEvent.wRepeatCount && count < static_cast<long>(n); ++r) {
                buffer[count++] = record.Event.KeyEvent.uChar.AsciiChar;
            }
        }
    }
    return count;
}

}  // namespace rm7
