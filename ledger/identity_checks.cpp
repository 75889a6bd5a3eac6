#include "ledger/identity_checks.h"

#include <algorithm>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/svc.h"
#include "core/clock.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/text.h"
#include "ledger/request_gate.h"
#include "wallet/document.h"
#include "wallet/identity.h"
#include "wallet/paymail.h"

namespace ledger {

namespace {

constexpr long IDENTITY_STATUS_TIMEOUT_S = 6;
constexpr long QUOTA_TIMEOUT_S = 8;
constexpr long IDENTITY_LOOKUP_TIMEOUT_S = 15;

struct KeyEntry {
    std::string key;
    std::int64_t taken_at = 0;  // monotonic ms
    RequestDepth depth;         // requests the answer waited for
};

struct IdentityKeyCache {
    std::mutex mutex;
    std::condition_variable done;
    std::map<std::string, KeyEntry> by_alias;
    std::set<std::string> asking;  // aliases with a request on the way
};

IdentityKeyCache& identity_key_cache() {
    static IdentityKeyCache c;
    return c;
}

struct RoleEntry {
    bool architect = false;
    std::int64_t taken_at = 0;  // monotonic ms
};

struct ArchitectCache {
    std::mutex mutex;
    std::map<std::string, RoleEntry> by_key;
};

ArchitectCache& architect_cache() {
    static ArchitectCache c;
    return c;
}

std::string drop_hex_prefix(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    return std::string(text);
}

bool may_act_unguarded(std::string& error) {
    const std::string& domain = core::profile().paymail_domain;
    if (wallet::current_alias().empty()) {
        error = "error: Connect Wendrel and publish a @" + domain + " paymail first.";
        return false;
    }
    std::string key = core::lower_ascii(wallet::wallet_identity_key());
    if (key.empty()) {
        error = "error: this wallet has no identity pubkey.";
        return false;
    }
    // The status request may fail or not answer JSON; only a clear freeze stops us.
    if (chain::svc_identity_frozen(key, [](const std::string& url, core::Json& reply) {
            return chain::gallery_get_json(url, IDENTITY_STATUS_TIMEOUT_S, reply);
        })) {
        error = "error: this identity is frozen.";
        return false;
    }
    error.clear();
    return true;
}

}  // namespace

bool may_act(std::string& error) {
    try {
        return may_act_unguarded(error);
    } catch (...) {
        error = "error: could not check this identity.";
        return false;
    }
}

std::string normalise_handle(std::string_view handle) {
    std::string h = core::trim(handle);
    if (!h.empty() && (h[0] == '@' || h[0] == '$')) h.erase(0, 1);
    return core::lower_ascii(core::trim(h));
}

bool actor_fits(std::string_view actor) {
    if (actor.empty() || actor.size() > MAX_ACTOR_CHARS) return false;
    return std::all_of(actor.begin(), actor.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    });
}

std::string normalise_key(std::string_view hex) {
    std::string text = drop_hex_prefix(core::trim(hex));
    core::Bytes bytes;
    if (text.empty() || !core::from_hex(text, bytes)) return "";
    return wallet::compressed_pubkey_hex(bytes);
}

std::string identity_key_of(std::string_view actor) {
    std::string key;
    return lookup_identity_key(actor, key) == KeyLookup::found ? key : "";
}

KeyLookup lookup_identity_key(std::string_view actor, std::string& key_out) {
    key_out.clear();
    auto& cache = identity_key_cache();
    std::string alias;
    bool marked = false;
    try {
        alias = normalise_handle(actor);
        // No registry holds a name outside its grammar: nothing to ask about.
        if (!actor_fits(alias)) return KeyLookup::unregistered;
        {
            std::unique_lock<std::mutex> lock(cache.mutex);
            for (;;) {
                auto it = cache.by_alias.find(alias);
                if (it != cache.by_alias.end() && core::monotonic_ms() - it->second.taken_at < IDENTITY_KEY_FRESH_MS) {
                    key_out = it->second.key;
                    note_depth(it->second.depth);
                    return KeyLookup::found;
                }
                if (!cache.asking.count(alias)) break;
                cache.done.wait(lock);
            }
            cache.asking.insert(alias);
            marked = true;
        }
        KeyLookup verdict = KeyLookup::unreachable;
        std::string key;
        chain::AliasAnswer answer = chain::AliasAnswer::unreachable;
        {
            RequestSlot slot;
            answer = chain::svc_alias_key(alias, IDENTITY_LOOKUP_TIMEOUT_S, key);
        }
        if (answer == chain::AliasAnswer::unknown) {
            verdict = KeyLookup::unregistered;
        } else if (answer == chain::AliasAnswer::found) {
            key = normalise_key(key);
            verdict = key.empty() ? KeyLookup::unregistered : KeyLookup::found;
        }
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (verdict == KeyLookup::found) cache.by_alias[alias] = KeyEntry{key, core::monotonic_ms(), current_depth()};
        cache.asking.erase(alias);
        cache.done.notify_all();
        if (verdict == KeyLookup::found) key_out = key;
        return verdict;
    } catch (...) {
        if (marked) {
            std::lock_guard<std::mutex> lock(cache.mutex);
            cache.asking.erase(alias);
            cache.done.notify_all();
        }
        key_out.clear();
        return KeyLookup::unreachable;
    }
}

bool is_architect(std::string_view identity_key) {
    try {
        const std::string key = drop_hex_prefix(core::lower_ascii(identity_key));
        if (!chain::is_pubkey_hex(key)) return false;
        auto& cache = architect_cache();
        {
            std::lock_guard<std::mutex> lock(cache.mutex);
            auto it = cache.by_key.find(key);
            if (it != cache.by_key.end()) {
                const std::int64_t age = core::monotonic_ms() - it->second.taken_at;
                if (age < (it->second.architect ? ARCHITECT_YES_FRESH_MS : ARCHITECT_NO_FRESH_MS))
                    return it->second.architect;
            }
        }
        std::string role;
        bool answered = false;
        {
            RequestSlot slot;
            answered = chain::svc_role(key, [](const std::string& url, core::Json& reply) {
                return chain::gallery_get_json(url, QUOTA_TIMEOUT_S, reply);
            }, role);
        }
        const bool architect = answered && role == "architect";
        // A failed request is remembered like a "no", so a service that is down is not
        // asked again for every record of a wall read.
        std::lock_guard<std::mutex> lock(cache.mutex);
        cache.by_key[key] = RoleEntry{architect, core::monotonic_ms()};
        return architect;
    } catch (...) {
        return false;
    }
}

void reset_identity_caches() {
    {
        auto& c = identity_key_cache();
        std::lock_guard<std::mutex> lock(c.mutex);
        c.by_alias.clear();
    }
    auto& a = architect_cache();
    std::lock_guard<std::mutex> lock(a.mutex);
    a.by_key.clear();
}

}  // namespace ledger
