#include "ordinals/snapshot.h"

#include "core/files.h"
#include "core/hex.h"
#include "ordinals/paths.h"
#include "wallet/registry.h"

namespace ordinals {

namespace {

constexpr std::uintmax_t MAX_SNAPSHOT_FILE = 16u * 1024u * 1024u;
// Items read from each list of the file: another program may have written it.
constexpr std::size_t MAX_SNAPSHOT_ITEMS = 20000;

// The strings of the list under key; of a longer list, the last MAX_SNAPSHOT_ITEMS
// (lists grow at their end).
std::vector<std::string> strings_of(const core::Json& j, const char* key) {
    std::vector<std::string> out;
    auto it = j.find(key);
    if (it == j.end() || !it->is_array()) return out;
    const std::size_t skip = it->size() > MAX_SNAPSHOT_ITEMS ? it->size() - MAX_SNAPSHOT_ITEMS : 0;
    for (std::size_t i = skip; i < it->size(); ++i)
        if ((*it)[i].is_string()) out.push_back((*it)[i].get<std::string>());
    return out;
}

}  // namespace

core::Json snapshot_to_json(const Snapshot& s) {
    core::Json lots = core::Json::array();
    for (const auto& l : s.lots) {
        core::Json o = {{"origin", l.origin}, {"txid", l.txid}, {"vout", l.vout}};
        if (!l.type.empty()) o["type"] = l.type;
        if (!l.name.empty()) o["name"] = l.name;
        if (!l.icon.empty()) o["icon"] = l.icon;
        if (!l.address.empty()) o["address"] = l.address;
        lots.push_back(std::move(o));
    }
    return {{"lots", lots}, {"txids", s.txids}, {"token_ids", s.token_ids}, {"gone", s.gone}};
}

Snapshot snapshot_from_json(const core::Json& j) {
    Snapshot s;
    if (!j.is_object()) return s;
    if (auto it = j.find("lots"); it != j.end() && it->is_array()) {
        for (const auto& o : *it) {
            if (s.lots.size() >= MAX_SNAPSHOT_ITEMS) break;
            if (!o.is_object()) continue;
            SnapshotLot l;
            l.origin = core::lower_ascii(core::json_string(o, "origin"));
            l.txid = core::lower_ascii(core::json_string(o, "txid"));
            std::int64_t vout = core::json_int(o, "vout", -1);
            if (!is_origin_text(l.origin) || !core::is_txid(l.txid) || vout < 0 || vout > 0x7fffffff) continue;
            l.vout = static_cast<std::int32_t>(vout);
            l.type = core::json_string(o, "type");
            l.name = core::json_string(o, "name");
            l.icon = core::json_string(o, "icon");
            l.address = core::json_string(o, "address");
            s.lots.push_back(std::move(l));
        }
    }
    s.txids = strings_of(j, "txids");
    s.token_ids = strings_of(j, "token_ids");
    s.gone = strings_of(j, "gone");
    return s;
}

bool read_snapshot(const std::string& word, Snapshot& out) {
    out = Snapshot{};
    std::string path = snapshot_path(word);
    std::string text;
    core::Json j;
    if (path.empty() || !core::read_file(path, text, MAX_SNAPSHOT_FILE) || !core::parse_json(text, j) || !j.is_object())
        return false;
    out = snapshot_from_json(j);
    return true;
}

bool write_snapshot(const std::string& word, const Snapshot& s) {
    std::string path = snapshot_path(word);
    if (path.empty()) return false;
    // The wallet application writes this file too: re-read it under the store lock so
    // its members written since survive. No other lock is taken inside.
    wallet::StoreLockGuard store;
    core::Json doc = core::Json::object();
    if (core::file_exists(path)) {
        std::string text;
        if (!core::read_file(path, text, MAX_SNAPSHOT_FILE) || !core::parse_json(text, doc) || !doc.is_object())
            return false;
    }
    const core::Json ours = snapshot_to_json(s);
    for (auto it = ours.begin(); it != ours.end(); ++it) doc[it.key()] = it.value();
    return core::write_file_atomic(path, core::dump_compact(doc));
}

}  // namespace ordinals
