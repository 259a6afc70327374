#pragma once
// What a command-line program needs to know of the terminal it writes to.
#include <memory>

namespace rm7 {

// True when standard error is a terminal, where a progress line may redraw itself.
bool StderrIsTerminal();
bool StdinIsTerminal();
bool StdoutIsTerminal();

// Standard input a key at a time, unechoed and non-blocking, for as long as it lives (Ctrl+C
// still signals); the terminal's own settings come back when it goes.
class CRawKeyboard {
  public:
    CRawKeyboard();
    ~CRawKeyboard();
    CRawKeyboard(const CRawKeyboard&) = delete;
    CRawKeyboard& operator=(const CRawKeyboard&) = delete;

    // False when standard input is no terminal or refused the settings.
    bool Active() const { return m_active; }
    int Fd() const;
    // Up to n bytes typed; 0 when none are waiting, -1 at end of input or on a failure.
    long Read(char* buffer, unsigned long n);

  private:
    // The terminal's settings as they were, in the system's own form.
    struct Saved;
    bool m_active = false;
    std::unique_ptr<Saved> m_saved;
};

}  // namespace rm7
