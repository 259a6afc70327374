#include "platform/settings.h"
#include "platform/win/wide_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rm7 {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

class SettingsRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

    // A value as another program would leave it.
    static void PutRaw(const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        const std::wstring path = std::wstring(kKey) + (subkey ? L"\\"s + subkey : L""s);
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, data, size), ERROR_SUCCESS);
    }
    static void PutRawText(const wchar_t* name, DWORD type, const std::wstring& text) {
        PutRaw(nullptr, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    // Type and bytes of a value as the registry holds it; type REG_NONE when missing.
    static std::pair<DWORD, Bytes> GetRaw(const wchar_t* subkey, const wchar_t* name) {
        const std::wstring path = std::wstring(kKey) + (subkey ? L"\\"s + subkey : L""s);
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return {REG_NONE, {}};
        }
        DWORD type = REG_NONE;
        Bytes data(70000);
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS r = ::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        ::RegCloseKey(key);
        if (r != ERROR_SUCCESS) {
            return {REG_NONE, {}};
        }
        data.resize(size);
        return {type, data};
    }

    static constexpr const wchar_t* kKey = L"Software\\Tarnwell\\RM7 Utility Test";
};

TEST_F(SettingsRegistryTest, EverythingRoundTripsAsTheRegistrysOwnTypes) {
    const std::string strings[] = {"",
                                   "COM5",
                                   "C:\\Users\\Ann\\AppData\\Roaming\\Tarnwell\\RM7 Firmware",
                                   "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBB",
                                   "two\nlines\ttab",
                                   "nul\0inside"s};
    Bytes allBytes;
    for (int b = 0; b < 256; ++b) {
        allBytes.push_back(static_cast<std::uint8_t>(b));
    }
    CSettingsStore out(kKey);
    ASSERT_EQ(out.Load(), kOk);  // no key yet: an empty store, said nothing
    EXPECT_EQ(out.Warning(), "");
    for (std::size_t i = 0; i < std::size(strings); ++i) {
        out.WriteString("", "S" + std::to_string(i), strings[i]);
    }
    out.WriteDword("", "Trace", 0xFFFFFFFFu);
    out.WriteBinary("", "Empty", {});
    out.WriteDword("Window", "showCmd", 3);
    out.WriteBinary("Window", "All", allBytes);
    ASSERT_EQ(out.Save(), kOk);  // creates the key

    // What another Windows program (or regedit) sees.
    EXPECT_EQ(GetRaw(nullptr, L"Trace"), std::make_pair(DWORD{REG_DWORD}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(GetRaw(nullptr, L"S1"), std::make_pair(DWORD{REG_SZ}, Bytes{'C', 0, 'O', 0, 'M', 0, '5', 0, 0, 0}));
    EXPECT_EQ(GetRaw(L"Window", L"showCmd").first, DWORD{REG_DWORD});
    EXPECT_EQ(GetRaw(L"Window", L"All"), std::make_pair(DWORD{REG_BINARY}, allBytes));

    CSettingsStore in(kKey);
    ASSERT_EQ(in.Load(), kOk);
    EXPECT_EQ(in.Warning(), "");
    for (std::size_t i = 0; i < std::size(strings); ++i) {
        std::string s = "unread";
        EXPECT_EQ(in.ReadString("", "s" + std::to_string(i), s), kOk) << i;  // names ignore case
        EXPECT_EQ(s, strings[i]);
    }
    std::uint32_t d = 0;
    EXPECT_EQ(in.ReadDword("", "Trace", d), kOk);
    EXPECT_EQ(d, 0xFFFFFFFFu);
    EXPECT_EQ(in.ReadDword("window", "showCmd", d), kOk);
    EXPECT_EQ(d, 3u);
    Bytes b{1};
    EXPECT_EQ(in.ReadBinary("", "Empty", b), kOk);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(in.ReadBinary("Window", "All", b), kOk);
    EXPECT_EQ(b, allBytes);
    EXPECT_EQ(in.ToText(), out.ToText());
}

TEST_F(SettingsRegistryTest, ForeignAndMalformedValuesAreLeftOutAndNeverWrittenOver) {
    PutRawText(L"Port", REG_SZ, L"COM7");
    PutRawText(L"Trace", REG_SZ, L"1");  // a dword's name, as a string
    PutRawText(L"FirmwareFolder", REG_EXPAND_SZ, L"%APPDATA%\\fw");
    const std::uint64_t qword = 5;
    PutRaw(nullptr, L"Wide", REG_QWORD, &qword, sizeof qword);
    PutRaw(nullptr, L"Odd", REG_SZ, "ab\0", 3);
    // Windows adds a final zero the count left out when one follows; here none does.
    PutRaw(nullptr, L"Unterminated", REG_SZ, L"abcd", 3 * sizeof(wchar_t));
    PutRaw(nullptr, L"Short", REG_DWORD, "\1\2\3", 3);
    PutRaw(nullptr, L"List", REG_MULTI_SZ, L"a\0b\0", 5 * sizeof(wchar_t));
    const auto untouched = [&] {
        return std::vector{GetRaw(nullptr, L"Wide"), GetRaw(nullptr, L"Odd"), GetRaw(nullptr, L"Unterminated"),
                           GetRaw(nullptr, L"Short"), GetRaw(nullptr, L"List")};
    };
    const auto foreign = untouched();

    CSettingsStore store(kKey);
    ASSERT_EQ(store.Load(), kOk);
    const std::string& w = store.Warning();
    EXPECT_EQ(w.rfind("The settings under HKEY_CURRENT_USER\\Software\\Tarnwell\\RM7 Utility Test: left out what "
                      "could not be read (",
                      0),
              0u)
        << w;
    EXPECT_NE(w.find("; 4 more values); the other settings apply."), std::string::npos) << w;

    std::uint32_t d = 42;
    std::string s;
    EXPECT_EQ(store.ReadDword("", "Trace", d), kErrorInvalidData);  // of the wrong type: the default stays
    EXPECT_EQ(d, 42u);
    EXPECT_EQ(store.ReadString("", "Trace", s), kOk);
    EXPECT_EQ(store.ReadString("", "FirmwareFolder", s), kOk);
    EXPECT_EQ(s, "%APPDATA%\\fw");  // kept as written, as the described paths are
    for (const char* name : {"Wide", "Odd", "Unterminated", "Short", "List"}) {
        EXPECT_FALSE(store.Has("", name)) << name;
    }

    // A save writes what changed and nothing else: the values left out stay as they were, as does
    // a value another program changed meanwhile that this one did not.
    store.WriteString("", "Port", "COM9");
    PutRawText(L"FirmwareFolder", REG_SZ, L"D:\\elsewhere");
    ASSERT_EQ(store.Save(), kOk);
    EXPECT_EQ(untouched(), foreign);
    EXPECT_EQ(GetRaw(nullptr, L"FirmwareFolder").first, DWORD{REG_SZ});
    CSettingsStore again(kKey);
    ASSERT_EQ(again.Load(), kOk);
    EXPECT_EQ(again.ReadString("", "Port", s), kOk);
    EXPECT_EQ(s, "COM9");
    EXPECT_EQ(again.ReadString("", "FirmwareFolder", s), kOk);
    EXPECT_EQ(s, "D:\\elsewhere");
}

TEST_F(SettingsRegistryTest, RemovedValuesGoAndAMissingKeyIsAnEmptyStore) {
    CSettingsStore store(kKey);
    store.WriteDword("", "Trace", 1);
    store.WriteDword("Window", "flags", 2);
    ASSERT_EQ(store.Save(), kOk);
    store.Remove("", "trace");
    store.Remove("Window", "flags");
    ASSERT_EQ(store.Save(), kOk);
    EXPECT_EQ(GetRaw(nullptr, L"Trace").first, DWORD{REG_NONE});
    EXPECT_EQ(GetRaw(L"Window", L"flags").first, DWORD{REG_NONE});

    // A section name the registry would read as a path of keys is refused; the rest is saved.
    store.WriteDword("a\\b", "x", 1);
    store.WriteDword("", "Kept", 1);
    EXPECT_EQ(store.Save(), kErrorInvalidName);
    EXPECT_EQ(GetRaw(nullptr, L"Kept").first, DWORD{REG_DWORD});

    // Loading replaces what was in memory; with the key gone, nothing is left and nothing said.
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
    ASSERT_EQ(store.Load(), kOk);
    EXPECT_EQ(store.Warning(), "");
    EXPECT_FALSE(store.Has("", "Kept"));
    EXPECT_EQ(store.ToText(), CSettingsStore(kKey).ToText());
}

}  // namespace
}  // namespace rm7
