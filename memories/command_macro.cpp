#include "memories/command_macro.h"

#include <algorithm>

#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace rm7 {
namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The code points of UTF-8 text; a malformed byte counts as one character of its own, above
// the 8-bit range, so that it is refused rather than stored as something else.
template <typename F>
void ForEachCodePoint(std::string_view utf8, F f) {
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t length = c < 0x80             ? 1
                             : (c & 0xE0) == 0xC0 ? 2
                             : (c & 0xF0) == 0xE0 ? 3
                             : (c & 0xF8) == 0xF0 ? 4
                                                  : 0;
        std::uint32_t cp = 0x110000;
        if (length != 0 && i + length <= utf8.size()) {
            cp = length == 1 ? c : c & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) {
                const auto cc = static_cast<unsigned char>(utf8[i + k]);
                if ((cc & 0xC0) != 0x80) {
                    cp = 0x110000;
                    length = k;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
        } else {
            length = 1;
        }
        f(cp);
        i += length;
    }
}

const char* FieldName(MacroField field) {
    return field == MacroField::Label ? "Label" : "Commands";
}

}  // namespace

std::string MacroTextFromBytes(const std::uint8_t* bytes, std::size_t size) {
    std::string latin1;
    for (std::size_t i = 0; i < size && bytes[i] != 0 && bytes[i] != 0xFF; ++i) {
        latin1 += static_cast<char>(bytes[i]);
    }
    return Latin1ToUtf8(latin1);
}

std::string TidyMacroText(std::string_view utf8) {
    while (!utf8.empty() && IsBlank(utf8.front())) {
        utf8.remove_prefix(1);
    }
    while (!utf8.empty() && IsBlank(utf8.back())) {
        utf8.remove_suffix(1);
    }
    std::string out(utf8);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

Result CheckMacroField(std::string_view tidied, MacroField field) {
    std::size_t characters = 0;
    bool storable = true;
    ForEachCodePoint(tidied, [&](std::uint32_t cp) {
        ++characters;
        // A 0 or 0xFF byte ends the field when the radio's copy is read.
        storable = storable && cp != 0 && cp < 0xFF;
    });
    if (!storable) {
        return kErrMacroCharacter;
    }
    return characters > MacroFieldSize(field) ? kErrMacroTooLong : kOk;
}

std::uint32_t EncodeMacroField(std::string_view tidied, MacroField field, std::uint8_t* out) {
    const std::uint32_t size = MacroFieldSize(field);
    std::string latin1 = Utf8ToLatin1(tidied);
    if (latin1.size() > size) {
        latin1.resize(size);
    }
    std::copy(latin1.begin(), latin1.end(), out);
    if (latin1.size() < size) {
        out[latin1.size()] = 0;
        return static_cast<std::uint32_t>(latin1.size()) + 1;
    }
    return size;
}

MacroRefusal CheckRadioMacro(std::size_t index, std::string_view label, std::string_view commands) {
    for (const MacroField field : {MacroField::Label, MacroField::Commands}) {
        const std::string tidied = TidyMacroText(field == MacroField::Label ? label : commands);
        const Result r = CheckMacroField(tidied, field);
        if (r == kErrMacroTooLong) {
            return {r, StrFormat("Macro %s Length Error", FieldName(field)),
                    StrFormat("Macro %s %zu must be no longer than %u characters", FieldName(field), index + 1,
                              MacroFieldSize(field))};
        }
        if (r == kErrMacroCharacter) {
            return {r, StrFormat("Macro %s Character Error", FieldName(field)),
                    StrFormat("Macro %s %zu holds a character the RM7 cannot store: only ISO-8859-1 (Latin-1) "
                              "characters, without \xC3\xBF, can be stored",
                              FieldName(field), index + 1)};
        }
    }
    return {};
}

MacroRefusal CheckRadioMacros(const MacroLabels& labels, const MacroTexts& texts) {
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        MacroRefusal refusal = CheckRadioMacro(i, labels.Get(i), texts.Get(i));
        if (refusal.code != kOk) {
            return refusal;
        }
    }
    return {};
}

std::string DefaultMacroLabel(std::size_t index) {
    return StrFormat("MACRO%zu", index + 1);
}

CCommandMacros::CCommandMacros(IMessagePump& pump)
    : labels(pump, kMsgCommandCaptions, "CommandCaption%u"), texts(pump, kMsgCommandTexts, "CommandText%u") {}

void CCommandMacros::Load(const CSettingsStore* store) {
    if (store != nullptr) {
        (void)labels.Load(*store);
        (void)texts.Load(*store);
    }
    FillDefaultLabels();
}

Result CCommandMacros::Save(CSettingsStore* store) {
    if (store == nullptr) {
        return kOk;
    }
    const Result a = labels.Save(*store);
    const Result b = texts.Save(*store);
    const Result c = store->Save();
    return a != kOk ? a : b != kOk ? b : c;
}

void CCommandMacros::FillDefaultLabels() {
    for (std::size_t i = 0; i < kMacroCount; ++i) {
        if (labels.Get(i).empty()) {
            labels.Set(i, DefaultMacroLabel(i));
        }
    }
}

}  // namespace rm7
