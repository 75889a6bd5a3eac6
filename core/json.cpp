#include "core/json.h"

namespace core {

namespace {
const Json* member(const Json& obj, std::string_view key) {
    if (!obj.is_object()) return nullptr;
    auto it = obj.find(key);
    if (it == obj.end()) return nullptr;
    return &*it;
}
}  // namespace

bool parse_json(std::string_view text, Json& out) {
    out = Json::parse(text.begin(), text.end(), nullptr, false);
    if (out.is_discarded()) {
        out = nullptr;
        return false;
    }
    return true;
}

std::string json_string(const Json& obj, std::string_view key, std::string_view fallback) {
    const Json* m = member(obj, key);
    if (m && m->is_string()) return m->get<std::string>();
    return std::string(fallback);
}

std::int64_t json_int(const Json& obj, std::string_view key, std::int64_t fallback) {
    const Json* m = member(obj, key);
    if (m && m->is_number_integer()) {
        if (m->is_number_unsigned()) {
            auto u = m->get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(INT64_MAX)) return fallback;
            return static_cast<std::int64_t>(u);
        }
        return m->get<std::int64_t>();
    }
    return fallback;
}

bool json_bool(const Json& obj, std::string_view key, bool fallback) {
    const Json* m = member(obj, key);
    if (m && m->is_boolean()) return m->get<bool>();
    return fallback;
}

bool has_string(const Json& obj, std::string_view key) {
    const Json* m = member(obj, key);
    return m && m->is_string();
}

bool has_bool(const Json& obj, std::string_view key) {
    const Json* m = member(obj, key);
    return m && m->is_boolean();
}

std::string dump_compact(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string dump_pretty(const Json& value) {
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace core
