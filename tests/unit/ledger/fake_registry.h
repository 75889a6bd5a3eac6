#pragma once
// Test double of the platform's identity registry: an in-process HTTP server that
// answers the alias, identity-status and quota paths from tables the test fills, counts
// every request, and can be switched off to stand for a service that is down. It
// installs a profile pointing the service root at itself.
#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "core/json.h"
#include "core/profile.h"

namespace ledger_test {

inline const char* const DOMAIN = "devnet.quenvale.test";
inline const char* const PLATFORM = "quenvale.test";

class FakeRegistry {
public:
    FakeRegistry() {
        auto route = [this](std::map<std::string, std::string>& table, const char* kind, const char* fallback) {
            return [this, &table, kind, fallback](const httplib::Request& req, httplib::Response& res) {
                answer(req.matches[1], table, kind, fallback, res);
            };
        };
        server_.Get(R"(/svc/api/bsvalias/id/(.+))", route(aliases_, "alias", nullptr));
        // Keys the quota service does not know have the default role.
        server_.Get(R"(/svc/api/paymail/quota/(.+))", route(roles_, "quota", R"({"role":"default","quota":10})"));
        server_.Get(R"(/svc/api/paymail/identity/(.+))", route(status_, "identity", nullptr));
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running()) std::this_thread::yield();

        core::Profile p;
        p.network = "test";
        p.service_root = "http://127.0.0.1:" + std::to_string(port_) + "/svc";
        p.service_host = "127.0.0.1:" + std::to_string(port_);
        p.paymail_domain = DOMAIN;
        p.platform_domain = PLATFORM;
        for (int i = 0; i < 10; ++i) p.frames[static_cast<std::size_t>(i)] = "1Frame" + std::to_string(i + 1);
        core::set_profile(p);
    }
    ~FakeRegistry() {
        server_.stop();
        thread_.join();
        core::reset_profile();
    }
    FakeRegistry(const FakeRegistry&) = delete;
    FakeRegistry& operator=(const FakeRegistry&) = delete;

    // alias@domain -> key as the registry answers it.
    void set_alias(const std::string& alias, const std::string& key) {
        set_alias_reply(alias, {{"bsvalias", "1.0"}, {"handle", alias + "@" + DOMAIN}, {"pubkey", key}});
    }
    void set_alias_reply(const std::string& alias, const core::Json& reply) {
        put(aliases_, alias + "@" + DOMAIN, core::dump_compact(reply));
    }
    void set_role(const std::string& key, const std::string& role) {
        put(roles_, key, core::dump_compact(core::Json{{"pubkey", key}, {"role", role}, {"quota", nullptr}}));
    }
    void set_frozen(const std::string& key, bool frozen) {
        put(status_, key, core::dump_compact(core::Json{{"pubkey", key}, {"frozen", frozen}, {"role", "default"}}));
    }
    void set_down(bool down) {
        std::lock_guard<std::mutex> lock(mutex_);
        down_ = down;
    }
    // Requests seen on one of "alias", "quota", "identity".
    int hits(const std::string& kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        return hits_[kind];
    }

private:
    void answer(const std::string& id, const std::map<std::string, std::string>& table, const char* kind,
                const char* fallback, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++hits_[kind];
        if (down_) {
            res.status = 503;
            res.set_content("down", "text/plain");
            return;
        }
        auto it = table.find(id);
        if (it == table.end() && !fallback) {
            res.status = 404;
            res.set_content(R"({"error":"not found"})", "application/json");
            return;
        }
        res.set_content(it == table.end() ? std::string(fallback) : it->second, "application/json");
    }
    void put(std::map<std::string, std::string>& table, const std::string& k, const std::string& v) {
        std::lock_guard<std::mutex> lock(mutex_);
        table[k] = v;
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    std::mutex mutex_;
    bool down_ = false;
    std::map<std::string, std::string> aliases_, roles_, status_;  // id -> reply body
    std::map<std::string, int> hits_;
};

}  // namespace ledger_test
