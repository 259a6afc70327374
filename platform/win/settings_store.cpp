// The settings in the registry, where Windows programs keep them (see settings.h).
#include "platform/settings.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

// Far beyond any real setting; a bigger value is not ours.
constexpr DWORD kMaxValueSize = 4u << 20;

class CKey {
  public:
    CKey() = default;
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    ~CKey() {
        if (m_key != nullptr) {
            ::RegCloseKey(m_key);
        }
    }
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

  private:
    HKEY m_key = nullptr;
};

std::string KeyText(const std::filesystem::path& key) {
    return "HKEY_CURRENT_USER\\" + WideToUtf8(key.wstring());
}

// What the registry holds, in the store's kinds; why not when it is none of them.
template <typename Value>
const char* Decode(DWORD type, const std::vector<BYTE>& data, DWORD size, Value& out) {
    switch (type) {
        case REG_DWORD: {
            if (size != sizeof(std::uint32_t)) {
                return "a dword not of 4 bytes";
            }
            std::uint32_t dword = 0;
            std::memcpy(&dword, data.data(), sizeof dword);
            out = dword;
            return nullptr;
        }
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::wstring text(size / sizeof(wchar_t), L'\0');
            std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
            if (size % sizeof(wchar_t) != 0 || text.empty() || text.back() != L'\0') {
                return "a string of odd length or without its final zero";
            }
            text.pop_back();
            out = WideToUtf8(text);
            return nullptr;
        }
        case REG_BINARY:
            out = std::vector<std::uint8_t>(data.begin(), data.begin() + size);
            return nullptr;
        default:
            return "a type the program does not keep";
    }
}

}  // namespace

Result CSettingsStore::Load() {
    m_sections.clear();
    m_stored.clear();
    m_warning.clear();
    unsigned leftOut = 0;
    const auto leaveOut = [&](const std::string& section, const std::string& name, const char* why) {
        if (leftOut++ == 0) {
            m_warning = (section.empty() ? "" : section + "\\") + name + ": " + why;
        }
    };

    // The values of one key as one section; a value too large, of another type or malformed is left out.
    const auto readValues = [&](HKEY key, const std::string& section) -> LSTATUS {
        for (DWORD index = 0;; ++index) {
            DWORD nameCapacity = 0;
            DWORD dataCapacity = 0;
            if (const LSTATUS r = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     &nameCapacity, &dataCapacity, nullptr, nullptr);
                r != ERROR_SUCCESS) {
                return r;
            }
            std::wstring name(nameCapacity + 1, L'\0');
            std::vector<BYTE> data(std::min(dataCapacity, kMaxValueSize) + 2);
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD type = REG_NONE;
            DWORD size = static_cast<DWORD>(data.size());
            const LSTATUS r = ::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
            if (r == ERROR_NO_MORE_ITEMS) {
                return ERROR_SUCCESS;
            }
            name.resize(nameLength);
            const std::string utf8Name = WideToUtf8(name);
            if (r == ERROR_MORE_DATA) {
                leaveOut(section, utf8Name, "too large");
                continue;
            }
            if (r != ERROR_SUCCESS) {
                return r;
            }
            Value value;
            if (const char* why = Decode(type, data, size, value)) {
                leaveOut(section, utf8Name, why);
                continue;
            }
            Put(section, utf8Name, std::move(value));
        }
    };

    CKey root;
    LSTATUS r = ::RegOpenKeyExW(HKEY_CURRENT_USER, m_file.c_str(), 0, KEY_READ, root.Out());
    if (r == ERROR_FILE_NOT_FOUND) {
        return kOk;
    }
    if (r == ERROR_SUCCESS) {
        r = readValues(root.Get(), "");
    }
    // Each subkey one section; deeper keys are none of ours.
    for (DWORD index = 0; r == ERROR_SUCCESS; ++index) {
        wchar_t subkeyName[256];  // the registry's own limit on a key name
        DWORD length = static_cast<DWORD>(std::size(subkeyName));
        r = ::RegEnumKeyExW(root.Get(), index, subkeyName, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) {
            r = ERROR_SUCCESS;
            break;
        }
        if (r != ERROR_SUCCESS) {
            break;
        }
        CKey subkey;
        r = ::RegOpenKeyExW(root.Get(), subkeyName, 0, KEY_READ, subkey.Out());
        if (r == ERROR_SUCCESS) {
            r = readValues(subkey.Get(), WideToUtf8(std::wstring(subkeyName, length)));
        }
    }
    if (r != ERROR_SUCCESS) {
        m_sections.clear();
        m_warning = "The settings under " + KeyText(m_file) + " were not used (they cannot be read); default " +
                    "settings apply.";
        return static_cast<Result>(r);
    }
    m_stored = m_sections;
    if (leftOut > 0) {
        m_warning =
            "The settings under " + KeyText(m_file) + ": left out what could not be read (" + m_warning +
            (leftOut == 1 ? "" : "; " + std::to_string(leftOut - 1) + (leftOut == 2 ? " more value" : " more values")) +
            "); the other settings apply.";
    }
    return kOk;
}

Result CSettingsStore::Save() {
    CKey root;
    if (const LSTATUS r = ::RegCreateKeyExW(HKEY_CURRENT_USER, m_file.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                            nullptr, root.Out(), nullptr);
        r != ERROR_SUCCESS) {
        return static_cast<Result>(r);
    }
    Result first = kOk;
    const auto failed = [&first](Result r) {
        if (first == kOk) {
            first = r;
        }
    };

    for (const auto& [section, values] : m_sections) {
        const auto before = m_stored.find(section);
        CKey subkey;
        HKEY key = root.Get();
        if (!section.empty()) {
            // A backslash would make a key that Load() does not read back.
            if (section.find('\\') != std::string::npos) {
                failed(kErrorInvalidName);
                continue;
            }
            if (const LSTATUS r = ::RegCreateKeyExW(root.Get(), Utf8ToWide(section).c_str(), 0, nullptr, 0,
                                                    KEY_READ | KEY_WRITE, nullptr, subkey.Out(), nullptr);
                r != ERROR_SUCCESS) {
                failed(static_cast<Result>(r));
                continue;
            }
            key = subkey.Get();
        }
        for (const auto& [name, value] : values) {
            if (before != m_stored.end()) {
                if (const auto was = before->second.find(name); was != before->second.end() && was->second == value) {
                    continue;
                }
            }
            std::vector<BYTE> data;
            DWORD type = REG_BINARY;
            if (const auto* dword = std::get_if<std::uint32_t>(&value)) {
                type = REG_DWORD;
                data.resize(sizeof *dword);
                std::memcpy(data.data(), dword, sizeof *dword);
            } else if (const auto* text = std::get_if<std::string>(&value)) {
                type = REG_SZ;
                const std::wstring wide = Utf8ToWide(*text) + L'\0';
                data.resize(wide.size() * sizeof(wchar_t));
                std::memcpy(data.data(), wide.data(), data.size());
            } else {
                const auto& bytes = std::get<std::vector<std::uint8_t>>(value);
                data.assign(bytes.begin(), bytes.end());
            }
            if (const LSTATUS r = ::RegSetValueExW(key, Utf8ToWide(name).c_str(), 0, type, data.data(),
                                                   static_cast<DWORD>(data.size()));
                r != ERROR_SUCCESS) {
                failed(static_cast<Result>(r));
            }
        }
    }

    // What was removed since goes from the registry too; what Load() left out stays there untouched.
    for (const auto& [section, values] : m_stored) {
        const auto now = m_sections.find(section);
        for (const auto& [name, value] : values) {
            if (now != m_sections.end() && now->second.find(name) != now->second.end()) {
                continue;
            }
            const LSTATUS r = ::RegDeleteKeyValueW(root.Get(), section.empty() ? nullptr : Utf8ToWide(section).c_str(),
                                                   Utf8ToWide(name).c_str());
            if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) {
                failed(static_cast<Result>(r));
            }
        }
    }
    if (first == kOk) {
        m_stored = m_sections;
    }
    return first;
}

}  // namespace rm7
