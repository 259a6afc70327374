#include "tests/support/temp_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace rm7::test {

CTempFolder::CTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rm7-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    m_path = pattern;
}

CTempFolder::~CTempFolder() {
    // A test may have taken the write bit away to make a write fail; give it back so that
    // everything below can go.
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(m_path, ignored);
         !ignored && it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        std::error_code kind;
        if (it->is_directory(kind)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(m_path, ignored);
}

}  // namespace rm7::test
