// Fuzz target for the Telnet / RFC 2217 reader, which a hostile or broken far end fully controls.
// Beyond not crashing it checks that
//  - what is read is the same whether it comes whole or cut in two anywhere;
//  - data never comes out longer than what went in (a doubled 255 is one byte);
//  - every answer is a well-formed option reply (IAC, DO/DONT/WILL/WONT, option), and there is at
//    most one for each request read, so two ends can never talk in a loop.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/rfc2217.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_rfc2217: %s\n", what);
        std::abort();
    }
}

struct Read {
    std::vector<std::uint8_t> data;
    std::string reply;
};

Read ReadAt(const std::uint8_t* bytes, std::size_t size, std::size_t cut) {
    rm7::CRfc2217Codec codec;
    (void)codec.Opening(38400);
    Read r;
    codec.Receive(bytes, cut, r.data, r.reply);
    codec.Receive(bytes + cut, size - cut, r.data, r.reply);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace rm7::telnet;
    const Read whole = ReadAt(data, size, size);
    const Read cut = ReadAt(data, size, size == 0 ? 0 : data[0] % size);
    Require(whole.data == cut.data && whole.reply == cut.reply, "a cut between reads changes what is read");
    Require(whole.data.size() <= size, "more data out than bytes in");
    Require(whole.reply.size() % 3 == 0, "an answer that is not an option reply");
    std::size_t requests = 0;
    for (std::size_t i = 0; i + 2 < size; ++i) {
        requests += data[i] == kIac && data[i + 1] >= kWill ? 1 : 0;
    }
    Require(whole.reply.size() / 3 <= requests, "more answers than requests");
    for (std::size_t i = 0; i < whole.reply.size(); i += 3) {
        const auto verb = static_cast<std::uint8_t>(whole.reply[i + 1]);
        Require(static_cast<std::uint8_t>(whole.reply[i]) == kIac && verb >= kWill, "a malformed option reply");
    }
    return 0;
}
