#include "ordinals/inbox.h"

#include <algorithm>

#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"
#include "ordinals/caches.h"
#include "ordinals/paths.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace ordinals {

namespace {

constexpr std::uintmax_t MAX_INBOX_FILE = 4u * 1024u * 1024u;
constexpr std::uintmax_t MAX_HISTORY_FILE = 16u * 1024u * 1024u;
constexpr std::size_t MAX_INBOX_ENTRIES = 2000;

enum class FileRead { Missing, Unreadable, Ok };

FileRead read_array(const std::string& path, core::Json& out) {
    out = core::Json::array();
    if (path.empty() || !core::file_exists(path)) return FileRead::Missing;
    std::string text;
    core::Json j;
    if (!core::read_file(path, text, MAX_INBOX_FILE) || !core::parse_json(text, j) || !j.is_array())
        return FileRead::Unreadable;
    out = std::move(j);
    return FileRead::Ok;
}

bool same_origin(const std::string& a, const std::string& b) { return core::lower_ascii(a) == core::lower_ascii(b); }

std::string token_id_from_content(const std::string& content) {
    core::Json j;
    if (content.empty() || content[0] != '{' || !core::parse_json(content, j) || !j.is_object()) return "";
    std::string id = core::json_string(j, "id");
    return id.empty() ? core::json_string(j, "tick") : id;
}

void txid_of_origin(const std::string& origin, std::set<std::string>& out) {
    std::string txid;
    std::uint32_t vout = 0;
    if (parse_origin(origin, txid, vout)) out.insert(txid);
}

}  // namespace

void inbox_deliver(const core::Bytes& recipient_hash160, const std::string& origin, const std::string& type,
                   const std::string& name, const std::string& icon, const std::string& amt,
                   const std::string& address, const std::string& content) {
    try {
        if (recipient_hash160.size() != 20 || !is_origin_text(origin)) return;
        std::string path = inbox_path(core::to_hex(recipient_hash160));
        std::string token_id = token_id_from_content(content);
        core::Json entries;
        if (!path.empty() && read_array(path, entries) != FileRead::Unreadable) {
            auto it = std::find_if(entries.begin(), entries.end(), [&](const core::Json& e) {
                return e.is_object() && same_origin(core::json_string(e, "origin"), origin);
            });
            bool changed = false;
            const std::pair<const char*, const std::string*> fields[] = {
                {"type", &type}, {"name", &name}, {"icon", &icon}, {"amt", &amt}, {"address", &address}, {"id", &token_id}};
            if (it == entries.end()) {
                if (entries.size() < MAX_INBOX_ENTRIES) {
                    core::Json e = {{"origin", origin}, {"type", type}, {"name", name},
                                    {"icon", icon}, {"amt", amt}, {"address", address}};
                    if (!token_id.empty()) e["id"] = token_id;
                    entries.push_back(std::move(e));
                    changed = true;
                }
            } else {
                for (const auto& [key, value] : fields) {
                    if (value->empty() || core::json_string(*it, key) == *value) continue;
                    (*it)[key] = *value;
                    changed = true;
                }
            }
            if (changed) core::write_file_atomic(path, core::dump_compact(entries));
        }
        if (!content.empty()) {
            content_cache_store(origin, type.empty() ? "application/bsv-20" : type, content);
        } else if (type.find("bsv-20") != std::string::npos) {
            core::Json doc = {{"p", "bsv-20"}, {"op", "transfer"}, {"amt", amt}};
            if (!token_id.empty()) doc[is_origin_text(token_id) ? "id" : "tick"] = token_id;
            content_cache_store(origin, type, core::dump_compact(doc));
        }
        name_cache_store(origin, name);
    } catch (...) {
        // Best effort: the recipient also learns of it from the indexers.
    }
}

bool inbox_merge(const std::vector<std::string>& addresses) {
    try {
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (!wallet::load_wallet()) return false;
        auto& owned = wallet::wallet_state().owned;
        bool changed = false;
        for (const auto& address : addresses) {
            core::Bytes h;
            if (!wallet::hash160_from_address(address, h)) continue;
            core::Json entries;
            if (read_array(inbox_path(core::to_hex(h)), entries) != FileRead::Ok) continue;
            for (const auto& e : entries) {
                if (!e.is_object()) continue;
                std::string origin = core::lower_ascii(core::json_string(e, "origin"));
                std::string txid;
                std::uint32_t vout = 0;
                if (!parse_origin(origin, txid, vout)) continue;
                std::string type = core::json_string(e, "type"), name = core::json_string(e, "name");
                std::string icon = core::json_string(e, "icon"), amt = core::json_string(e, "amt");
                std::string at = core::json_string(e, "address"), id = core::json_string(e, "id");
                if (at.empty()) at = address;
                auto it = std::find_if(owned.begin(), owned.end(),
                                       [&](const wallet::OwnedEntry& o) { return same_origin(o.origin, origin); });
                if (it == owned.end()) {
                    wallet::OwnedEntry o;
                    o.origin = origin;
                    o.txid = txid;
                    o.vout = vout;
                    o.type = type;
                    o.address = at;
                    o.name = name;
                    o.icon = icon;
                    o.amt = amt;
                    o.token_id = id;
                    owned.push_back(std::move(o));
                    changed = true;
                } else {
                    auto fill = [&](std::string& field, const std::string& value) {
                        if (field.empty() && !value.empty()) {
                            field = value;
                            changed = true;
                        }
                    };
                    auto refresh = [&](std::string& field, const std::string& value) {
                        if (!value.empty() && field != value) {
                            field = value;
                            changed = true;
                        }
                    };
                    fill(it->type, type);
                    fill(it->name, name);
                    fill(it->icon, icon);
                    fill(it->address, at);
                    refresh(it->amt, amt);
                    refresh(it->token_id, id);
                }
                if (name_cache_read(origin).empty()) name_cache_store(origin, name);
            }
        }
        if (changed) wallet::save_wallet();
        return changed;
    } catch (...) {
        return false;
    }
}

std::set<std::string> known_local_txids(const std::vector<std::string>& addresses) {
    std::set<std::string> out;
    try {
        std::vector<std::string> inboxes;
        for (const auto& address : addresses) {
            core::Bytes h;
            if (wallet::hash160_from_address(address, h)) inboxes.push_back(inbox_path(core::to_hex(h)));
        }
        std::string dir = inbox_dir();
        if (!dir.empty())
            for (const auto& f : core::list_files(dir))
                if (core::ends_with(f, ".json")) inboxes.push_back(dir + "/" + f);
        std::sort(inboxes.begin(), inboxes.end());
        inboxes.erase(std::unique(inboxes.begin(), inboxes.end()), inboxes.end());
        for (const auto& path : inboxes) {
            core::Json entries;
            if (read_array(path, entries) != FileRead::Ok) continue;
            for (const auto& e : entries)
                if (e.is_object()) txid_of_origin(core::json_string(e, "origin"), out);
        }
        std::string cache = content_cache_dir();
        if (!cache.empty())
            for (const auto& f : core::list_files(cache)) {
                auto dot = f.rfind('.');
                if (dot != std::string::npos) txid_of_origin(f.substr(0, dot), out);
            }
        std::string root = wallet::platform_dir();
        if (!root.empty())
            for (const auto& f : core::list_files(root + "/tx_hist")) {
                std::string text;
                core::Json j;
                if (!core::read_file(root + "/tx_hist/" + f, text, MAX_HISTORY_FILE) || !core::parse_json(text, j) ||
                    !j.is_object())
                    continue;
                auto rows = j.find("rows");
                if (rows == j.end() || !rows->is_array()) continue;
                for (const auto& r : *rows) {
                    std::string t = core::json_string(r, "txid");
                    if (core::is_txid(t)) out.insert(core::lower_ascii(t));
                }
            }
    } catch (...) {
        // What was gathered so far still helps the history reader.
    }
    return out;
}

}  // namespace ordinals
