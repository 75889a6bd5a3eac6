#include "wallet/document.h"

#include <algorithm>

#include "core/files.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/text.h"
#include "wallet/derive.h"
#include "wallet/keys.h"
#include "wallet/registry.h"

namespace wallet {

namespace {

const char* const SEAL_MARK = "OV-LOCK1";

bool read_document(const std::string& path, core::Json& doc) {
    std::string text;
    if (!core::read_file(path, text)) return false;
    bool ok = core::parse_json(text, doc);
    core::cleanse(text);  // holds the mnemonic
    return ok;
}

// Overwrites a secret member of a parsed document in place before it is released.
void wipe_member(core::Json& doc, const char* key) {
    if (!doc.is_object()) return;
    auto it = doc.find(key);
    if (it != doc.end() && it->is_string()) core::cleanse(it->get_ref<std::string&>());
}

void wipe_secrets(core::Json& doc) {
    wipe_member(doc, "mnemonic");
    wipe_member(doc, "priv");
}

void read_common(const core::Json& doc, WalletState& s) {
    if (core::has_string(doc, "paymail")) s.paymail = doc["paymail"].get<std::string>();
    if (core::has_string(doc, "ord_avatar")) s.avatar = doc["ord_avatar"].get<std::string>();
    if (doc.contains("ord_owned") && doc["ord_owned"].is_array()) {
        for (const auto& el : doc["ord_owned"]) {
            if (!el.is_object()) continue;
            OwnedEntry e = owned_from_json(el);
            if (!e.origin.empty()) s.owned.push_back(std::move(e));
        }
    }
    if (doc.contains("contacts") && doc["contacts"].is_array()) {
        const std::string& domain = core::profile().paymail_domain;
        for (const auto& el : doc["contacts"]) {
            if (!el.is_object()) continue;
            Contact c;
            c.dest = normalise_contact_dest(core::json_string(el, "dest"), domain);
            c.note = normalise_contact_note(core::json_string(el, "note"));
            if (!c.dest.empty()) s.contacts.push_back(std::move(c));
        }
    }
}

// A counter as a document may hold it: an integer from 0 to MAX_COUNTER.
bool valid_counter(const core::Json& v) {
    if (v.is_number_unsigned()) return v.get<std::uint64_t>() <= MAX_COUNTER;
    return v.is_number_integer() && v.get<std::int64_t>() >= 0 && v.get<std::int64_t>() <= MAX_COUNTER;
}

// Caller checked counters_valid.
void read_counters(const core::Json& doc, std::array<std::uint32_t, 6>& recv, bool raise_only) {
    if (!doc.contains("recv")) return;
    const auto& arr = doc["recv"];
    for (std::size_t i = 0; i < recv.size() && i < arr.size(); ++i) {
        auto u = static_cast<std::uint32_t>(arr[i].get<std::uint64_t>());
        if (!raise_only || u > recv[i]) recv[i] = u;
    }
}

// Wipes the document's secret members when the scope ends, whichever way it ends.
struct WipeOnExit {
    core::Json& doc;
    ~WipeOnExit() { wipe_secrets(doc); }
};

void clear_for_load(WalletState& s) {
    s.hd = false;
    s.backup = false;
    s.mnemonic.clear();
    s.seed.clear();
    s.master.reset();
    s.identity_pub.clear();
    s.identity_address.clear();
    s.ordinals_address.clear();
    s.paymail.clear();
    s.avatar.clear();
    s.owned.clear();
    s.contacts.clear();
    s.recv = {};
    s.show = 0;
    s.scan_mark = 0;
    ++s.generation;
}

}  // namespace

bool is_sealed_document(const core::Json& doc) {
    return doc.is_object() && core::json_string(doc, "lock") == SEAL_MARK;
}

bool counters_valid(const core::Json& doc) {
    if (doc.contains("recv")) {
        const auto& arr = doc["recv"];
        if (!arr.is_array()) return false;
        for (std::size_t i = 0; i < 6 && i < arr.size(); ++i)
            if (!valid_counter(arr[i])) return false;
    }
    return !doc.contains("show") || valid_counter(doc["show"]);
}

std::string normalise_contact_dest(const std::string& dest, const std::string& domain) {
    std::string d = core::trim(dest);
    d = core::trim(core::trim_left(d, "@$"));
    if (d.size() > 25 && d[0] == '1') return d;  // a Base58 address stays as written
    d = core::lower_ascii(d);
    auto at = d.find('@');
    if (at != std::string::npos && !domain.empty() && d.substr(at + 1) == core::lower_ascii(domain))
        d = d.substr(0, at);
    return d;
}

std::string normalise_contact_note(const std::string& note) {
    return core::cut_utf8(core::trim(note), 80);
}

OwnedEntry owned_from_json(const core::Json& j) {
    OwnedEntry e;
    e.origin = core::json_string(j, "origin");
    e.txid = core::json_string(j, "txid");
    e.vout = core::json_int(j, "vout");
    e.type = core::json_string(j, "type");
    e.address = core::json_string(j, "address");
    e.name = core::json_string(j, "name");
    e.icon = core::json_string(j, "icon");
    e.amt = core::json_string(j, "amt");
    e.dec = core::json_string(j, "dec");
    e.token_id = core::json_string(j, "token_id");
    e.hidden = core::json_bool(j, "hidden");
    e.created = core::json_bool(j, "created", true);
    return e;
}

core::Json owned_to_json(const OwnedEntry& e) {
    core::Json j = core::Json::object();
    j["origin"] = e.origin;
    j["txid"] = e.txid;
    j["vout"] = e.vout;
    auto put = [&](const char* key, const std::string& v) {
        if (!v.empty()) j[key] = v;
    };
    put("type", e.type);
    put("address", e.address);
    put("name", e.name);
    put("icon", e.icon);
    put("amt", e.amt);
    put("dec", e.dec);
    put("token_id", e.token_id);
    if (e.hidden) j["hidden"] = true;
    j["created"] = e.created;
    return j;
}

bool load_wallet() {
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    if (wallet_in_memory()) return true;
    if (app_binding().wallet_id.empty()) return false;
    std::string path = bound_wallet_file();
    if (path.empty()) return false;
    core::Json doc;
    WipeOnExit wipe{doc};
    if (!read_document(path, doc) || !doc.is_object()) return false;
    if (is_sealed_document(doc) || !counters_valid(doc)) return false;

    clear_for_load(s);
    if (core::has_string(doc, "mnemonic")) {
        std::string words = doc["mnemonic"].get<std::string>();
        bool valid = validate_mnemonic(words);
        s.mnemonic.assign(words);
        core::cleanse(words);
        wipe_member(doc, "mnemonic");
        if (!valid) {
            clear_wallet_state();
            return false;
        }
        s.hd = true;
        s.backup = core::json_bool(doc, "backup");
        read_counters(doc, s.recv, false);
        s.show = s.recv[1];
        if (doc.contains("show")) s.show = std::min(s.recv[1], static_cast<std::uint32_t>(doc["show"].get<std::uint64_t>()));
        read_common(doc, s);
        if (!derive_wallet_keys()) {
            clear_wallet_state();
            return false;
        }
        return true;
    }

    std::string priv = core::json_string(doc, "priv");
    std::string pub = core::json_string(doc, "pub");
    std::string address = core::json_string(doc, "address");
    wipe_member(doc, "priv");
    read_common(doc, s);
    // The key decides: a stored public key or address that is not the key's own would
    // show, and receive to, an address this wallet cannot spend from.
    std::string key_pub;
    bool ok = priv.size() == 64 && pub_from_priv(priv, key_pub);
    const std::string key_address = ok ? address_from_pub(key_pub) : std::string();
    ok = ok && !key_address.empty() && (pub.empty() || core::lower_ascii(pub) == key_pub) &&
         (address.empty() || address == key_address);
    pub = key_pub;
    address = key_address;
    if (!ok) {
        core::cleanse(priv);
        clear_wallet_state();
        return false;
    }
    s.priv.assign(priv);
    core::cleanse(priv);
    s.pub = pub;
    s.address = address;
    return true;
}

namespace {

// The document as this program writes a new one, whole from memory.
core::Json whole_document(const WalletState& s) {
    core::Json doc = core::Json::object();
    if (s.hd) {
        doc["version"] = 2;
        doc["mnemonic"] = s.mnemonic.str();
        doc["backup"] = s.backup;
        doc["identity"] = s.identity_address;
    } else {
        doc["priv"] = s.priv.str();
        doc["pub"] = s.pub;
    }
    doc["address"] = s.address;
    if (!s.contacts.empty()) {
        doc["contacts"] = core::Json::array();
        for (const auto& c : s.contacts) {
            core::Json cj = {{"dest", c.dest}};
            if (!c.note.empty()) cj["note"] = c.note;
            doc["contacts"].push_back(cj);
        }
    }
    return doc;
}

// The document on disk still holds the wallet in memory: same kind, same secret.
bool same_wallet(const core::Json& disk, const WalletState& s) {
    if (s.hd) return core::has_string(disk, "mnemonic") && disk["mnemonic"].get_ref<const std::string&>() == s.mnemonic.str();
    return !disk.contains("mnemonic") && core::has_string(disk, "priv") &&
           disk["priv"].get_ref<const std::string&>() == s.priv.str();
}

// Writes the members this program owns into doc; every other member stays as it is.
void put_our_members(core::Json& doc, const WalletState& s) {
    if (s.hd) {
        // The wallet application may have handed out addresses since we loaded: a
        // counter only ever goes up.
        core::Json recv = doc.contains("recv") && doc["recv"].is_array() ? doc["recv"] : core::Json::array();
        while (recv.size() < s.recv.size()) recv.push_back(0);
        for (std::size_t i = 0; i < s.recv.size(); ++i)
            recv[i] = std::max<std::uint64_t>(recv[i].get<std::uint64_t>(), s.recv[i]);
        doc["recv"] = std::move(recv);
        doc["show"] = s.show;
    }
    // We never clear an alias or an avatar ourselves: an empty one here means the wallet
    // application's value is newer than ours.
    if (!s.paymail.empty()) doc["paymail"] = s.paymail;
    if (!s.avatar.empty()) doc["ord_avatar"] = s.avatar;
    doc.erase("ord_owned");
    if (!s.owned.empty()) {
        doc["ord_owned"] = core::Json::array();
        for (const auto& e : s.owned) doc["ord_owned"].push_back(owned_to_json(e));
    }
}

}  // namespace

bool save_wallet(std::string& error) {
    error.clear();
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    std::string path = app_binding().wallet_id.empty() ? std::string() : bound_wallet_file();
    if (path.empty() || !wallet_in_memory()) {
        error = "not connected.";
        return false;
    }
    // The wallet application writes this file too, under the store lock: re-read it
    // under that lock and write our members into what is there now.
    StoreLockGuard store;
    core::make_dirs(core::parent_path(path));
    core::Json doc;
    WipeOnExit wipe{doc};
    bool sealed = core::entry_exists(path + ".seal");
    if (!sealed && !core::entry_exists(path)) {
        doc = whole_document(s);
    } else {
        if (!sealed && (!read_document(path, doc) || !doc.is_object() || !counters_valid(doc))) {
            error = "the wallet file could not be read; try again.";
            return false;
        }
        if (sealed || is_sealed_document(doc) || !same_wallet(doc, s)) {
            // Sealed, or another wallet now lives in this file: what we hold is stale.
            forget_wallet();
            error = "wallet changed.";
            return false;
        }
    }
    put_our_members(doc, s);
    std::string text = core::dump_pretty(doc);
    bool ok = core::write_file_atomic(path, text);
    core::cleanse(text);
    if (!ok) error = "the wallet file could not be written.";
    return ok;
}

bool save_wallet() {
    std::string error;
    return save_wallet(error);
}

void forget_wallet() {
    clear_wallet_state();
}

void merge_wallet_changes() {
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    if (!wallet_in_memory()) return;
    std::string path = app_binding().wallet_id.empty() ? legacy_wallet_path() : bound_wallet_file();
    core::Json doc;
    WipeOnExit wipe{doc};
    if (path.empty() || !read_document(path, doc) || !doc.is_object() || is_sealed_document(doc) ||
        !counters_valid(doc))
        return;
    std::uint32_t before = s.recv[1];
    read_counters(doc, s.recv, true);
    if (core::has_string(doc, "ord_avatar"))
        s.avatar = doc["ord_avatar"].get<std::string>();
    else
        s.avatar.clear();
    if (core::has_string(doc, "paymail")) s.paymail = doc["paymail"].get<std::string>();
    if (s.hd && s.recv[1] != before) derive_wallet_keys();
}

bool wallet_is_locked() {
    std::string path = bound_wallet_file();
    if (path.empty()) return false;
    if (core::file_exists(path + ".seal")) return true;
    core::Json doc;
    if (!read_document(path, doc)) return false;
    bool sealed = is_sealed_document(doc);
    wipe_secrets(doc);
    return sealed;
}

WalletSummary peek_wallet_summary() {
    WalletLock lock(wallet_mutex());
    WalletSummary out;
    auto& s = wallet_state();
    const std::string& domain = core::profile().paymail_domain;
    if (wallet_in_memory()) {
        out.found = true;
        out.address = s.address;
        if (!s.paymail.empty()) out.paymail = s.paymail + "@" + domain;
        out.hd = s.hd;
        return out;
    }
    if (app_binding().wallet_id.empty() || wallet_is_locked()) return out;
    core::Json doc;
    if (!read_document(bound_wallet_file(), doc) || !doc.is_object()) return out;
    bool hd = doc.contains("mnemonic");
    if (!hd && !core::has_string(doc, "priv")) return out;
    out.found = true;
    out.hd = hd;
    out.address = core::json_string(doc, "address");
    std::string alias = core::json_string(doc, "paymail");
    if (!alias.empty()) out.paymail = alias + "@" + domain;
    wipe_secrets(doc);
    return out;
}

bool wallet_ready_hd() {
    AppBinding b = app_binding();
    if (b.initialised && b.wallet_id.empty() && read_bound_wallet_id().empty()) return false;
    WalletLock lock(wallet_mutex());
    return load_wallet() && wallet_state().hd;
}

std::string wallet_address() {
    WalletLock lock(wallet_mutex());
    return load_wallet() ? wallet_state().address : std::string();
}

std::string wallet_identity_key() {
    WalletLock lock(wallet_mutex());
    if (!load_wallet()) return "";
    auto& s = wallet_state();
    return s.hd ? s.identity_pub : s.pub;
}

bool new_hd_document(const std::string& mnemonic, core::Json& doc, std::string& error) {
    if (!validate_mnemonic(mnemonic)) {
        error = "that is not a valid 12-word BIP39 English mnemonic";
        return false;
    }
    std::string priv, pub, address, id_pub, id_address;
    bool ok = derive_from_mnemonic(mnemonic, receive_path(0), priv, pub, address);
    core::cleanse(priv);
    ok = ok && derive_from_mnemonic(mnemonic, identity_path(), priv, id_pub, id_address);
    core::cleanse(priv);
    if (!ok) {
        error = "could not derive the wallet's keys";
        return false;
    }
    doc = core::Json::object();
    doc["version"] = 2;
    doc["mnemonic"] = mnemonic;  // the caller wipes the document after writing it
    doc["backup"] = false;
    doc["recv"] = {0, 0, 0, 0, 0, 0};
    doc["show"] = 0;
    doc["identity"] = id_address;
    doc["address"] = address;
    return true;
}

}  // namespace wallet
