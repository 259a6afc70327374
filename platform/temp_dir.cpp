#include "platform/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/os_error.h"

namespace rm7 {

Result MakeTempDirectory(const std::string& prefix, std::filesystem::path& made) {
    std::error_code ec;
    std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) {
        temp = "/tmp";
    }
    const std::string pattern = (temp / (prefix + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        return ResultFromErrno(errno);
    }
    made = name.data();
    return kOk;
}

}  // namespace rm7
