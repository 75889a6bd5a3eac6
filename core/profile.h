#pragma once
// The network profile: service roots, domains and the gallery's fixed addresses.
// The main-net profile is compiled in; QUENVALE_PROFILE=/path/profile.json replaces it
// for the whole run (the devnet writes such a file).
#include <array>
#include <string>
#include <vector>

namespace core {

struct HouseRow {
    std::string id;
    std::string name;
    std::string category;
    std::array<std::string, 3> addresses;
};

struct Profile {
    std::string network;
    std::string woc_api;
    std::string ord_api;
    std::string ord_host;
    std::string arc_tx;
    std::string service_root;
    std::string service_host;
    std::string service_pin_ip;  // empty: no pinning
    std::string paymail_domain;
    std::string platform_domain;
    std::string update_site;
    std::array<std::string, 10> frames;
    std::string admission_address;
    std::string placement_fee_address;
    std::string sale_fee_address;
    std::string ocp_address;
    std::string oao_address;
    std::string credential_issuer_address;
    std::vector<HouseRow> house;
    std::string app_tag_label;
    // WhatsOnChain requests a second the program keeps to; 0: no limit. A profile file
    // without "woc_rps" gets the service's free limit.
    int woc_rps = 0;
};

inline constexpr int WOC_FREE_RPS = 3;
inline constexpr int MAX_WOC_RPS = 1000;

// Parses a profile document; false with an error text when a member is missing or of
// the wrong type.
bool parse_profile(const std::string& text, Profile& out, std::string& error);

// The profile in force. Loaded once: from QUENVALE_PROFILE when set, else the
// compiled-in main-net profile. A named profile that cannot be read or parsed never
// falls back to main net: the profile in force is then empty (no service root, so
// every service call fails) and profile_error() says why.
const Profile& profile();
// "" when the profile in force loaded; else a sentence naming the file and the fault.
// Programs check it at start and stop when it is not empty.
std::string profile_error();
// Tests: replace or forget the profile in force.
void set_profile(const Profile& p);
void reset_profile();

// The compiled-in main-net profile text.
extern const char* const MAINNET_PROFILE_JSON;

}  // namespace core
