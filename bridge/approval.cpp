#include "bridge/approval.h"

#include "core/files.h"
#include "core/json.h"

namespace bridge {

namespace {

// Both files are a few bytes; anything larger is not theirs.
constexpr std::uintmax_t MAX_SETTINGS_BYTES = 64 * 1024;

bool read_object(const std::string& path, core::Json& out) {
    std::string text;
    return core::read_file(path, text, MAX_SETTINGS_BYTES) && core::parse_json(text, out) && out.is_object();
}

}  // namespace

bool auto_approval_on(const std::string& platform_folder) {
    core::Json j;
    if (!read_object(platform_folder + "/nbutton_auto.json", j)) return false;
    return core::has_bool(j, "on") && j["on"].get<bool>();
}

std::int64_t security_limit_sats(const std::string& platform_folder) {
    core::Json j;
    if (!read_object(platform_folder + "/security_limit.json", j)) return DEFAULT_SECURITY_LIMIT_SATS;
    const std::int64_t sats = core::json_int(j, "sats", -1);
    if (sats < MIN_SECURITY_LIMIT_SATS || sats > MAX_SECURITY_LIMIT_SATS) return DEFAULT_SECURITY_LIMIT_SATS;
    return sats;
}

bool payment_needs_question(const std::string& platform_folder, std::int64_t amount) {
    return !(auto_approval_on(platform_folder) && security_limit_sats(platform_folder) > amount);
}

}  // namespace bridge
