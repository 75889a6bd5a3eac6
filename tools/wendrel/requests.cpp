// Answering the gallery's connect requests and the automatic-approval settings.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/files.h"
#include "core/text.h"
#include "tools/wendrel/cli.h"
#include "wallet/registry.h"

namespace wendrel {

namespace {

struct Request {
    std::string id, app, instance, exe;
    std::int64_t ts = 0;
};

std::string connect_dir() { return wallet::platform_dir() + "/connect"; }

// Requests without a reply, oldest first. Ids come from file names and are checked
// before they name a reply file.
std::vector<Request> pending_requests() {
    std::vector<Request> out;
    const std::string dir = connect_dir();
    for (const auto& name : core::list_files(dir)) {
        if (!core::ends_with(name, ".req.json")) continue;
        std::string id = name.substr(0, name.size() - 9);
        if (!wallet::is_valid_wallet_id(id) || core::file_exists(dir + "/" + id + ".rep.json")) continue;
        std::string text;
        core::Json j;
        if (!core::read_file(dir + "/" + name, text) || !core::parse_json(text, j) || !j.is_object()) continue;
        Request r;
        r.id = id;
        r.app = core::json_string(j, "app");
        r.instance = core::json_string(j, "instance");
        r.exe = core::json_string(j, "exe");
        r.ts = core::json_int(j, "ts");
        out.push_back(std::move(r));
    }
    std::sort(out.begin(), out.end(), [](const Request& x, const Request& y) {
        return x.ts != y.ts ? x.ts < y.ts : x.id < y.id;
    });
    return out;
}

int pick_request(const Args& a, std::string& id) {
    auto pending = pending_requests();
    if (a.has_opt("request")) {
        id = a.opt("request");
        if (!wallet::is_valid_wallet_id(id)) return fail("\"" + id + "\" is not a request id");
        for (const auto& r : pending)
            if (r.id == id) return 0;
        return fail("no pending connect request \"" + id + "\"");
    }
    if (pending.empty()) return fail("no connect request is waiting");
    id = pending.front().id;
    return 0;
}

int write_reply(const std::string& id, const core::Json& reply) {
    std::string path = connect_dir() + "/" + id + ".rep.json";
    // Written whole and renamed into place: the gallery polls for this file and must
    // never read half of it.
    if (!core::write_file_atomic(path, core::dump_pretty(reply))) return fail("could not write " + path);
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
    std::string request;
    if (int rc = pick_request(a, request)) return rc;
    std::string id = a.has_opt("wallet") ? a.opt("wallet") : active_wallet_id();
    if (id.empty()) return fail("no wallets yet; make one with: wendrel create");
    if (!wallet::is_valid_wallet_id(id) || !wallet_exists(id)) return fail("no wallet with the id \"" + id + "\"");
    if (int rc = write_reply(request, {{"ok", true}, {"wallet_id", id}})) return rc;
    std::printf("approved %s with wallet %s\n", request.c_str(), id.c_str());
    return 0;
}

int cmd_deny(const Args& a) {
    std::string request;
    if (int rc = pick_request(a, request)) return rc;
    if (int rc = write_reply(request, {{"ok", false}})) return rc;
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
