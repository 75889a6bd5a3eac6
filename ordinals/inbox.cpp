#include "ordinals/inbox.h"

#include <algorithm>
#include <map>

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
// Entries one inbox file may hold, and the entries of a file that are read: other
// programs write these files, so they bound every loop over them.
constexpr std::size_t MAX_INBOX_ENTRIES = 2000;
// Files read from the inbox and history folders for the known txids.
constexpr std::size_t MAX_INBOX_FILES = 1000;
constexpr std::size_t MAX_HISTORY_FILES = 256;

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

namespace {

struct InboxEntry {
    std::string origin, type, name, icon, amt, address, token_id;
};

// Adds or updates the entry in the inbox file at path. The recipient's wallet
// application writes this file too: it is re-read, changed and replaced under the
// store lock, and no other lock is taken inside. A file that exists but does not read
// as an array is left alone.
void write_inbox_entry(const std::string& path, const InboxEntry& in) {
    if (path.empty()) return;
    wallet::StoreLockGuard store;
    core::Json entries;
    if (read_array(path, entries) == FileRead::Unreadable) return;
    auto it = std::find_if(entries.begin(), entries.end(), [&](const core::Json& e) {
        return e.is_object() && same_origin(core::json_string(e, "origin"), in.origin);
    });
    bool changed = false;
    if (it == entries.end()) {
        if (entries.size() >= MAX_INBOX_ENTRIES) return;
        core::Json e = {{"origin", in.origin}, {"type", in.type}, {"name", in.name},
                        {"icon", in.icon}, {"amt", in.amt}, {"address", in.address}};
        if (!in.token_id.empty()) e["id"] = in.token_id;
        entries.push_back(std::move(e));
        changed = true;
    } else {
        const std::pair<const char*, const std::string*> fields[] = {
            {"type", &in.type}, {"name", &in.name}, {"icon", &in.icon}, {"amt", &in.amt}, {"address", &in.address}, {"id", &in.token_id}};
        for (const auto& [key, value] : fields) {
            if (value->empty() || core::json_string(*it, key) == *value) continue;
            (*it)[key] = *value;
            changed = true;
        }
    }
    if (changed) core::write_file_atomic(path, core::dump_compact(entries));
}

}  // namespace

void inbox_deliver(const core::Bytes& recipient_hash160, const std::string& origin, const std::string& type,
                   const std::string& name, const std::string& icon, const std::string& amt,
                   const std::string& address, const std::string& content) {
    try {
        if (recipient_hash160.size() != 20 || !is_origin_text(origin)) return;
        std::string token_id = token_id_from_content(content);
        write_inbox_entry(inbox_path(core::to_hex(recipient_hash160)), {origin, type, name, icon, amt, address, token_id});
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
        // Positions by lower-cased origin, so a long inbox is not a search per entry.
        std::map<std::string, std::size_t> at;
        for (std::size_t i = 0; i < owned.size(); ++i) at.emplace(core::lower_ascii(owned[i].origin), i);
        bool changed = false;
        for (const auto& address : addresses) {
            core::Bytes h;
            if (!wallet::hash160_from_address(address, h)) continue;
            core::Json entries;
            if (read_array(inbox_path(core::to_hex(h)), entries) != FileRead::Ok) continue;
            std::size_t read = 0;
            for (const auto& e : entries) {
                if (++read > MAX_INBOX_ENTRIES) break;
                if (!e.is_object()) continue;
                std::string origin = core::lower_ascii(core::json_string(e, "origin"));
                std::string txid;
                std::uint32_t vout = 0;
                if (!parse_origin(origin, txid, vout)) continue;
                std::string type = core::json_string(e, "type"), name = core::json_string(e, "name");
                std::string icon = core::json_string(e, "icon"), amt = core::json_string(e, "amt");
                std::string where = core::json_string(e, "address"), id = core::json_string(e, "id");
                if (where.empty()) where = address;
                auto pos = at.find(origin);
                if (pos == at.end()) {
                    wallet::OwnedEntry o;
                    o.origin = origin;
                    o.txid = txid;
                    o.vout = vout;
                    o.type = type;
                    o.address = where;
                    o.name = name;
                    o.icon = icon;
                    o.amt = amt;
                    o.token_id = id;
                    at.emplace(origin, owned.size());
                    owned.push_back(std::move(o));
                    changed = true;
                } else {
                    wallet::OwnedEntry* it = &owned[pos->second];
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
                    fill(it->address, where);
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
        // The wallet's own inboxes first, then the others, up to MAX_INBOX_FILES in all.
        std::vector<std::string> inboxes;
        std::set<std::string> listed;
        auto add = [&](const std::string& path) {
            if (!path.empty() && inboxes.size() < MAX_INBOX_FILES && listed.insert(path).second) inboxes.push_back(path);
        };
        for (const auto& address : addresses) {
            core::Bytes h;
            if (wallet::hash160_from_address(address, h)) add(inbox_path(core::to_hex(h)));
        }
        std::string dir = inbox_dir();
        if (!dir.empty())
            for (const auto& f : core::list_files(dir))
                if (core::ends_with(f, ".json")) add(dir + "/" + f);
        for (const auto& path : inboxes) {
            core::Json entries;
            if (read_array(path, entries) != FileRead::Ok) continue;
            std::size_t read = 0;
            for (const auto& e : entries) {
                if (++read > MAX_INBOX_ENTRIES) break;
                if (e.is_object()) txid_of_origin(core::json_string(e, "origin"), out);
            }
        }
        std::string cache = content_cache_dir();
        if (!cache.empty())
            for (const auto& f : core::list_files(cache)) {
                auto dot = f.rfind('.');
                if (dot != std::string::npos) txid_of_origin(f.substr(0, dot), out);
            }
        std::string root = wallet::platform_dir();
        std::vector<std::string> histories = root.empty() ? std::vector<std::string>{} : core::list_files(root + "/tx_hist");
        if (histories.size() > MAX_HISTORY_FILES) histories.resize(MAX_HISTORY_FILES);
        for (const auto& f : histories) {
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
