#pragma once
// The user's settings: sections holding named, typed values. Section "" is the application key,
// "Window" the window placement. Names compare without regard to ASCII case, as registry names do.
//
// Where they are kept is the system's own (settings_store.cpp, win/settings_store.cpp). On Windows,
// the registry: the location is a key under HKEY_CURRENT_USER ("Software\Tarnwell\RM7 Utility"),
// section "" its values and every other section a subkey; a dword is REG_DWORD, a string REG_SZ
// (REG_EXPAND_SZ read as one), bytes REG_BINARY. A value of any other type or malformed (a string of
// odd length or without its final zero, a dword not of 4 bytes) is left out with a Warning() and
// never written over or removed; Save() writes only the values that changed since the last Load()
// or Save() and removes those removed since.
//
// Elsewhere, a text file that reads like an INI file and may be edited by hand:
//
//     # RM7 Utility settings
//     FirmwareFolder=string:"/home/ann/.local/share/Tarnwell/RM7 Firmware"
//     Trace=dword:00000000
//     [Window]
//     flags=dword:00000000
//     Blob=binary:0a0b
//
// Strings are UTF-8 between double quotes with \\ \" \n \r \t and \xHH escapes; a byte that is
// not part of valid UTF-8 is written as \xHH. Values before the first section header belong to
// section "" (so does a "[]" header). A value written by hand without a type (Port=/dev/ttyUSB0,
// Trace=1) is read as a string, or as a dword when it is a whole number. A line that fits none of
// these forms is left out with a Warning() and the others are kept; never a failure or a crash.
//
// Reads and writes touch only memory; Save() writes the file atomically. One thread at a time.
#include "platform/result.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rm7 {

class CSettingsStore {
  public:
    // file: the settings file, or on Windows the key's path under HKEY_CURRENT_USER.
    explicit CSettingsStore(std::filesystem::path file);

    // Replaces the store with the file's content. A missing file is an empty store; so is one that
    // is not a file or too large, with a Warning(); lines that cannot be read are left out with a
    // Warning(). A file that cannot be read returns its error code. The same for a key.
    Result Load();
    // Writes the store, creating the folder (or key) when missing.
    Result Save();
    // Why the last Load() ignored the file; empty when it did not.
    const std::string& Warning() const { return m_warning; }

    // 0; ERROR_FILE_NOT_FOUND (2) when missing; ERROR_INVALID_DATA (13) when stored as another
    // type. out is left alone unless the read succeeds.
    Result ReadDword(std::string_view section, std::string_view name, std::uint32_t& out) const;
    Result ReadString(std::string_view section, std::string_view name, std::string& out) const;
    Result ReadBinary(std::string_view section, std::string_view name, std::vector<std::uint8_t>& out) const;

    Result WriteDword(std::string_view section, std::string_view name, std::uint32_t value);
    Result WriteString(std::string_view section, std::string_view name, std::string_view value);
    Result WriteBinary(std::string_view section, std::string_view name, const std::vector<std::uint8_t>& value);

    bool Has(std::string_view section, std::string_view name) const;
    void Remove(std::string_view section, std::string_view name);
    void Clear();

    const std::filesystem::path& File() const { return m_file; }

    // The file's text form, for Save() and for tests and fuzzing of the reader.
    std::string ToText() const;
    // Replaces the store with the values of text; false when a line could not be read (that line
    // is left out, the others kept), with the first such line and the count in warning.
    bool FromText(std::string_view text, std::string& warning);

  private:
    struct NoCaseLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    using Value = std::variant<std::uint32_t, std::string, std::vector<std::uint8_t>>;
    using Section = std::map<std::string, Value, NoCaseLess>;

    const Value* Find(std::string_view section, std::string_view name) const;
    void Put(std::string_view section, std::string_view name, Value value);

    std::filesystem::path m_file;
    using Sections = std::map<std::string, Section, NoCaseLess>;
    Sections m_sections;
    // What the registry held after the last Load() or Save(): a save writes only the difference.
    Sections m_stored;
    std::string m_warning;
};

}  // namespace rm7
