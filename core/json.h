#pragma once
// JSON helpers. Reads of optional members fall back to a default when the member is
// absent or of another type; parsing never throws.
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace core {

using Json = nlohmann::json;

// False (and out = null) when text is not one complete JSON value.
bool parse_json(std::string_view text, Json& out);

std::string json_string(const Json& obj, std::string_view key, std::string_view fallback = "");
std::int64_t json_int(const Json& obj, std::string_view key, std::int64_t fallback = 0);
bool json_bool(const Json& obj, std::string_view key, bool fallback = false);
// True when obj is an object holding key with a value of that kind.
bool has_string(const Json& obj, std::string_view key);
bool has_bool(const Json& obj, std::string_view key);

// Serialisation that never throws on bad UTF-8 (invalid bytes are replaced).
std::string dump_compact(const Json& value);
std::string dump_pretty(const Json& value);  // indent 2

}  // namespace core
