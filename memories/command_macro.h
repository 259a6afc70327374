#pragma once
// The command tester's sixteen macros (a label and a string of radio commands each). Macros 1 to
// 8 are also kept in the radio's EEPROM, one slot each (model/eeprom_map.h): the label, then the
// commands, each ended by a 0 or 0xFF byte or by filling its field. CCommandMacroStateMachine (command_macro_machine.h)
// reads and writes those eight; all sixteen live in the settings as "CommandCaption%u" and "CommandText%u".
//
// Texts are UTF-8; in the radio one byte is one ISO-8859-1 character.
//
// Threads: UI thread only, like every machine.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/eeprom_map.h"
#include "model/messages.h"
#include "model/observable.h"

namespace rm7 {

class CSettingsStore;

inline constexpr std::size_t kMacroCount = 16;

enum class MacroField { Label, Commands };

constexpr std::uint32_t MacroFieldSize(MacroField field) {
    return field == MacroField::Label ? kMacroLabelSize : kMacroTextSize;
}
// Macro index 0-7.
constexpr std::uint32_t MacroFieldAddress(std::size_t index, MacroField field) {
    return kMacroBaseAddress + kMacroSlotSize * static_cast<std::uint32_t>(index) +
           (field == MacroField::Label ? 0 : kMacroLabelSize);
}

using MacroLabels = CPersistableArray<kMacroCount>;
using MacroTexts = CPersistableArray<kMacroCount>;

// The text of a field as read: the bytes up to the first 0 or 0xFF, never past size.
std::string MacroTextFromBytes(const std::uint8_t* bytes, std::size_t size);
// What a write stores: white space trimmed at both ends, a-z in upper case.
std::string TidyMacroText(std::string_view utf8);
// Whether the tidied text fits a field: kOk, kErrMacroTooLong (more characters than the field
// holds) or kErrMacroCharacter (a character above U+00FE, or U+00FF, which would end the field).
Result CheckMacroField(std::string_view tidied, MacroField field);
// The field's bytes for a tidied text that passed the check: the text and its 0 byte, or the
// full field with no 0 byte. Returns the number of bytes to write.
std::uint32_t EncodeMacroField(std::string_view tidied, MacroField field, std::uint8_t* out);

// A macro the radio cannot store, found before anything is written: the message box's caption
// and text, and the code for rm7util.
struct MacroRefusal {
    Result code = kOk;
    std::string caption;
    std::string text;
};
// Checks macros 1 to 8 in order, label before commands, each as a write would tidy it.
MacroRefusal CheckRadioMacros(const MacroLabels& labels, const MacroTexts& texts);
// The same for one macro (index 0-7).
MacroRefusal CheckRadioMacro(std::size_t index, std::string_view label, std::string_view commands);

// "MACRO1" to "MACRO16".
std::string DefaultMacroLabel(std::size_t index);

// The sixteen macros with their settings; owned by the command tester page (and by rm7util's
// macros commands).
class CCommandMacros {
  public:
    explicit CCommandMacros(IMessagePump& pump);

    // Loads both arrays (a value of the wrong type keeps its default, as every setting does);
    // every empty label becomes its default.
    void Load(const CSettingsStore* store);
    // The changed elements into the store, and the store to its file.
    Result Save(CSettingsStore* store);
    // Every empty label becomes "MACRO%u", through Set (observers are told).
    void FillDefaultLabels();

    MacroLabels labels;
    MacroTexts texts;
};

inline constexpr const char* kMacroEditorCaption = "Edit Command Tester Macros";
inline constexpr const char* kMacroPage1Title = "Macros Assignable to RM7";
inline constexpr const char* kMacroPage2Title = "Additional Macros";
inline constexpr const char* kMacroReadButton = "Read Macros 1-8 from RM7";
inline constexpr const char* kMacroWriteButton = "Write Macros 1-8 to RM7";
inline constexpr const char* kMacroEditorErrorCaption = "Macro Editor Error";
inline constexpr const char* kMacroEditorHelpTopic = "CommandTester.htm#MacroEditor";

}  // namespace rm7
