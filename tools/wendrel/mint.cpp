// The paymail alias of a wallet, and minting an artwork: the picture and its
// certificate inscribed to the wallet's ordinals address, bound by a signed pair record.
#include <cstdio>

#include "chain/posting.h"
#include "chain/tx.h"
#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/result.h"
#include "core/text.h"
#include "ledger/records.h"
#include "ordinals/content.h"
#include "ordinals/envelope.h"
#include "tools/wendrel/cli.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/keys.h"
#include "wallet/paymail.h"
#include "wallet/state.h"

namespace wendrel {

namespace {

constexpr std::size_t MAX_PICTURE_BYTES = 10 * 1024 * 1024;  // what the content cache keeps
const char* const MAP_APP = "ZuvAdudurero";

void push(core::Bytes& script, const std::string& data) { chain::push_data(script, core::to_bytes(data)); }

// Envelope, then the owner's P2PKH lock, then MAP metadata: the layout the indexers read.
core::Bytes inscription_script(const core::Bytes& owner_hash, const std::string& type, const std::string& content,
                               const std::string& name) {
    core::Bytes s = {0x00, 0x63};
    push(s, "ord");
    s.push_back(0x51);
    push(s, type);
    s.push_back(0x00);
    push(s, content);
    s.push_back(0x68);
    core::Bytes lock = wallet::p2pkh_script(owner_hash);
    s.insert(s.end(), lock.begin(), lock.end());
    s.push_back(0x6a);
    push(s, ordinals::MAP_PREFIX);
    push(s, "SET");
    for (const auto& [k, v] : {std::pair<std::string, std::string>{"app", MAP_APP}, {"type", "ord"}, {"name", name}}) {
        push(s, k);
        push(s, v);
    }
    return s;
}

// One inscription in its own transaction, 1 sat at output 0; gives the origin.
bool inscribe(const core::Bytes& owner_hash, const std::string& type, const std::string& content,
              const std::string& name, std::string& origin, std::string& error) {
    std::string result;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        result = chain::pay_outputs({chain::TxOutput{1, inscription_script(owner_hash, type, content, name)}}, {});
    }
    if (!core::is_success(result)) {
        error = result;
        return false;
    }
    origin = result.substr(9) + "_0";
    return true;
}

}  // namespace

int cmd_paymail(const Args& a) {
    // The registry form drops what is not in the alphabet; an alias that would lose
    // anything but its case that way is refused rather than claimed as something else.
    const std::string typed = wallet::trim_alias(a.positional[0]);
    const std::string alias = wallet::registry_alias(typed);
    if (alias.empty() || alias != core::lower_ascii(typed))
        return fail("\"" + a.positional[0] + "\" is not a paymail alias: use only letters, digits, \"_\", \"-\" and \".\"");
    std::string id;
    if (int rc = open_wallet(a, id)) return rc;
    std::string key, address, avatar, ord;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        if (!s.hd) return fail("need an HD wallet");
        key = s.identity_pub;
        address = s.address;
        avatar = s.avatar;
        ord = s.ordinals_address;
    }
    std::string error = wallet::register_alias(alias, key, address);
    if (!error.empty()) return fail(error);
    error = wallet::publish_paymail(alias, key, address, avatar, ord);
    if (!error.empty()) return fail("the platform did not take the alias: " + error);
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        wallet::wallet_state().paymail = alias;
        if (!wallet::save_wallet()) return fail("could not write the wallet file");
    }
    wallet::rename_wallet(id, alias);
    std::printf("success: %s@%s\n", alias.c_str(), core::profile().paymail_domain.c_str());
    return 0;
}

int cmd_mint(const Args& a) {
    const std::string title = a.opt("title");
    if (core::trim(title).empty()) return fail("the title of an artwork cannot be blank");
    std::string picture;
    if (!core::read_file(a.opt("image"), picture, MAX_PICTURE_BYTES) || picture.empty())
        return fail("cannot read the picture " + a.opt("image") + " (at most 10 MiB)");
    std::string type = ordinals::sniff_content_type(picture);
    if (type.rfind("image/", 0) != 0) return fail("that file is not a picture (PNG, JPEG, GIF or WebP)");
    std::string id;
    if (int rc = open_wallet(a, id)) return rc;
    core::Bytes ord_hash;
    std::string error, alias, identity;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (!wallet::current_ordinals_hash160(ord_hash, error)) return fail(error);
        alias = wallet::trim_alias(wallet::wallet_state().paymail);
        identity = core::lower_ascii(wallet::wallet_state().identity_pub);
    }
    if (alias.empty()) return fail("the wallet has no paymail yet; run: wendrel paymail ALIAS");

    std::string pic;
    if (!inscribe(ord_hash, type, picture, title, pic, error)) return fail("inscribing the picture failed: " + error);
    const std::string sha = core::to_hex(core::sha256(picture));
    core::Json cert_json = {{"pic", pic.substr(0, 64)},     {"sha256", sha},
                            {"title", title},               {"artist_name", a.opt("artist")},
                            {"created", a.opt("created")}, {"note", a.opt("note")},
                            {"owner_paymail", alias + "@" + core::profile().paymail_domain}};
    std::string cert;
    if (!inscribe(ord_hash, "application/json", core::dump_compact(cert_json), title + " (certificate)", cert, error))
        return fail("inscribing the certificate failed: " + error + " (the picture is " + pic + ")");

    core::Json pair = {{"protocol", "OV-Art"}, {"type", "art_pair"},   {"location", "art"},
                       {"handle", alias},      {"pic", pic.substr(0, 64)}, {"cert", cert.substr(0, 64)},
                       {"sha256", sha},        {"owner", identity}};
    const auto& p = core::profile();
    std::string posted = ledger::post_record(pair, p.ocp_address, p.oao_address, 1);
    if (!core::is_success(posted))
        return fail("posting the pair failed: " + posted + " (picture " + pic + ", certificate " + cert + ")");
    if (a.has("json")) {
        print_json({{"pic", pic}, {"cert", cert}, {"pair_txid", posted.substr(9)}, {"sha256", sha}});
    } else {
        std::printf("picture:     %s\ncertificate: %s\npair:        %s\n", pic.c_str(), cert.c_str(), posted.substr(9).c_str());
    }
    return 0;
}

}  // namespace wendrel
