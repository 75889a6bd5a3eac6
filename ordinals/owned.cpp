#include "ordinals/owned.h"

#include <map>

#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"
#include "ordinals/caches.h"
#include "wallet/registry.h"

namespace ordinals {

namespace {

constexpr std::uintmax_t MAX_WALLET_FILE = 8u * 1024u * 1024u;
// Other wallets' files read per seeding, and owned entries read per file: the parked
// folder and the documents are written by other programs, and every entry costs a
// name-cache read.
constexpr std::size_t MAX_SEED_FILES = 256;
constexpr std::size_t MAX_SEED_ENTRIES = 5000;

bool is_token_row(const OvWendrelOrdRow& r) {
    return !r.token_id.empty() || r.content_type.find("bsv-20") != std::string::npos;
}

// Reads the names of one wallet document's owned list; the secrets it holds are wiped
// as soon as the document is parsed.
void seed_from_file(const std::string& path) {
    std::string text;
    if (!core::read_file(path, text, MAX_WALLET_FILE)) return;
    core::Json doc;
    bool parsed = core::parse_json(text, doc);
    core::cleanse(text);
    if (!parsed || !doc.is_object()) return;
    for (const char* key : {"mnemonic", "priv"}) {
        auto it = doc.find(key);
        if (it != doc.end() && it->is_string()) core::cleanse(it->get_ref<std::string&>());
    }
    auto owned = doc.find("ord_owned");
    if (owned == doc.end() || !owned->is_array()) return;
    std::size_t read = 0;
    for (const auto& e : *owned) {
        if (++read > MAX_SEED_ENTRIES) break;
        std::string origin = core::json_string(e, "origin"), name = core::json_string(e, "name");
        if (origin.empty() || name.empty()) continue;
        if (name_cache_read(origin).empty()) name_cache_store(origin, name);
    }
}

}  // namespace

bool token_row_kept(const OvWendrelOrdRow& row) {
    if (!is_token_row(row)) return true;
    const std::string& a = row.amt;
    if (a.empty()) return false;
    // A positive decimal amount: digits with at most one point, not all zeros.
    bool digit_seen = false, nonzero = false, point = false;
    for (char c : a) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digit_seen = true;
            nonzero = nonzero || c != '0';
        } else {
            return false;
        }
    }
    return digit_seen && nonzero;
}

bool merge_owned(std::vector<wallet::OwnedEntry>& owned, std::vector<OvWendrelOrdRow>& rows) {
    bool changed = false;
    // Positions by lower-cased origin (the first entry wins, as a linear search would):
    // both lists can be long, so no search per row.
    std::map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < owned.size(); ++i) at.emplace(core::lower_ascii(owned[i].origin), i);
    std::vector<OvWendrelOrdRow> kept;
    for (auto& r : rows) {
        auto pos = at.find(r.origin);
        auto it = pos == at.end() ? owned.end() : owned.begin() + static_cast<std::ptrdiff_t>(pos->second);
        if (!token_row_kept(r)) {
            if (it != owned.end() && !it->hidden) {
                it->hidden = true;
                changed = true;
            }
            continue;
        }
        kept.push_back(r);
        if (it == owned.end()) {
            wallet::OwnedEntry e;
            e.origin = r.origin;
            e.txid = r.txid;
            e.vout = r.vout;
            e.type = r.content_type;
            e.address = r.address;
            e.name = r.name;
            e.icon = r.icon;
            e.amt = r.amt;
            e.dec = r.dec;
            e.token_id = r.token_id;
            at.emplace(r.origin, owned.size());
            owned.push_back(std::move(e));
            changed = true;
            continue;
        }
        if (it->hidden) continue;
        auto fill = [&](std::string& field, const std::string& value) {
            if (field.empty() && !value.empty()) {
                field = value;
                changed = true;
            }
        };
        auto replace = [&](std::string& field, const std::string& value) {
            if (!value.empty() && field != value) {
                field = value;
                changed = true;
            }
        };
        fill(it->type, r.content_type);
        fill(it->name, r.name);
        fill(it->icon, r.icon);
        fill(it->address, r.address);
        replace(it->amt, r.amt);
        replace(it->dec, r.dec);
        replace(it->token_id, r.token_id);
        if (it->txid != r.txid || it->vout != r.vout) {
            it->txid = r.txid;
            it->vout = r.vout;
            changed = true;
        }
    }
    rows.swap(kept);
    return changed;
}

void seed_name_cache() {
    try {
        std::string root = wallet::platform_dir();
        if (root.empty()) return;
        std::vector<std::string> paths;
        std::string bound = wallet::app_binding().wallet_id;
        for (const auto& w : wallet::list_wallets())
            if (w.id != bound && wallet::is_valid_wallet_id(w.id)) paths.push_back(wallet::wallet_json_path(w.id));
        for (const auto& f : core::list_files(root))
            if (core::starts_with(f, "orvane_wendrel.detached")) paths.push_back(root + "/" + f);
        std::string parked = root + "/parked";
        core::make_dirs(parked);
        for (const auto& f : core::list_files(parked))
            if (core::ends_with(f, ".json")) paths.push_back(parked + "/" + f);
        if (paths.size() > MAX_SEED_FILES) paths.resize(MAX_SEED_FILES);
        for (const auto& p : paths) seed_from_file(p);
    } catch (...) {
        // Names are a convenience; the list works without them.
    }
}

}  // namespace ordinals
