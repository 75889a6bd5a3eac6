// Creating, restoring, listing, showing and sealing wallets.
#include <cstdio>
#include <iostream>

#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/secret.h"
#include "core/text.h"
#include "tools/wendrel/cli.h"
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
// here is refused before anything is written.
int add_wallet(core::Json& doc, const std::string& name, bool refuse_known) {
    wallet::StoreLockGuard guard;
    if (refuse_known) {
        std::string known =
            core::has_string(doc, "mnemonic") ? wallet_holding(doc["mnemonic"].get_ref<const std::string&>()) : "";
        if (!known.empty()) {
            wipe_json_secret(doc, "mnemonic");
            return fail("that mnemonic is already the wallet " + known + " (\"" + wallet::wallet_display_name(known) +
                        "\"); nothing was written");
        }
    }
    core::Json reg;
    std::string error;
    if (!wallet::load_registry(reg, error)) return fail(error);
    std::string id = wallet::new_wallet_id();
    std::string dir = wallet_dir(id);
    if (!core::make_dirs(dir)) return fail("could not create " + dir);
    std::string text = core::dump_pretty(doc);
    wipe_json_secret(doc, "mnemonic");
    bool written = core::write_file_atomic(dir + "/wallet.json", text);
    core::cleanse(text);
    if (!written) return fail("could not write the wallet file in " + dir);
    std::string label = name.empty() ? "Wallet " + std::to_string(reg["wallets"].size() + 1) : name;
    reg["wallets"].push_back({{"id", id}, {"name", label}});
    reg["active"] = id;
    if (!wallet::save_registry(reg)) {
        core::remove_file(dir + "/wallet.json");
        core::remove_file(dir);
        return fail("could not write wallets.json; no wallet was added");
    }
    std::printf("%s\n", id.c_str());
    return 0;
}

struct WalletView {
    std::string id, name, address, identity, identity_key, ordinals_address, paymail;
    bool sealed = false;
    bool hd = false;
    core::SecretString mnemonic;
};

bool read_view(const std::string& id, WalletView& v, std::string& error) {
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
        v.mnemonic.assign(doc["mnemonic"].get_ref<const std::string&>());
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
        bool ok = wallet::derive_from_mnemonic(v.mnemonic.str(), wallet::receive_path(show), priv, pub, addr);
        core::cleanse(priv);
        if (ok) v.address = addr;
        ok = ok && wallet::derive_from_mnemonic(v.mnemonic.str(), wallet::identity_path(), priv, v.identity_key,
                                                v.identity);
        core::cleanse(priv);
        ok = ok && wallet::derive_from_mnemonic(v.mnemonic.str(), wallet::ordinals_path(ord), priv, pub,
                                                v.ordinals_address);
        core::cleanse(priv);
        if (!ok) {
            error = "the mnemonic of " + id + " does not derive";
            return false;
        }
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

int fail(const std::string& message) { return tools::fail("wendrel", message); }

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

int cmd_create(const Args& a) {
    core::Bytes entropy;
    if (!core::random_bytes(16, entropy)) return fail("no randomness available");
    std::string words;
    bool ok = wallet::mnemonic_from_entropy(entropy, words);
    core::cleanse(entropy);
    if (!ok) return fail("could not make a mnemonic");
    core::Json doc;
    std::string error;
    ok = wallet::new_hd_document(words, doc, error);
    core::cleanse(words);
    if (!ok) return fail(error);
    return add_wallet(doc, a.opt("name"), false);
}

int cmd_restore(const Args& a) {
    core::Json doc;
    std::string error;
    if (!wallet::new_hd_document(a.opt("mnemonic"), doc, error)) return fail(error);
    return add_wallet(doc, a.opt("name"), true);
}

int cmd_list(const Args& a) {
    std::string active = active_wallet_id();
    auto rows = wallet::list_wallets();
    if (a.has("json")) {
        core::Json out = core::Json::array();
        for (const auto& w : rows) out.push_back({{"id", w.id}, {"name", w.name}, {"active", w.id == active}});
        print_json(out);
        return 0;
    }
    if (rows.empty()) std::printf("no wallets yet; make one with: wendrel create\n");
    for (const auto& w : rows)
        std::printf("%s %s  %s\n", w.id == active ? "*" : " ", core::strip_controls(w.id).c_str(),
                    core::strip_controls(w.name).c_str());
    return 0;
}

int cmd_show(const Args& a) {
    std::string id = pick_wallet(a);
    if (id.empty()) return fail("no wallets yet; make one with: wendrel create");
    if (!wallet::is_valid_wallet_id(id) || !wallet_exists(id)) return fail("no wallet with the id \"" + id + "\"");
    WalletView v;
    std::string error;
    if (!read_view(id, v, error)) return fail(error);
    bool reveal = a.has("reveal") && v.hd;
    if (a.has("json")) {
        core::Json out = {{"id", v.id}, {"name", v.name}, {"sealed", v.sealed}};
        if (!v.sealed) {
            out["hd"] = v.hd;
            out["address"] = v.address;
            out["identity"] = v.identity;
            out["identity_key"] = v.identity_key;
            out["ordinals_address"] = v.ordinals_address;
            out["paymail"] = v.paymail;
            if (reveal) out["mnemonic"] = v.mnemonic.str();
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
    if (reveal) std::printf("mnemonic:         %s\n", v.mnemonic.data());
    return 0;
}

int cmd_seal(const Args& a) {
    std::string id = pick_wallet(a);
    if (!a.has_opt("password") || a.opt("password").empty()) return fail("seal needs --password P");
    wallet::StoreLockGuard guard;
    std::string path, text, error;
    if (!read_wallet_file(id, path, text, error)) return fail(error);
    core::Json doc;
    bool parsed = core::parse_json(text, doc);
    if (parsed && wallet::is_sealed_document(doc)) {
        core::cleanse(text);
        return fail("wallet " + id + " is already sealed");
    }
    wipe_json_secret(doc, "mnemonic");
    wipe_json_secret(doc, "priv");
    if (!parsed || !doc.is_object()) {
        core::cleanse(text);
        return fail("the wallet file of " + id + " is not a wallet document");
    }
    core::Bytes salt, iv, key, ct, tag;
    bool ok = core::random_bytes(16, salt) && core::random_bytes(12, iv) &&
              core::pbkdf2_sha256(a.opt("password"), core::to_string(salt), SEAL_ITERATIONS, 32, key);
    core::Bytes plain(text.begin(), text.end());
    core::cleanse(text);
    ok = ok && core::aes256gcm_encrypt(key, iv, plain, ct, tag);
    core::cleanse(plain);
    core::cleanse(key);
    if (!ok) return fail("could not seal the wallet");
    core::Json sealed = {{"lock", "OV-LOCK1"}, {"kdf", "pbkdf2-sha256"}, {"iter", SEAL_ITERATIONS},
                         {"salt", core::to_hex(salt)}, {"iv", core::to_hex(iv)}, {"tag", core::to_hex(tag)},
                         {"ct", core::to_hex(ct)}};
    if (!core::write_file_atomic(path, core::dump_pretty(sealed))) return fail("could not write " + path);
    std::printf("sealed %s\n", id.c_str());
    return 0;
}

int cmd_unseal(const Args& a) {
    std::string id = pick_wallet(a);
    if (!a.has_opt("password")) return fail("unseal needs --password P");
    wallet::StoreLockGuard guard;
    std::string path, text, error;
    if (!read_wallet_file(id, path, text, error)) return fail(error);
    core::Json doc;
    if (!core::parse_json(text, doc) || !wallet::is_sealed_document(doc)) return fail("wallet " + id + " is not sealed");
    core::Bytes salt, iv, tag, ct;
    std::int64_t iter = core::json_int(doc, "iter");
    if (core::json_string(doc, "kdf") != "pbkdf2-sha256" || iter < 1 || iter > 10000000 ||
        !core::from_hex(core::json_string(doc, "salt"), salt) || !core::from_hex(core::json_string(doc, "iv"), iv) ||
        iv.size() != 12 || !core::from_hex(core::json_string(doc, "tag"), tag) || tag.size() != 16 ||
        !core::from_hex(core::json_string(doc, "ct"), ct))
        return fail("the sealed file of " + id + " is damaged; it was left unchanged");
    core::Bytes key, plain;
    bool ok = core::pbkdf2_sha256(a.opt("password"), core::to_string(salt), static_cast<std::uint32_t>(iter), 32, key) &&
              core::aes256gcm_decrypt(key, iv, ct, tag, plain);
    core::cleanse(key);
    if (!ok) {
        core::cleanse(plain);
        return fail("wrong password; wallet " + id + " is still sealed and its file unchanged");
    }
    std::string opened(plain.begin(), plain.end());
    core::cleanse(plain);
    core::Json check;
    bool valid = core::parse_json(opened, check) && check.is_object();
    wipe_json_secret(check, "mnemonic");
    wipe_json_secret(check, "priv");
    ok = valid && core::write_file_atomic(path, opened);
    core::cleanse(opened);
    if (!valid) return fail("the sealed content of " + id + " is not a wallet document; the file was left unchanged");
    if (!ok) return fail("could not write " + path);
    std::printf("unsealed %s\n", id.c_str());
    return 0;
}

}  // namespace wendrel
