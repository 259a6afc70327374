#pragma once
// The simulated radio's parts answer their commands from tables: a command's name and the
// member that takes what follows the name. One lookup for every part, so that the radio, its
// transmitter and its boot loader read as the command lists they implement.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace rm7sim {

template <class Part, class... Args>
struct Command {
    std::string_view name;
    // False when what follows the name is not this command's; the next entry may take it.
    bool (Part::*handler)(std::string_view params, Args... args);
};

// Hands `command` (without its ';') to the first entry whose name begins it and whose handler
// takes the rest; false when none does.
template <class Part, class... Args, std::size_t N>
bool Dispatch(Part& part, const Command<Part, Args...> (&table)[N], std::string_view command,
              std::type_identity_t<Args>... args) {
    for (const Command<Part, Args...>& entry : table) {
        if (command.starts_with(entry.name) && (part.*entry.handler)(command.substr(entry.name.size()), args...)) {
            return true;
        }
    }
    return false;
}

// Two hex digits of a command's parameters at `pos`, either case.
inline bool ParseHexByte(std::string_view text, std::size_t pos, std::uint8_t& out) {
    if (pos + 2 > text.size()) {
        return false;
    }
    unsigned value = 0;
    for (std::size_t i = pos; i < pos + 2; ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return false;
        }
        value = value * 16 + digit;
    }
    out = static_cast<std::uint8_t>(value);
    return true;
}

}  // namespace rm7sim
