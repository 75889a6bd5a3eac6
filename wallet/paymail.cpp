#include "wallet/paymail.h"

#include <mutex>

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/svc.h"
#include "core/clock.h"
#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/text.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace wallet {

namespace {

struct PaymailState {
    std::recursive_mutex registry_mutex;
    std::mutex mark_mutex;
    std::string publish_mark;  // of the last claim that succeeded in this process
};

PaymailState& paymail_state() {
    static PaymailState s;
    return s;
}

std::string registry_path() { return platform_dir() + "/orvane_paymail.json"; }

// The registry as read now; writable is false when the file exists but does not
// parse, so a save never replaces someone else's data with an empty registry.
core::Json read_registry(bool& writable) {
    writable = true;
    core::Json j;
    std::string text;
    std::string path = registry_path();
    if (core::read_file(path, text)) {
        if (!core::parse_json(text, j) || !j.is_object()) {
            writable = false;
            return core::Json::object();
        }
        return j;
    }
    if (core::file_exists(path)) {
        writable = false;
        return core::Json::object();
    }
    // An older install kept the registry beside the program.
    if (core::read_file("userinfo/orvane_paymail.json", text) && core::parse_json(text, j) && j.is_object()) {
        core::write_file_atomic(path, core::dump_pretty(j));
        return j;
    }
    return core::Json::object();
}

core::Json& names_of(core::Json& reg) {
    if (!reg.contains("names") || !reg["names"].is_object()) reg["names"] = core::Json::object();
    return reg["names"];
}

bool same_key(const core::Json& entry, const std::string& key) {
    return !key.empty() && core::lower_ascii(core::json_string(entry, "pubkey")) == core::lower_ascii(key);
}

std::string platform_url_failure(const chain::HttpResult& r) {
    core::Json j;
    if (core::parse_json(r.body, j)) {
        std::string e = core::json_string(j, "error");
        if (!e.empty()) return e;
    }
    return "paymail host refused";
}

}  // namespace

core::Json load_paymail_registry() {
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    bool writable;
    return read_registry(writable);
}

bool save_paymail_registry(const core::Json& registry) {
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    bool writable;
    read_registry(writable);
    if (!writable) return false;
    return core::write_file_atomic(registry_path(), core::dump_pretty(registry));
}

std::string trim_alias(const std::string& alias) {
    return core::trim_right(core::trim_left(alias, "@$ "), " \r\n");
}

std::string registry_alias(const std::string& alias) {
    std::string t = trim_alias(alias);
    auto at = t.find('@');
    if (at != std::string::npos) t = t.substr(0, at);
    std::string out;
    for (unsigned char c : t) {
        char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
        if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '_' || l == '-' || l == '.') out.push_back(l);
    }
    return out;
}

int alias_quota(const std::string& role) {
    if (role == "architect") return -1;
    if (role == "dev") return 20;
    return 10;
}

std::string own_alias(const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    core::Json reg = load_paymail_registry();
    core::Json& names = names_of(reg);
    std::string self = core::json_string(reg, "self");
    if (!self.empty() && names.contains(self) && same_key(names[self], key)) return self;
    for (auto it = names.begin(); it != names.end(); ++it)
        if (same_key(it.value(), key)) return it.key();
    return "";
}

std::string register_alias(const std::string& alias_in, const std::string& key, const std::string& address) {
    std::string alias = registry_alias(alias_in);
    if (alias.empty()) return "need a paymail name (letters, numbers, _ - .)";
    if (key.empty()) return "no Wendrel identity pubkey";
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    bool writable;
    core::Json reg = read_registry(writable);
    core::Json& names = names_of(reg);
    if (names.contains(alias) && !core::json_string(names[alias], "pubkey").empty() && !same_key(names[alias], key))
        return alias + "@" + core::profile().paymail_domain + " is already taken";
    bool is_new = !names.contains(alias) || !same_key(names[alias], key);
    if (is_new) {
        int quota = alias_quota(core::json_string(reg, "host_role"));
        int count = 0;
        for (auto it = names.begin(); it != names.end(); ++it)
            if (same_key(it.value(), key)) ++count;
        if (quota >= 0 && count >= quota)
            return "paymail quota reached (" + std::to_string(quota) + " free labels per identity)";
    }
    core::Json old = names.contains(alias) && names[alias].is_object() ? names[alias] : core::Json::object();
    core::Json entry = old;
    entry["pubkey"] = core::lower_ascii(key);
    if (!address.empty()) entry["address"] = address;
    std::string avatar = core::json_string(old, "avatar");
    if (avatar.empty() && reg.contains("avatars")) avatar = core::json_string(reg["avatars"], core::lower_ascii(key));
    if (avatar.empty())
        for (auto it = names.begin(); it != names.end() && avatar.empty(); ++it)
            if (same_key(it.value(), key)) avatar = core::json_string(it.value(), "avatar");
    if (!avatar.empty()) entry["avatar"] = avatar;
    names[alias] = entry;
    reg["self"] = alias;
    if (!writable || !core::write_file_atomic(registry_path(), core::dump_pretty(reg)))
        return "could not write paymail registry";
    return "";
}

std::string register_avatar() {
    std::string key, avatar;
    {
        WalletLock lock(wallet_mutex());
        if (!load_wallet()) return "no identity pubkey";
        key = core::lower_ascii(wallet_state().identity_pub);
        avatar = wallet_state().avatar;
    }
    if (key.empty()) return "no identity pubkey";
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    bool writable;
    core::Json reg = read_registry(writable);
    if (!avatar.empty()) {
        if (!reg.contains("avatars") || !reg["avatars"].is_object()) reg["avatars"] = core::Json::object();
        reg["avatars"][key] = avatar;
    }
    core::Json& names = names_of(reg);
    for (auto it = names.begin(); it != names.end(); ++it) {
        if (!same_key(it.value(), key)) continue;
        if (avatar.empty())
            it.value().erase("avatar");
        else
            it.value()["avatar"] = avatar;
    }
    if (!writable || !core::write_file_atomic(registry_path(), core::dump_pretty(reg)))
        return "could not write paymail registry";
    return "";
}

void register_ordinals_address() {
    std::string key, ord;
    {
        WalletLock lock(wallet_mutex());
        key = core::lower_ascii(wallet_state().identity_pub);
        ord = wallet_state().ordinals_address;
    }
    if (key.empty() || ord.empty()) return;
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    bool writable;
    core::Json reg = read_registry(writable);
    if (!writable) return;
    bool changed = false;
    core::Json& names = names_of(reg);
    for (auto it = names.begin(); it != names.end(); ++it) {
        if (!same_key(it.value(), key) || core::json_string(it.value(), "ord") == ord) continue;
        it.value()["ord"] = ord;
        changed = true;
    }
    // Only a real change touches the shared file.
    if (changed) core::write_file_atomic(registry_path(), core::dump_pretty(reg));
}

void paymail_sync(bool /*report: no observer is installed by this program*/) {
    std::string key, address, alias, id;
    bool from_registry = false;
    {
        WalletLock lock(wallet_mutex());
        if (!load_wallet() || !wallet_state().hd) return;
        key = wallet_state().identity_pub;
        address = wallet_state().address;
        alias = trim_alias(wallet_state().paymail);
    }
    if (key.empty()) return;
    if (alias.empty()) {
        alias = own_alias(key);
        from_registry = true;
    }
    if (alias.empty()) return;
    register_alias(alias, key, address);
    id = app_binding().wallet_id;
    rename_wallet(id, alias);
    if (from_registry) {
        WalletLock lock(wallet_mutex());
        if (!wallet_in_memory()) return;
        wallet_state().paymail = alias;
        save_wallet();
    }
}

std::string current_alias() {
    WalletLock lock(wallet_mutex());
    if (!load_wallet()) return "";
    paymail_sync(false);
    return trim_alias(wallet_state().paymail);
}

std::string claim_message(const std::string& alias, const std::string& key, const std::string& address,
                          const std::string& avatar, const std::string& ord, const std::string& bn_pub,
                          const std::string& bn_address, long long ts) {
    std::string m = "OV-PAYMAIL-CLAIM|" + alias + "|" + key + "|" + address + "|" + avatar + "|";
    if (!bn_pub.empty() && !bn_address.empty())
        m += ord + "|" + bn_pub + "|" + bn_address + "|";
    else if (!ord.empty())
        m += ord + "|";
    return m + std::to_string(ts);
}

std::string publish_paymail(const std::string& alias_in, const std::string& key, const std::string& address,
                            const std::string& avatar, const std::string& ord) {
    if (alias_in.empty() || key.empty()) return "";
    std::string mark = alias_in + "|" + address + "|" + ord + "|" + avatar + "|bn1";
    {
        std::lock_guard<std::mutex> lock(paymail_state().mark_mutex);
        if (mark == paymail_state().publish_mark) return "";
    }
    std::string alias = trim_alias(alias_in);
    if (alias.empty()) return "need alias and pubkey";
    std::string bn_pub, bn_priv, bn_address, error;
    bool have_bn = bn_key(bn_pub, bn_priv, bn_address, error);
    core::cleanse(bn_priv);
    if (!have_bn) {
        bn_pub.clear();
        bn_address.clear();
    }
    long long ts = core::now_seconds();
    std::string message = claim_message(alias, key, address, avatar, ord, bn_pub, bn_address, ts);
    std::string signer, sig;
    if (!identity_sign(message, signer, sig, error)) return "could not sign paymail claim";
    if (core::lower_ascii(signer) != core::lower_ascii(key)) return "identity pubkey mismatch";
    core::Json body = {{"alias", alias}, {"pubkey", key}, {"address", address}, {"avatar", avatar}, {"ts", ts}, {"sig", sig}};
    if (!ord.empty()) body["ordAddress"] = ord;
    if (have_bn) {
        body["bnPub"] = bn_pub;
        body["bnAddress"] = bn_address;
    }
    chain::HttpResult r = chain::svc_claim_paymail(core::dump_compact(body));
    if (!r.ok) return platform_url_failure(r);
    std::lock_guard<std::mutex> lock(paymail_state().mark_mutex);
    paymail_state().publish_mark = mark;
    return "";
}

void refresh_paymail_role() {
    std::string key;
    {
        WalletLock lock(wallet_mutex());
        if (!load_wallet()) return;
        key = core::lower_ascii(wallet_state().identity_pub);
    }
    std::string role;
    const bool answered = chain::svc_role(key, [](const std::string& url, core::Json& reply) {
        const chain::HttpResult r = chain::service_get_text(url);
        return r.ok && core::parse_json(r.body, reply);
    }, role);
    if (!answered) return;
    std::lock_guard<std::recursive_mutex> lock(paymail_state().registry_mutex);
    bool writable;
    core::Json reg = read_registry(writable);
    if (!writable) return;
    if (role == "dev" || role == "agent" || role == "operator" || role == "architect")
        reg["host_role"] = role;
    else
        reg.erase("host_role");
    core::write_file_atomic(registry_path(), core::dump_pretty(reg));
}

void reset_paymail_state() {
    std::lock_guard<std::mutex> lock(paymail_state().mark_mutex);
    paymail_state().publish_mark.clear();
}

}  // namespace wallet
