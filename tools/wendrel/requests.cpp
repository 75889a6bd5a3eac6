// Answering the gallery's connect requests and the automatic-approval settings.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/files.h"
#include "core/text.h"
#include "tools/wendrel/cli.h"
#include "tools/wendrel/operations.h"
#include "wallet/registry.h"

namespace wendrel {

namespace {

constexpr std::uintmax_t MAX_REQUEST_BYTES = 64 * 1024;  // a request is five members
constexpr std::size_t MAX_REQUESTS = 200;                 // files looked at per listing

std::string connect_dir() { return wallet::platform_dir() + "/connect"; }

bool write_reply(const std::string& id, const core::Json& reply, std::string& error) {
    std::string path = connect_dir() + "/" + id + ".rep.json";
    // Written whole and renamed into place: the gallery polls for this file and must
    // never read half of it.
    if (core::write_file_atomic(path, core::dump_pretty(reply))) return true;
    error = "could not write " + path;
    return false;
}

bool check_waiting(const std::string& request, std::string& error) {
    if (!wallet::is_valid_wallet_id(request)) {
        error = "\"" + request + "\" is not a request id";
        return false;
    }
    for (const auto& r : pending_requests())
        if (r.id == request) return true;
    error = "no pending connect request \"" + request + "\"";
    return false;
}

int pick_request(const Args& a, std::string& id) {
    if (a.has_opt("request")) {
        id = a.opt("request");
        return 0;
    }
    auto pending = pending_requests();
    if (pending.empty()) return fail("no connect request is waiting");
    id = pending.front().id;
    return 0;
}

// Read-modify-write of a small settings file that the gallery reads: other members are
// kept, and a file that exists but does not parse is left alone.
int update_setting(const std::string& file, const char* key, const core::Json& value) {
    std::string path = wallet::platform_dir() + "/" + file;
    core::Json j = core::Json::object();
    if (core::file_exists(path)) {
        std::string text;
        if (!core::read_file(path, text) || !core::parse_json(text, j) || !j.is_object())
            return fail(path + " is not a JSON object; it was left unchanged");
    }
    j[key] = value;
    if (!core::write_file_atomic(path, core::dump_pretty(j))) return fail("could not write " + path);
    return 0;
}

}  // namespace

// Requests without a reply, oldest first. Ids come from file names and are checked
// before they name a reply file; the folder is another program's, so what is read is bounded.
std::vector<ConnectRequest> pending_requests() {
    std::vector<ConnectRequest> out;
    const std::string dir = connect_dir();
    std::size_t looked = 0;
    for (const auto& name : core::list_files(dir)) {
        if (!core::ends_with(name, ".req.json")) continue;
        std::string id = name.substr(0, name.size() - 9);
        if (!wallet::is_valid_wallet_id(id) || core::file_exists(dir + "/" + id + ".rep.json")) continue;
        if (++looked > MAX_REQUESTS) break;
        std::string text;
        core::Json j;
        if (!core::read_file(dir + "/" + name, text, MAX_REQUEST_BYTES) || !core::parse_json(text, j) ||
            !j.is_object())
            continue;
        ConnectRequest r;
        r.id = id;
        r.app = core::json_string(j, "app");
        r.instance = core::json_string(j, "instance");
        r.exe = core::json_string(j, "exe");
        r.ts = core::json_int(j, "ts");
        out.push_back(std::move(r));
    }
    std::sort(out.begin(), out.end(), [](const ConnectRequest& x, const ConnectRequest& y) {
        return x.ts != y.ts ? x.ts < y.ts : x.id < y.id;
    });
    return out;
}

bool approve_request(const std::string& request, const std::string& wallet_id, std::string& error) {
    if (!check_waiting(request, error)) return false;
    if (wallet_id.empty()) {
        error = "no wallets yet; make one with: wendrel create";
        return false;
    }
    if (!wallet::is_valid_wallet_id(wallet_id) || !wallet_exists(wallet_id)) {
        error = "no wallet with the id \"" + wallet_id + "\"";
        return false;
    }
    return write_reply(request, {{"ok", true}, {"wallet_id", wallet_id}}, error);
}

bool deny_request(const std::string& request, std::string& error) {
    if (!check_waiting(request, error)) return false;
    return write_reply(request, {{"ok", false}}, error);
}

int cmd_requests(const Args& a) {
    auto pending = pending_requests();
    if (a.has("json")) {
        core::Json out = core::Json::array();
        for (const auto& r : pending)
            out.push_back({{"id", r.id}, {"app", r.app}, {"instance", r.instance}, {"ts", r.ts}, {"exe", r.exe}});
        print_json(out);
        return 0;
    }
    if (pending.empty()) std::printf("no connect requests are waiting\n");
    // App and instance are another program's words.
    for (const auto& r : pending)
        std::printf("%s  %s  %s\n", r.id.c_str(), core::strip_controls(r.app).c_str(),
                    core::strip_controls(r.instance).c_str());
    return 0;
}

int cmd_approve(const Args& a) {
    std::string request, error;
    if (int rc = pick_request(a, request)) return rc;
    std::string id = a.has_opt("wallet") ? a.opt("wallet") : active_wallet_id();
    if (!approve_request(request, id, error)) return fail(error);
    std::printf("approved %s with wallet %s\n", request.c_str(), id.c_str());
    return 0;
}

int cmd_deny(const Args& a) {
    std::string request, error;
    if (int rc = pick_request(a, request)) return rc;
    if (!deny_request(request, error)) return fail(error);
    std::printf("denied %s\n", request.c_str());
    return 0;
}

int cmd_auto(const Args& a) {
    if (a.positional.size() != 1 || (a.positional[0] != "on" && a.positional[0] != "off"))
        return fail("usage: wendrel auto on|off");
    bool on = a.positional[0] == "on";
    if (int rc = update_setting("nbutton_auto.json", "on", on)) return rc;
    std::printf("automatic approval %s\n", on ? "on" : "off");
    return 0;
}

int cmd_limit(const Args& a) {
    if (a.positional.size() != 1) return fail("usage: wendrel limit SATS");
    std::int64_t sats = 0;
    if (!parse_sats(a.positional[0], 0, sats)) return fail("the limit must be a whole number of satoshis up to 21 million BSV");
    if (int rc = update_setting("security_limit.json", "sats", sats)) return rc;
    std::printf("automatic approval limit %lld sats\n", static_cast<long long>(sats));
    return 0;
}

}  // namespace wendrel
