#include "core/profile.h"

#include <cstdlib>
#include <memory>
#include <mutex>

#include "core/files.h"
#include "core/json.h"

namespace core {

namespace {

struct ProfileState {
    std::mutex mutex;
    std::shared_ptr<const Profile> current;
    std::string error;  // why the profile in force is empty
};

// A profile is a page of JSON; anything far larger is not one.
constexpr std::size_t MAX_PROFILE_BYTES = 1024 * 1024;

ProfileState& profile_state() {
    static ProfileState s;
    return s;
}

bool read_str(const Json& j, const char* key, std::string& out, std::string& error) {
    if (!has_string(j, key)) {
        error = std::string("profile member \"") + key + "\" is missing or not a string";
        return false;
    }
    out = j[key].get<std::string>();
    return true;
}

}  // namespace

bool parse_profile(const std::string& text, Profile& out, std::string& error) {
    Json j;
    if (!parse_json(text, j) || !j.is_object()) {
        error = "profile is not a JSON object";
        return false;
    }
    Profile p;
    bool ok = read_str(j, "network", p.network, error) && read_str(j, "woc_api", p.woc_api, error) &&
              read_str(j, "ord_api", p.ord_api, error) && read_str(j, "ord_host", p.ord_host, error) &&
              read_str(j, "arc_tx", p.arc_tx, error) && read_str(j, "service_root", p.service_root, error) &&
              read_str(j, "service_host", p.service_host, error) &&
              read_str(j, "service_pin_ip", p.service_pin_ip, error) &&
              read_str(j, "paymail_domain", p.paymail_domain, error) &&
              read_str(j, "platform_domain", p.platform_domain, error) &&
              read_str(j, "update_site", p.update_site, error) &&
              read_str(j, "admission_address", p.admission_address, error) &&
              read_str(j, "placement_fee_address", p.placement_fee_address, error) &&
              read_str(j, "sale_fee_address", p.sale_fee_address, error) &&
              read_str(j, "ocp_address", p.ocp_address, error) && read_str(j, "oao_address", p.oao_address, error) &&
              read_str(j, "credential_issuer_address", p.credential_issuer_address, error);
    if (!ok) return false;
    p.app_tag_label = json_string(j, "app_tag_label");
    p.woc_rps = WOC_FREE_RPS;
    if (j.contains("woc_rps")) {
        if (!j["woc_rps"].is_number_integer() || j["woc_rps"].get<std::int64_t>() < 0 ||
            j["woc_rps"].get<std::int64_t>() > MAX_WOC_RPS) {
            error = "profile member \"woc_rps\" must be a whole number from 0 to " + std::to_string(MAX_WOC_RPS);
            return false;
        }
        p.woc_rps = static_cast<int>(j["woc_rps"].get<std::int64_t>());
    }
    if (!j.contains("frames") || !j["frames"].is_array() || j["frames"].size() != 10) {
        error = "profile member \"frames\" must list ten addresses";
        return false;
    }
    for (std::size_t i = 0; i < 10; ++i) {
        if (!j["frames"][i].is_string()) {
            error = "profile member \"frames\" must list ten addresses";
            return false;
        }
        p.frames[i] = j["frames"][i].get<std::string>();
    }
    if (j.contains("house")) {
        if (!j["house"].is_array()) {
            error = "profile member \"house\" must be an array";
            return false;
        }
        for (const auto& row : j["house"]) {
            HouseRow h;
            h.id = json_string(row, "id");
            h.name = json_string(row, "name");
            h.category = json_string(row, "category");
            if (!row.is_object() || !row.contains("addresses") || !row["addresses"].is_array() ||
                row["addresses"].size() != 3) {
                error = "every \"house\" row needs three addresses";
                return false;
            }
            for (std::size_t i = 0; i < 3; ++i)
                if (row["addresses"][i].is_string()) h.addresses[i] = row["addresses"][i].get<std::string>();
            p.house.push_back(std::move(h));
        }
    }
    out = std::move(p);
    return true;
}

namespace {

// Caller holds the state mutex.
void load_profile_locked(ProfileState& s) {
    if (s.current) return;
    auto p = std::make_shared<Profile>();
    s.error.clear();
    std::string detail;
    const char* path = std::getenv("QUENVALE_PROFILE");
    if (path && *path) {
        std::string text;
        if (!read_file(path, text, MAX_PROFILE_BYTES))
            s.error = std::string("the network profile ") + path + " could not be read";
        else if (!parse_profile(text, *p, detail))
            s.error = std::string("the network profile ") + path + " is not valid: " + detail;
        if (!s.error.empty()) *p = Profile{};
    } else if (!parse_profile(MAINNET_PROFILE_JSON, *p, detail)) {
        s.error = "the compiled-in network profile is not valid: " + detail;
        *p = Profile{};
    }
    s.current = p;
}

}  // namespace

const Profile& profile() {
    auto& s = profile_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    load_profile_locked(s);
    // Profiles are replaced only by tests, before the code under test runs.
    return *s.current;
}

std::string profile_error() {
    auto& s = profile_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    load_profile_locked(s);
    return s.error;
}

void set_profile(const Profile& p) {
    auto& s = profile_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.current = std::make_shared<const Profile>(p);
    s.error.clear();
}

void reset_profile() {
    auto& s = profile_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.current.reset();
    s.error.clear();
}

}  // namespace core
