#include "platform/settings.h"
#include "tests/support/temp_folder.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace rm7 {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = folder.Path();
        file = dir / "Tarnwell" / "RM7 Utility.conf";
    }
    void WriteFile(const std::string& content) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    std::string ReadFile() {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    test::CTempFolder folder;
    fs::path dir;
    fs::path file;
};

TEST_F(SettingsTest, EverythingRoundTripsThroughTheFile) {
    const std::string strings[] = {
        "",
        "plain",
        "two\nlines\r\nand a tab\t",
        "say \"hi\" = hello; # not a comment [x]",
        "back\\slash \\x41 \\n",
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBB",
        "not utf-8: \xFF\xC3 \x80 \xED\xA0\x80",
        "nul\0inside"s,
        "  padded  ",
    };
    const std::string names[] = {"Port", "a=b", "[x]", " spaced ", "\xC3\xBCn\xC3\xAF", "#hash", ";semi", "back\\"};
    Bytes allBytes;
    for (int b = 0; b < 256; ++b) {
        allBytes.push_back(static_cast<std::uint8_t>(b));
    }

    CSettingsStore out(file);
    for (std::size_t i = 0; i < std::size(strings); ++i) {
        out.WriteString("", "S" + std::to_string(i), strings[i]);
    }
    for (const std::string& name : names) {
        out.WriteString("Odd]section\n", name, name);
    }
    out.WriteDword("", "Zero", 0);
    out.WriteDword("Window", "flags", 0xFFFFFFFFu);
    out.WriteDword("Window", "showCmd", 0x0000000Au);
    out.WriteBinary("", "Empty", {});
    out.WriteBinary("Window", "All", allBytes);
    ASSERT_EQ(out.Save(), kOk);  // also creates the Tarnwell folder

    CSettingsStore in(file);
    ASSERT_EQ(in.Load(), kOk);
    EXPECT_EQ(in.Warning(), "");
    for (std::size_t i = 0; i < std::size(strings); ++i) {
        std::string s;
        EXPECT_EQ(in.ReadString("", "S" + std::to_string(i), s), kOk);
        EXPECT_EQ(s, strings[i]);
    }
    for (const std::string& name : names) {
        std::string s;
        EXPECT_EQ(in.ReadString("Odd]section\n", name, s), kOk) << name;
        EXPECT_EQ(s, name);
    }
    std::uint32_t d = 1;
    EXPECT_EQ(in.ReadDword("", "Zero", d), kOk);
    EXPECT_EQ(d, 0u);
    EXPECT_EQ(in.ReadDword("Window", "flags", d), kOk);
    EXPECT_EQ(d, 0xFFFFFFFFu);
    Bytes b{1};
    EXPECT_EQ(in.ReadBinary("", "Empty", b), kOk);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(in.ReadBinary("Window", "All", b), kOk);
    EXPECT_EQ(b, allBytes);
    EXPECT_EQ(in.ToText(), out.ToText());

    // Readable by a person: one value a line, in the documented forms.
    const std::string text = ReadFile();
    EXPECT_NE(text.find("\n[Window]\n"), std::string::npos);
    EXPECT_NE(text.find("\nshowCmd=dword:0000000A\n"), std::string::npos);
    EXPECT_NE(text.find("\nS1=string:\"plain\"\n"), std::string::npos);
    EXPECT_NE(text.find("\nS2=string:\"two\\nlines\\r\\nand a tab\\t\"\n"), std::string::npos);
    EXPECT_NE(text.find("\nS5=string:\"caf\xC3\xA9 \xE2\x82\xAC"), std::string::npos);
}

TEST_F(SettingsTest, ReadsAreTypedAndNamesIgnoreCase) {
    CSettingsStore store(file);
    store.WriteDword("", "Trace", 1);
    store.WriteString("", "Port", "/dev/ttyUSB0");
    store.WriteBinary("Window", "Blob", {1, 2});

    std::uint32_t d = 77;
    std::string s = "default";
    Bytes b{9};
    EXPECT_EQ(store.ReadDword("", "Missing", d), kErrorFileNotFound);
    EXPECT_EQ(store.ReadDword("NoSection", "Trace", d), kErrorFileNotFound);
    EXPECT_EQ(store.ReadDword("", "Port", d), kErrorInvalidData);
    EXPECT_EQ(store.ReadString("", "Trace", s), kErrorInvalidData);
    EXPECT_EQ(store.ReadBinary("", "Trace", b), kErrorInvalidData);
    EXPECT_EQ(store.ReadDword("Window", "Blob", d), kErrorInvalidData);
    EXPECT_EQ(d, 77u);  // a failed read leaves the default
    EXPECT_EQ(s, "default");
    EXPECT_EQ(b, Bytes{9});

    EXPECT_EQ(store.ReadDword("", "TRACE", d), kOk);
    EXPECT_EQ(d, 1u);
    EXPECT_EQ(store.ReadBinary("window", "blob", b), kOk);
    EXPECT_EQ(b, (Bytes{1, 2}));

    store.WriteString("", "trace", "now text");  // same value, another type
    EXPECT_EQ(store.ReadDword("", "Trace", d), kErrorInvalidData);
    EXPECT_TRUE(store.Has("", "Trace"));
    store.Remove("", "TRACE");
    EXPECT_FALSE(store.Has("", "Trace"));
    store.Remove("", "Trace");  // removing what is gone is harmless
    store.Remove("Nowhere", "x");
    EXPECT_TRUE(store.Has("", "Port"));
}

TEST_F(SettingsTest, HandEditedFilesAreRead) {
    WriteFile(
        "; edited by hand\r\n"
        "\n"
        "  Trace = dword:a  \r\n"
        "Port=string:\"/dev/ttyS0\"   \n"
        "Blob=binary:0A0b\n"
        "[ Window ]\n"
        "# a comment\n"
        "flags=dword:1\n"
        "[]\n"
        "Late=dword:FFFFFFFF");  // no final newline
    CSettingsStore store(file);
    ASSERT_EQ(store.Load(), kOk);
    EXPECT_EQ(store.Warning(), "");
    std::uint32_t d = 0;
    std::string s;
    Bytes b;
    EXPECT_EQ(store.ReadDword("", "Trace", d), kOk);
    EXPECT_EQ(d, 10u);
    EXPECT_EQ(store.ReadString("", "Port", s), kOk);
    EXPECT_EQ(s, "/dev/ttyS0");
    EXPECT_EQ(store.ReadBinary("", "Blob", b), kOk);
    EXPECT_EQ(b, (Bytes{0x0A, 0x0B}));
    EXPECT_EQ(store.ReadDword("Window", "flags", d), kOk);
    EXPECT_EQ(d, 1u);
    EXPECT_EQ(store.ReadDword("", "Late", d), kOk);
    EXPECT_EQ(d, 0xFFFFFFFFu);
}

TEST_F(SettingsTest, ABadLineIsLeftOutWithAWarningAndTheOthersAreKept) {
    // Each file holds Good=dword:1 beside one line that cannot be read.
    const struct {
        std::string bad;
        const char* why;
    } cases[] = {
        {"Trace=dword:123456789", "line 2: bad dword"},
        {"Trace=dword:", "line 2: bad dword"},
        {"Trace=dword:xyz", "line 2: bad dword"},
        {"Trace=dword:-1", "line 2: bad dword"},
        {"Port=string:\"unterminated", "line 2: bad string"},
        {"Port=string:\"a\" trailing", "line 2: bad string"},
        {"Port=string:unquoted", "line 2: bad string"},
        {"Port=string:\"bad escape \\q\"", "line 2: bad string"},
        {"Port=string:\"short hex \\x4\"", "line 2: bad string"},
        {"Port=\"unterminated", "line 2: bad string"},
        {"Blob=binary:abc", "line 2: bad binary"},
        {"Blob=binary:zz", "line 2: bad binary"},
        {"just words", "line 2: not a setting"},
        {"bad\\qname=dword:1", "line 2: bad name"},
    };
    for (const auto& c : cases) {
        WriteFile("Good=dword:1\n" + c.bad + "\n");
        CSettingsStore store(file);
        store.WriteDword("", "Stale", 1);
        EXPECT_EQ(store.Load(), kOk) << c.bad;
        EXPECT_EQ(store.Warning(), "The settings file \"" + file.string() + "\": left out what could not be read (" +
                                       c.why + "); the other settings apply.")
            << c.bad;
        std::uint32_t good = 0;
        EXPECT_EQ(store.ReadDword("", "Good", good), kOk) << c.bad;
        EXPECT_EQ(good, 1u);
        EXPECT_FALSE(store.Has("", "Stale"));  // Load replaces what was in memory
        EXPECT_EQ(store.ToText(), "# RM7 Utility settings\nGood=dword:00000001\n") << c.bad;
    }

    // Below a header that cannot be read, nothing is put into a section it may not mean.
    WriteFile("Trace=dword:2\n[Window\nflags=dword:1\n[Window]\nx=dword:3\n");
    CSettingsStore store(file);
    EXPECT_EQ(store.Load(), kOk);
    EXPECT_NE(store.Warning().find("line 2: bad section header; 1 more line"), std::string::npos) << store.Warning();
    EXPECT_EQ(store.ToText(), "# RM7 Utility settings\nTrace=dword:00000002\n\n[Window]\nx=dword:00000003\n");

    // A foreign file keeps nothing of ours and says so; a good file afterwards is read and the warning goes.
    WriteFile(
        "\x7F"
        "ELF\x02\x01\x01\0\0\0"s);
    EXPECT_EQ(store.Load(), kOk);
    EXPECT_NE(store.Warning(), "");
    EXPECT_EQ(store.ToText(), "# RM7 Utility settings\n");
    WriteFile("Trace=dword:2\n");
    EXPECT_EQ(store.Load(), kOk);
    EXPECT_EQ(store.Warning(), "");
    EXPECT_TRUE(store.Has("", "Trace"));
}

TEST_F(SettingsTest, ValuesWrittenByHandWithoutATypeAreRead) {
    WriteFile(
        "Port=/dev/ttyUSB0\nTrace = 1\nName=\"quoted \\\"x\\\"\"\nPath=C:\\RM7\\fw\nEmpty=\n"
        "Big=4294967296\n[General]\nfoo=bar\n");
    CSettingsStore store(file);
    EXPECT_EQ(store.Load(), kOk);
    EXPECT_EQ(store.Warning(), "");
    const struct {
        const char* section;
        const char* name;
        const char* text;
    } strings[] = {{"", "Port", "/dev/ttyUSB0"}, {"", "Name", "quoted \"x\""},
                   {"", "Path", "C:\\RM7\\fw"},  {"", "Empty", ""},
                   {"", "Big", "4294967296"},    {"General", "foo", "bar"}};
    for (const auto& c : strings) {
        std::string value = "unread";
        EXPECT_EQ(store.ReadString(c.section, c.name, value), kOk) << c.name;
        EXPECT_EQ(value, c.text) << c.name;
    }
    std::uint32_t trace = 0;
    EXPECT_EQ(store.ReadDword("", "Trace", trace), kOk);
    EXPECT_EQ(trace, 1u);
    // Written back in the typed form, it reads the same.
    CSettingsStore again(file);
    std::string warning;
    EXPECT_TRUE(again.FromText(store.ToText(), warning)) << warning;
    EXPECT_EQ(again.ToText(), store.ToText());
}

TEST_F(SettingsTest, MissingFileAndNonFiles) {
    CSettingsStore missing(file);
    EXPECT_EQ(missing.Load(), kOk);
    EXPECT_EQ(missing.Warning(), "");
    EXPECT_FALSE(missing.Has("", "Trace"));

    fs::create_directories(file);  // a folder where the file should be
    CSettingsStore folder(file);
    EXPECT_EQ(folder.Load(), kOk);
    EXPECT_NE(folder.Warning(), "");
    folder.WriteDword("", "Trace", 1);
    EXPECT_EQ(folder.Save(), kErrorDirectoryNotSupported);  // "Is a directory"
    EXPECT_TRUE(fs::is_directory(file));

    CSettingsStore under(dir / "plain" / "RM7 Utility.conf");
    std::ofstream(dir / "plain") << "x";
    under.WriteDword("", "Trace", 1);
    EXPECT_EQ(under.Save(), kErrorAlreadyExists);  // a file where its folder should be
}

TEST_F(SettingsTest, RandomBytesNeverCrashAndWhatIsReadWritesBack) {
    std::mt19937 rng(20240611);
    CSettingsStore seed(file);
    seed.WriteString("", "Port", "/dev/ttyUSB0 \"quoted\"\n\xC3\xA9");
    seed.WriteDword("Window", "flags", 3);
    seed.WriteBinary("Window", "Blob", {0, 1, 2, 255});
    const std::string valid = seed.ToText();
    const char alphabet[] = "[]=\"\\:#;\n\r\t xdwordstringbinary0123456789abcdefABCDEF\xC3\xA9\xFF";

    for (int round = 0; round < 3000; ++round) {
        std::string text;
        switch (round % 3) {
            case 0:  // pure noise
                text.resize(rng() % 200);
                for (char& c : text) {
                    c = static_cast<char>(rng());
                }
                break;
            case 1:  // noise from the format's own characters
                text.resize(rng() % 200);
                for (char& c : text) {
                    c = alphabet[rng() % (sizeof alphabet - 1)];
                }
                break;
            default:  // a valid file with a few bytes changed
                text = valid;
                for (int k = 0; k < 3; ++k) {
                    text[rng() % text.size()] = alphabet[rng() % (sizeof alphabet - 1)];
                }
        }
        CSettingsStore store(file);
        std::string warning;
        // A line left out is said; whatever was read writes back and reads again the same.
        const bool whole = store.FromText(text, warning);
        ASSERT_EQ(whole, warning.empty());
        CSettingsStore again(file);
        std::string againWarning;
        ASSERT_TRUE(again.FromText(store.ToText(), againWarning)) << againWarning;
        ASSERT_EQ(again.ToText(), store.ToText());
    }

    std::string noise(4096, '\0');
    for (char& c : noise) {
        c = static_cast<char>(rng());
    }
    WriteFile(noise);
    CSettingsStore store(file);
    EXPECT_EQ(store.Load(), kOk);
    std::uint32_t d = 42;
    EXPECT_EQ(store.ReadDword("", "Trace", d), kErrorFileNotFound);
    EXPECT_EQ(d, 42u);
}

}  // namespace
}  // namespace rm7
