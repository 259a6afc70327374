// Not Google Benchmark: the rich-text reader's peak heap use against the size of the file, for
// release notes built to split into as many runs or paragraphs as a file of that size can.
// Prints one line per shape: bytes of file, peak bytes the reader held, their ratio.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "firmware/rich_text.h"

namespace {

std::size_t g_live = 0;
std::size_t g_peak = 0;

}  // namespace

void* operator new(std::size_t n) {
    void* p = std::malloc(n + 16);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(p) = n;
    g_live += n;
    g_peak = g_live > g_peak ? g_live : g_peak;
    return static_cast<char*>(p) + 16;
}

void operator delete(void* p) noexcept {
    if (p != nullptr) {
        char* block = static_cast<char*>(p) - 16;
        g_live -= *reinterpret_cast<std::size_t*>(block);
        std::free(block);
    }
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

int main() {
    constexpr std::size_t kSize = 12u << 20;
    struct Shape {
        const char* name;
        const char* piece;
    };
    const Shape shapes[] = {
        {"plain text", "The quick brown fox. "}, {"a run every 4 bytes", "\\b a\\b0 b"},
        {"a run every 3.5 bytes", "{\\b a}b"},   {"a paragraph every 2 bytes", "\\\n"},
        {"a paragraph every 5 bytes", "\\par "}, {"C1 bytes (3 bytes of UTF-8 each)", "\x80\x85\x99"},
    };
    for (const Shape& shape : shapes) {
        std::string rtf = "{\\rtf1 ";
        while (rtf.size() < kSize) {
            rtf += shape.piece;
        }
        rtf += "}";
        const std::size_t before = g_live;
        g_peak = g_live;
        const rm7::RichTextResult r = rm7::ReadRichText(rtf);
        const std::size_t peak = g_peak - before;
        std::printf(
            "%-34s %9zu bytes, peak %10zu bytes held by the reader: %.2f x the file (%zu paragraphs, %zu runs)\n",
            shape.name, rtf.size(), peak, static_cast<double>(peak) / static_cast<double>(rtf.size()),
            r.document.paragraphs.size(), r.document.runs.size());
    }
    return 0;
}
