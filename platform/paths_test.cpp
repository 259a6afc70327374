#include "platform/paths.h"
#include "tests/support/temp_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace rm7 {
namespace {

namespace fs = std::filesystem;

class PathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : kVars) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        root = folder.Path();
        home = root / "home";
        fs::create_directory(home);
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DATA_HOME");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
        }
    }
    void WriteUserDirs(const std::string& content) {
        fs::create_directories(home / ".config");
        std::ofstream(home / ".config" / "user-dirs.dirs") << content;
    }

    static constexpr const char* kVars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    test::CTempFolder folder;
    fs::path root;
    fs::path home;
};

TEST_F(PathsTest, BaseFoldersFollowTheXdgVariablesElseHome) {
    EXPECT_EQ(ConfigHome(), home / ".config");
    EXPECT_EQ(DataHome(), home / ".local" / "share");
    EXPECT_EQ(SettingsFilePath(), home / ".config" / "Tarnwell" / "RM7 Utility.conf");

    ::setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    ::setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(ConfigHome(), fs::path("/srv/conf"));
    EXPECT_EQ(DataHome(), fs::path("/srv/data"));
    EXPECT_EQ(SettingsFilePath(), fs::path("/srv/conf/Tarnwell/RM7 Utility.conf"));

    // Relative and empty values are ignored.
    ::setenv("XDG_CONFIG_HOME", "relative/conf", 1);
    ::setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(ConfigHome(), home / ".config");
    EXPECT_EQ(DataHome(), home / ".local" / "share");
}

TEST_F(PathsTest, WithoutHomeTheAccountsHomeFolderIsUsed) {
    ::unsetenv("HOME");
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(HomeDir(), fs::path(pw->pw_dir));
    EXPECT_EQ(ConfigHome(), fs::path(pw->pw_dir) / ".config");
}

TEST_F(PathsTest, DocumentsFolderComesFromUserDirs) {
    EXPECT_EQ(DocumentsDir(), home / "Documents");  // no user-dirs.dirs at all

    const struct {
        const char* content;
        fs::path expected;
    } cases[] = {
        {"# written by "
         "xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
         home / "Dokumente"},
        {"XDG_DOCUMENTS_DIR=\"/srv/papers\"\n", "/srv/papers"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", home / "My \"Docs\""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", home},
        {"XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", home / "b"},
        // Not usable: fall back to ~/Documents.
        {"XDG_DOCUMENTS_DIR=\"relative\"\n", home / "Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n", home / "Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", home / "Documents"},
        {"#XDG_DOCUMENTS_DIR=\"/commented\"\n", home / "Documents"},
        {"\x01\xFF garbage without lines", home / "Documents"},
    };
    for (const auto& c : cases) {
        WriteUserDirs(c.content);
        EXPECT_EQ(DocumentsDir(), c.expected) << c.content;
    }

    ::setenv("XDG_CONFIG_HOME", (root / "elsewhere").c_str(), 1);
    fs::create_directory(root / "elsewhere");
    std::ofstream(root / "elsewhere" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Other\"\n";
    EXPECT_EQ(DocumentsDir(), home / "Other");
}

TEST_F(PathsTest, EnsureDirectory) {
    const fs::path nested = root / "a" / "b" / "c";
    EXPECT_EQ(EnsureDirectory(nested), kOk);
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_EQ(EnsureDirectory(nested), kOk);  // already there
    EXPECT_EQ(EnsureDirectory(root / "a" / "d" / ""), kOk);
    EXPECT_TRUE(fs::is_directory(root / "a" / "d"));

    std::ofstream(root / "file") << "x";
    EXPECT_EQ(EnsureDirectory(root / "file"), kErrorAlreadyExists);
    EXPECT_EQ(EnsureDirectory(root / "file" / "sub"), kErrorPathNotFound);
    EXPECT_EQ(EnsureDirectory(fs::path()), kErrorPathNotFound);
}

}  // namespace
}  // namespace rm7
