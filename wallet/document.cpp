#include "wallet/document.h"

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

void read_counters(const core::Json& doc, std::array<std::uint32_t, 6>& recv, bool raise_only) {
    if (!doc.contains("recv") || !doc["recv"].is_array()) return;
    const auto& arr = doc["recv"];
    for (std::size_t i = 0; i < 6 && i < arr.size(); ++i) {
        if (!arr[i].is_number_integer()) continue;
        std::int64_t v = arr[i].get<std::int64_t>();
        if (v < 0 || v > 0x7fffffff) continue;  // an index beyond the hardened range is not a counter
        auto u = static_cast<std::uint32_t>(v);
        if (!raise_only || u > recv[i]) recv[i] = u;
    }
}

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
    if (!read_document(path, doc) || !doc.is_object()) return false;
    if (is_sealed_document(doc)) return false;

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
        if (doc.contains("show") && doc["show"].is_number()) {
            double v = doc["show"].get<double>();
            if (v >= 0 && v < static_cast<double>(s.recv[1])) s.show = static_cast<std::uint32_t>(v);
        }
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
    bool ok = priv.size() == 64;
    if (ok && pub.empty()) ok = pub_from_priv(priv, pub);
    if (ok && address.empty()) {
        address = address_from_pub(pub);
        ok = !address.empty();
    }
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

bool save_wallet() {
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    if (app_binding().wallet_id.empty() || !wallet_in_memory()) return false;
    std::string path = bound_wallet_file();
    if (path.empty()) return false;
    core::make_dirs(core::parent_path(path));

    // The wallet application shares this file: start from what is there now and
    // replace only our members, and never write over a sealed or unreadable file.
    core::Json doc = core::Json::object();
    if (core::file_exists(path)) {
        if (!read_document(path, doc) || !doc.is_object() || is_sealed_document(doc)) return false;
        bool same = !s.hd || core::json_string(doc, "mnemonic") == s.mnemonic.str();
        wipe_secrets(doc);
        if (!same) return false;  // another wallet now lives in this file
    }
    for (const char* key : {"paymail", "ord_avatar", "ord_owned", "contacts"}) doc.erase(key);
    if (s.hd) {
        doc["version"] = 2;
        doc["mnemonic"] = s.mnemonic.str();
        doc["backup"] = s.backup;
        doc["recv"] = core::Json::array();
        for (auto v : s.recv) doc["recv"].push_back(v);
        doc["show"] = s.show;
        doc["identity"] = s.identity_address;
        doc["address"] = s.address;
        if (!s.paymail.empty()) doc["paymail"] = s.paymail;
    } else {
        doc["priv"] = s.priv.str();
        doc["pub"] = s.pub;
        doc["address"] = s.address;
        if (!s.paymail.empty()) doc["paymail"] = s.paymail;  // kept as the wallet application wrote it
    }
    if (!s.avatar.empty()) doc["ord_avatar"] = s.avatar;
    if (!s.owned.empty()) {
        doc["ord_owned"] = core::Json::array();
        for (const auto& e : s.owned) doc["ord_owned"].push_back(owned_to_json(e));
    }
    if (!s.contacts.empty()) {
        doc["contacts"] = core::Json::array();
        for (const auto& c : s.contacts) {
            core::Json cj = {{"dest", c.dest}};
            if (!c.note.empty()) cj["note"] = c.note;
            doc["contacts"].push_back(cj);
        }
    }
    std::string text = core::dump_pretty(doc);
    wipe_secrets(doc);
    bool ok = core::write_file_atomic(path, text);
    core::cleanse(text);
    return ok;
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
    if (path.empty() || !read_document(path, doc) || !doc.is_object() || is_sealed_document(doc)) return;
    wipe_secrets(doc);
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
