#pragma once
// For the tools run as real processes: QUENVALE_PROFILE names a profile whose every
// service is a loopback port nobody listens on, so a test never reaches a real
// network and "the service is down" is real.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "tests/support/temp_platform.h"

namespace testing_support {

// A loopback port that was free a moment ago and has no listener now.
inline int closed_loopback_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

class OfflineProfile {
public:
    explicit OfflineProfile(const TempPlatform& tp) {
        if (const char* v = std::getenv("QUENVALE_PROFILE")) {
            had_ = true;
            saved_ = v;
        }
        core::Json p;
        core::parse_json(core::MAINNET_PROFILE_JSON, p);
        const std::string host = "127.0.0.1:" + std::to_string(closed_loopback_port());
        p["network"] = "offline";
        p["woc_api"] = "http://" + host + "/woc/v1/bsv/main";
        p["ord_api"] = "http://" + host + "/ord/api";
        p["ord_host"] = "http://" + host + "/ord";
        p["arc_tx"] = "http://" + host + "/arc/v1/tx";
        p["service_root"] = "http://" + host + "/svc";
        p["service_host"] = host;
        p["service_pin_ip"] = "";
        p["update_site"] = host;
        p["paymail_domain"] = "offline.quenvale.test";
        p["platform_domain"] = "offline.quenvale.test";
        path_ = tp.root() + "/offline-profile.json";
        core::write_file(path_, core::dump_pretty(p));
        testing_support::set_env("QUENVALE_PROFILE", path_.c_str());
    }
    ~OfflineProfile() {
        if (had_)
            testing_support::set_env("QUENVALE_PROFILE", saved_.c_str());
        else
            testing_support::unset_env("QUENVALE_PROFILE");
    }
    OfflineProfile(const OfflineProfile&) = delete;
    OfflineProfile& operator=(const OfflineProfile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string saved_;
    bool had_ = false;
};

}  // namespace testing_support
