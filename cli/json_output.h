#pragma once
// rm7util's JSON output. JSON strings must be UTF-8, and a file name, a port path or a typed
// argument need not be: every such string goes in through JsonText() or JsonPath(), and every
// document goes out through PrintJson(), which never throws. Text from the radio and from files
// is ISO-8859-1 and is converted (Latin1ToUtf8) before it gets here.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <ostream>
#include <string_view>

namespace rm7::cli {

// Well-formed UTF-8 as it stands; any other byte escaped as "\xFF".
nlohmann::json JsonText(std::string_view text);
nlohmann::json JsonPath(const std::filesystem::path& path);

// Indented by 2, then a line end. A string that still is not UTF-8 has its bad bytes replaced
// with U+FFFD rather than ending the program.
void PrintJson(std::ostream& out, const nlohmann::json& json);

}  // namespace rm7::cli
