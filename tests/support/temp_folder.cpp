#include "tests/support/temp_folder.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/error_text.h"
#include "platform/temp_dir.h"

namespace rm7::test {

CTempFolder::CTempFolder() {
    if (const Result r = MakeTempDirectory("rm7-test-", m_path); r != kOk) {
        throw std::runtime_error("no temporary folder: " + ErrorText(r));
    }
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
