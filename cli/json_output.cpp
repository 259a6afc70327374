#include "cli/json_output.h"

#include "platform/text.h"

namespace rm7::cli {

nlohmann::json JsonText(std::string_view text) {
    return Utf8OrEscaped(text);
}

nlohmann::json JsonPath(const std::filesystem::path& path) {
    return Utf8OrEscaped(path.string());
}

void PrintJson(std::ostream& out, const nlohmann::json& json) {
    out << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace rm7::cli
