#pragma once
// Text conversions at the edges: the radio speaks bytes (one byte, one character 0-255, as the
// ISO-8859-1 code page has it), the user's text is UTF-8.
#include <string>
#include <string_view>
#include <vector>

namespace rm7 {

// Each byte becomes the character of the same value.
std::string Latin1ToUtf8(std::string_view bytes);
// Each character becomes one byte; a character above 255 and each malformed UTF-8 byte become
// `unmappable` ("" leaves them out).
std::string Utf8ToLatin1(std::string_view utf8, std::string_view unmappable = "?");
// Text that should be UTF-8 but may not be (a file name, a typed argument), made safe to show:
// every well-formed sequence as it stands, every other byte as "\x" and two upper-case hex
// digits, as PrintableForm() writes it.
std::string Utf8OrEscaped(std::string_view text);
// Text from outside (a server, a file, the radio, a folder's names) made safe to print on a terminal
// or in a log: the one place this is decided. Well-formed UTF-8 stands, except the C0 controls,
// DEL and the C1 controls (U+0080 to U+009F), each shown as "\x" and two upper-case hex digits of
// its value, as is every byte that is not well-formed UTF-8. With keepLayout, tab and line feed
// stay (a document's own layout).
std::string SafeToPrint(std::string_view text, bool keepLayout = false);
// Whether SafeToPrint() would change anything but malformed bytes: a C0 control, DEL or C1 control.
bool HoldsControlCharacter(std::string_view utf8);
// The text with each CR LF pair replaced, in one pass: a replacement is not looked at again.
std::string FlattenLineBreaks(std::string_view text, std::string_view replacement);
// 8-bit text (a line of a file) quoted for a message, as UTF-8: in double quotes, with control
// characters as "\x" and two hex digits so none reaches a terminal, and beyond `limit`
// characters cut short and marked with its length: "MEM2 00 ..." (1048576 characters).
std::string QuotedExcerpt(std::string_view bytes, std::size_t limit = 60);

// A text of the system's tables with every "%s" filled by the model name ("RM7"): the texts name
// the radio by that one name, never by another model's.
std::string WithModelName(std::string_view text);

// Comparisons that fold the ASCII letters only, whatever the locale: radio answers and file
// names are compared this way.
constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);

// The value of a hexadecimal digit of either case, or -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}
constexpr bool IsHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

// The trace form: bytes outside printable ASCII as "\x" and two upper-case hex digits ("ab\x0Dc;").
std::string PrintableForm(std::string_view bytes);

// Splits a line into words as a POSIX shell would: blanks between words, '…' literal, "…" with a
// backslash before " $ ` a backslash or a line break, and a backslash outside quotes taking the
// next character; nothing is expanded. False, with why in error, for a quote left open or a
// backslash at the end.
bool SplitShellWords(std::string_view line, std::vector<std::string>& words, std::string& error);

}  // namespace rm7
