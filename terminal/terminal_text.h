#pragma once
// What the text terminal makes of text, free of any window: the characters each of the radio's
// text modes can send, the form an echo takes, the markers of a memory, and the "TB" answer.
// Text here is the radio's: one byte, one character (ISO-8859-1).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/state_machine.h"

namespace rm7 {

enum class TerminalMode : std::uint8_t { kCw = 0, kRtty = 1, kPsk = 2 };

// "CW", "RTTY", "PSK"; and the mode of such a name (any case), none for another.
const char* TerminalModeName(TerminalMode mode);
std::optional<TerminalMode> TerminalModeFromName(std::string_view name);

// What the mode can send: each character is kept, left out or replaced (';' would end the
// command and becomes ','; CR becomes the mode's line break). A character beyond ASCII and a
// control character other than CR and LF are left out in every mode.
std::string FilterForMode(std::string_view text, TerminalMode mode);
// Text typed or given in UTF-8 (rm7util's keyboard, --send) as a transmit pane holds it: one
// byte a character, a character beyond ISO-8859-1 left out (no mode carries it), and each line
// break (CR LF, CR or LF) one CR, as in the desktop program's pane.
std::string TransmitTextFromUtf8(std::string_view utf8);
// How sent text shows once the radio reports it gone: in CW each prosign character as its two
// letters ('=' BT), otherwise unchanged.
std::string EchoForm(std::string_view filtered, TerminalMode mode);

// A memory's text with its markers taken out: "[TXON]" and "[TXOFF]" become flags, "[CRLF]"
// and "[NL]" a CR.
struct MemoryText {
    std::string text;
    bool txOn = false;
    bool txOff = false;
};
MemoryText ExpandMemory(std::string_view memory);

// "TB" t rr, rr received characters, ';': read by its length, since the received text may hold
// ';'. kNeedMore while shorter; kInvalid when it is no "TB" answer.
AnswerCheck CheckTextBufferAnswer(std::string_view response);
struct TextBufferAnswer {
    unsigned untransmitted = 0;  // characters still waiting in the radio's transmit buffer
    std::string received;
};
// The parts of an answer CheckTextBufferAnswer() found valid.
TextBufferAnswer ParseTextBufferAnswer(std::string_view answer);

// The fixed forms: end of transmission and the idle keep-alive (RTTY and PSK).
inline constexpr std::string_view kEndOfTransmission = "KY \x04;";
inline constexpr std::string_view kKeepAlive = "KY  \x7F;";

// Radio text made safe for a terminal, as UTF-8: CR LF, CR and LF each one line break, a tab
// kept, other control characters as "\x" and two hex digits, so no escape sequence from the
// air reaches the screen.
std::string TerminalTextForConsole(std::string_view radioText);

}  // namespace rm7
