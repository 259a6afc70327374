// Runs a fuzz target once over every file named on the command line (or found in
// the folders named), so the target is exercised by the ordinary build and CTest.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
                if (entry.is_regular_file()) {
                    if (!RunFile(entry.path())) {
                        return 1;
                    }
                    ++runs;
                }
            }
        } else {
            if (!RunFile(arg)) {
                return 1;
            }
            ++runs;
        }
    }
    // An empty input is always worth one run; a corpus that vanished is an error.
    LLVMFuzzerTestOneInput(nullptr, 0);
    if (runs == 0) {
        std::fprintf(stderr, "no corpus files found\n");
        return 1;
    }
    std::printf("%zu corpus files ran\n", runs);
    return 0;
}
