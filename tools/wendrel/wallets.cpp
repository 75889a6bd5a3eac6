// Creating, restoring, listing, showing and sealing wallets: the operations, and the
// commands that print their results.
#include <cstdio>
#include <iostream>

#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/secret.h"
#include "core/text.h"
#include "tools/wendrel/cli.h"
#include "tools/wendrel/operations.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"

namespace wendrel {

namespace {

constexpr std::uint32_t SEAL_ITERATIONS = 210000;

std::string wallet_dir(const std::string& id) { return wallet::platform_dir() + "/wallets/" + id; }

void wipe_json_secret(core::Json& doc, const char* key) {
    if (!doc.is_object()) return;
    auto it = doc.find(key);
    if (it != doc.end() && it->is_string()) core::cleanse(it->get_ref<std::string&>());
}

// The registry wallet whose plain document holds exactly these words ("" when none).
// A sealed document cannot be looked into and is not counted. Caller holds the store lock.
std::string wallet_holding(const std::string& words) {
    for (const auto& w : wallet::list_wallets()) {
        std::string text;
        if (!wallet::is_valid_wallet_id(w.id) || !core::read_file(wallet::wallet_json_path(w.id), text)) continue;
        core::Json doc;
        bool parsed = core::parse_json(text, doc);
        core::cleanse(text);
        bool same = parsed && core::has_string(doc, "mnemonic") && doc["mnemonic"].get_ref<const std::string&>() == words;
        wipe_json_secret(doc, "mnemonic");
        wipe_json_secret(doc, "priv");
        if (same) return w.id;
    }
    return "";
}

// Writes the document as a new wallet and appends its registry row; nothing stays
// behind when either step fails. With refuse_known, a mnemonic that already is a wallet
// here is refused before anything is written. The document's secrets are wiped either way.
bool add_wallet(core::Json& doc, const std::string& name, bool refuse_known, std::string& id, std::string& error) {
    wallet::StoreLockGuard guard;
    if (refuse_known) {
        std::string known =
            core::has_string(doc, "mnemonic") ? wallet_holding(doc["mnemonic"].get_ref<const std::string&>()) : "";
        if (!known.empty()) {
            wipe_json_secret(doc, "mnemonic");
            error = "that mnemonic is already the wallet " + known + " (\"" + wallet::wallet_display_name(known) +
                    "\"); nothing was written";
            return false;
        }
    }
    core::Json reg;
    if (!wallet::load_registry(reg, error)) {
        wipe_json_secret(doc, "mnemonic");
        return false;
    }
    std::string new_id = wallet::new_wallet_id();
    std::string dir = wallet_dir(new_id);
    if (!core::make_dirs(dir)) {
        wipe_json_secret(doc, "mnemonic");
        error = "could not create " + dir;
        return false;
    }
    std::string text = core::dump_pretty(doc);
    wipe_json_secret(doc, "mnemonic");
    bool written = core::write_file_atomic(dir + "/wallet.json", text);
    core::cleanse(text);
    if (!written) {
        error = "could not write the wallet file in " + dir;
        return false;
    }
    std::string label = name.empty() ? "Wallet " + std::to_string(reg["wallets"].size() + 1) : name;
    reg["wallets"].push_back({{"id", new_id}, {"name", label}});
    reg["active"] = new_id;
    if (!wallet::save_registry(reg)) {
        core::remove_file(dir + "/wallet.json");
        core::remove_file(dir);
        error = "could not write wallets.json; no wallet was added";
        return false;
    }
    id = new_id;
    return true;
}

std::string pick_wallet(const Args& a) { return a.positional.empty() ? active_wallet_id() : a.positional[0]; }

bool read_wallet_file(const std::string& id, std::string& path, std::string& text, std::string& error) {
    if (!wallet::is_valid_wallet_id(id) || !wallet_exists(id)) {
        error = "no wallet with the id \"" + id + "\"";
        return false;
    }
    path = wallet::wallet_json_path(id);
    if (!core::read_file(path, text)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace

bool read_view(const std::string& id, WalletView& v, core::SecretString* reveal, std::string& error) {
    v.id = id;
    v.name = wallet::wallet_display_name(id);
    std::string path = wallet::wallet_json_path(id);
    std::string text;
    if (path.empty() || !core::read_file(path, text)) {
        error = "cannot read the wallet file of " + id;
        return false;
    }
    core::Json doc;
    bool parsed = core::parse_json(text, doc);
    core::cleanse(text);
    if (!parsed || !doc.is_object()) {
        error = "the wallet file of " + id + " is not a wallet document";
        return false;
    }
    if (wallet::is_sealed_document(doc) || core::file_exists(path + ".seal")) {
        v.sealed = true;
        return true;
    }
    v.paymail = core::json_string(doc, "paymail");
    if (core::has_string(doc, "mnemonic")) {
        v.hd = true;
        core::SecretString mnemonic(doc["mnemonic"].get_ref<const std::string&>());
        wipe_json_secret(doc, "mnemonic");
        std::uint32_t show = 0, ord = 0;
        if (doc.contains("recv") && doc["recv"].is_array()) {
            const auto& r = doc["recv"];
            if (r.size() > 1 && r[1].is_number_unsigned()) show = r[1].get<std::uint32_t>();
            if (r.size() > 5 && r[5].is_number_unsigned()) ord = r[5].get<std::uint32_t>();
        }
        if (doc.contains("show") && doc["show"].is_number_unsigned() && doc["show"].get<std::uint32_t>() < show)
            show = doc["show"].get<std::uint32_t>();
        std::string priv, pub, addr;
        bool ok = wallet::derive_from_mnemonic(mnemonic.str(), wallet::receive_path(show), priv, pub, addr);
        core::cleanse(priv);
        if (ok) v.address = addr;
        ok = ok && wallet::derive_from_mnemonic(mnemonic.str(), wallet::identity_path(), priv, v.identity_key,
                                                v.identity);
        core::cleanse(priv);
        ok = ok && wallet::derive_from_mnemonic(mnemonic.str(), wallet::ordinals_path(ord), priv, pub,
                                                v.ordinals_address);
        core::cleanse(priv);
        if (!ok) {
            error = "the mnemonic of " + id + " does not derive";
            return false;
        }
        if (reveal) *reveal = std::move(mnemonic);
        return true;
    }
    std::string priv = core::json_string(doc, "priv");
    wipe_json_secret(doc, "priv");
    v.address = core::json_string(doc, "address");
    std::string pub = core::json_string(doc, "pub");
    if (pub.empty() && !wallet::pub_from_priv(priv, pub)) {
        core::cleanse(priv);
        error = "the key of " + id + " is not valid";
        return false;
    }
    core::cleanse(priv);
    if (v.address.empty()) v.address = wallet::address_from_pub(pub);
    v.identity_key = pub;
    v.identity = v.address;
    return true;
}


std::string active_wallet_id() {
    wallet::StoreLockGuard guard;
    core::Json reg;
    std::string error;
    if (!wallet::load_registry(reg, error)) return "";
    std::string active = core::json_string(reg, "active");
    if (!active.empty() && wallet_exists(active)) return active;
    auto rows = wallet::list_wallets();
    return rows.empty() ? "" : rows.front().id;
}

bool wallet_exists(const std::string& id) {
    for (const auto& w : wallet::list_wallets())
        if (w.id == id) return true;
    return false;
}

std::vector<WalletRow> wallet_rows() {
    wallet::StoreLockGuard guard;
    std::string active = active_wallet_id();
    std::vector<WalletRow> out;
    for (const auto& w : wallet::list_wallets()) out.push_back({w.id, w.name, w.id == active});
    return out;
}

bool create_wallet(const std::string& name, std::string& id, core::SecretString& words, std::string& error) {
    core::Bytes entropy;
    if (!core::random_bytes(16, entropy)) {
        error = "no randomness available";
        return false;
    }
    std::string text;
    bool ok = wallet::mnemonic_from_entropy(entropy, text);
    core::cleanse(entropy);
    if (!ok) {
        core::cleanse(text);
        error = "could not make a mnemonic";
        return false;
    }
    core::Json doc;
    ok = wallet::new_hd_document(text, doc, error) && add_wallet(doc, name, false, id, error);
    if (ok) words.assign(text);
    core::cleanse(text);
    return ok;
}

bool restore_wallet(const std::string& words, const std::string& name, std::string& id, std::string& error) {
    core::Json doc;
    if (!wallet::new_hd_document(words, doc, error)) return false;
    return add_wallet(doc, name, true, id, error);
}

bool seal_wallet(const std::string& id, const std::string& password, std::string& error) {
    if (password.empty()) {
        error = "sealing needs a password";
        return false;
    }
    wallet::StoreLockGuard guard;
    std::string path, text;
    if (!read_wallet_file(id, path, text, error)) return false;
    core::Json doc;
    bool parsed = core::parse_json(text, doc);
    bool already = parsed && wallet::is_sealed_document(doc);
    wipe_json_secret(doc, "mnemonic");
    wipe_json_secret(doc, "priv");
    if (already || !parsed || !doc.is_object()) {
        core::cleanse(text);
        error = already ? "wallet " + id + " is already sealed" : "the wallet file of " + id + " is not a wallet document";
        return false;
    }
    core::Bytes salt, iv, key, ct, tag;
    bool ok = core::random_bytes(16, salt) && core::random_bytes(12, iv) &&
              core::pbkdf2_sha256(password, core::to_string(salt), SEAL_ITERATIONS, 32, key);
    core::Bytes plain(text.begin(), text.end());
    core::cleanse(text);
    ok = ok && core::aes256gcm_encrypt(key, iv, plain, ct, tag);
    core::cleanse(plain);
    core::cleanse(key);
    if (!ok) {
        error = "could not seal the wallet";
        return false;
    }
    core::Json sealed = {{"lock", "OV-LOCK1"}, {"kdf", "pbkdf2-sha256"}, {"iter", SEAL_ITERATIONS},
                         {"salt", core::to_hex(salt)}, {"iv", core::to_hex(iv)}, {"tag", core::to_hex(tag)},
                         {"ct", core::to_hex(ct)}};
    if (!core::write_file_atomic(path, core::dump_pretty(sealed))) {
        error = "could not write " + path;
        return false;
    }
    return true;
}

bool unseal_wallet(const std::string& id, const std::string& password, std::string& error) {
    wallet::StoreLockGuard guard;
    std::string path, text;
    if (!read_wallet_file(id, path, text, error)) return false;
    core::Json doc;
    if (!core::parse_json(text, doc) || !wallet::is_sealed_document(doc)) {
        error = "wallet " + id + " is not sealed";
        return false;
    }
    core::Bytes salt, iv, tag, ct;
    std::int64_t iter = core::json_int(doc, "iter");
    if (core::json_string(doc, "kdf") != "pbkdf2-sha256" || iter < 1 || iter > 10000000 ||
        !core::from_hex(core::json_string(doc, "salt"), salt) || !core::from_hex(core::json_string(doc, "iv"), iv) ||
        iv.size() != 12 || !core::from_hex(core::json_string(doc, "tag"), tag) || tag.size() != 16 ||
        !core::from_hex(core::json_string(doc, "ct"), ct)) {
        error = "the sealed file of " + id + " is damaged; it was left unchanged";
        return false;
    }
    core::Bytes key, plain;
    bool ok = core::pbkdf2_sha256(password, core::to_string(salt), static_cast<std::uint32_t>(iter), 32, key) &&
              core::aes256gcm_decrypt(key, iv, ct, tag, plain);
    core::cleanse(key);
    if (!ok) {
        core::cleanse(plain);
        error = "wrong password; wallet " + id + " is still sealed and its file unchanged";
        return false;
    }
    std::string opened(plain.begin(), plain.end());
    core::cleanse(plain);
    core::Json check;
    bool valid = core::parse_json(opened, check) && check.is_object();
    wipe_json_secret(check, "mnemonic");
    wipe_json_secret(check, "priv");
    ok = valid && core::write_file_atomic(path, opened);
    core::cleanse(opened);
    if (!valid) {
        error = "the sealed content of " + id + " is not a wallet document; the file was left unchanged";
        return false;
    }
    if (!ok) {
        error = "could not write " + path;
        return false;
    }
    return true;
}

int fail(const std::string& message) { return tools::fail("wendrel", message); }

int cmd_create(const Args& a) {
    std::string id, error;
    core::SecretString words;  // the command shows the words only through show --reveal
    if (!create_wallet(a.opt("name"), id, words, error)) return fail(error);
    std::printf("%s\n", id.c_str());
    return 0;
}

int cmd_restore(const Args& a) {
    std::string id, error;
    if (!restore_wallet(a.opt("mnemonic"), a.opt("name"), id, error)) return fail(error);
    std::printf("%s\n", id.c_str());
    return 0;
}

int cmd_list(const Args& a) {
    auto rows = wallet_rows();
    if (a.has("json")) {
        core::Json out = core::Json::array();
        for (const auto& w : rows) out.push_back({{"id", w.id}, {"name", w.name}, {"active", w.active}});
        print_json(out);
        return 0;
    }
    if (rows.empty()) std::printf("no wallets yet; make one with: wendrel create\n");
    for (const auto& w : rows)
        std::printf("%s %s  %s\n", w.active ? "*" : " ", core::strip_controls(w.id).c_str(),
                    core::strip_controls(w.name).c_str());
    return 0;
}

int cmd_show(const Args& a) {
    std::string id = pick_wallet(a);
    if (id.empty()) return fail("no wallets yet; make one with: wendrel create");
    if (!wallet::is_valid_wallet_id(id) || !wallet_exists(id)) return fail("no wallet with the id \"" + id + "\"");
    WalletView v;
    core::SecretString mnemonic;
    bool reveal = a.has("reveal");
    std::string error;
    if (!read_view(id, v, reveal ? &mnemonic : nullptr, error)) return fail(error);
    reveal = reveal && v.hd;
    if (a.has("json")) {
        core::Json out = {{"id", v.id}, {"name", v.name}, {"sealed", v.sealed}};
        if (!v.sealed) {
            out["hd"] = v.hd;
            out["address"] = v.address;
            out["identity"] = v.identity;
            out["identity_key"] = v.identity_key;
            out["ordinals_address"] = v.ordinals_address;
            out["paymail"] = v.paymail;
            if (reveal) out["mnemonic"] = mnemonic.str();
        }
        std::string text = tools::json_text(out);
        if (reveal) wipe_json_secret(out, "mnemonic");
        std::cout << text << "\n";
        core::cleanse(text);
        return 0;
    }
    std::printf("id:               %s\nname:             %s\n", v.id.c_str(), core::strip_controls(v.name).c_str());
    if (v.sealed) {
        std::printf("sealed:           yes (wendrel unseal %s --password ...)\n", v.id.c_str());
        return 0;
    }
    // A legacy document's own address is the file's text; the rest is derived here.
    std::printf("receive address:  %s\n", core::strip_controls(v.address).c_str());
    std::printf("identity address: %s\n", v.identity.c_str());
    std::printf("identity key:     %s\n", v.identity_key.c_str());
    std::printf("ordinals address: %s\n", v.ordinals_address.c_str());
    std::printf("paymail:          %s\n", core::strip_controls(v.paymail).c_str());
    if (reveal) std::printf("mnemonic:         %s\n", mnemonic.data());
    return 0;
}

int cmd_seal(const Args& a) {
    std::string id = pick_wallet(a);
    if (!a.has_opt("password") || a.opt("password").empty()) return fail("seal needs --password P");
    std::string error;
    if (!seal_wallet(id, a.opt("password"), error)) return fail(error);
    std::printf("sealed %s\n", id.c_str());
    return 0;
}

int cmd_unseal(const Args& a) {
    std::string id = pick_wallet(a);
    if (!a.has_opt("password")) return fail("unseal needs --password P");
    std::string error;
    if (!unseal_wallet(id, a.opt("password"), error)) return fail(error);
    std::printf("unsealed %s\n", id.c_str());
    return 0;
}

}  // namespace wendrel
