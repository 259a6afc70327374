// Fuzz target for the release notes' rich-text reader. Beyond not crashing it checks that
//  - the plain text is valid UTF-8, whatever bytes the file held;
//  - the HTML holds no markup but its own: every '<' opens one of the tags the writer makes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "firmware/rich_text.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_rich_text: %s\n", what);
        std::abort();
    }
}

bool ValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

bool OnlyOwnTags(std::string_view html) {
    static constexpr std::string_view kTags[] = {"<!DOCTYPE html>", "<html>", "<head>",  "<meta ", "<body>",  "<p ",
                                                 "<span ",          "<br>",   "</span>", "</p>",   "</body>", "</html>",
                                                 "</head>"};
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
        bool known = false;
        for (std::string_view tag : kTags) {
            known = known || html.substr(at, tag.size()) == tag;
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const rm7::RichTextResult r = rm7::ReadRichText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!r.ok) {
        Require(!r.error.empty(), "a refusal without a reason");
        return 0;
    }
    Require(ValidUtf8(rm7::RichTextToPlainText(r.document)), "plain text that is not UTF-8");
    Require(OnlyOwnTags(rm7::RichTextToHtml(r.document)), "markup from the file in the HTML");
    return 0;
}
