#include "chain/reservations.h"

#include <algorithm>

#include "core/clock.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "wallet/registry.h"

namespace chain {

namespace {

std::string safe_word(const std::string& in, bool keep_underscore, std::size_t max_len, bool replace) {
    std::string out;
    for (unsigned char c : in) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                  (keep_underscore && c == '_');
        if (ok)
            out.push_back(static_cast<char>(c));
        else if (replace)
            out.push_back('_');
    }
    if (out.size() > max_len) out.resize(max_len);
    return out;
}

bool read_json_file(const std::string& path, core::Json& out) {
    std::string text;
    return core::read_file(path, text) && core::parse_json(text, out) && out.is_object();
}

// Ids in another application's file are compared ignoring case.
void collect_utxos(const std::string& path, const char* array_key, std::set<std::string>& out) {
    core::Json j;
    if (!read_json_file(path, j) || !j.contains(array_key) || !j[array_key].is_array()) return;
    for (const auto& row : j[array_key]) {
        std::string id = core::json_string(row, "utxo");
        if (!id.empty()) out.insert(core::lower_ascii(id));
    }
}

std::set<std::string> other_app_ids(bool allow_trade_holds) {
    std::set<std::string> ids;
    const std::string dir = wallet::platform_dir();
    const std::string word = reserve_file_word();
    collect_utxos(dir + "/velmora/reserves_" + word + ".json", "reserves", ids);
    if (!allow_trade_holds) collect_utxos(dir + "/tradora/reserves_" + word + ".json", "holds", ids);
    return ids;
}

}  // namespace

std::string reserve_file_word() {
    std::string id = wallet::app_binding().wallet_id;
    std::string word = safe_word(id.empty() ? "none" : id, false, 64, true);
    return word.empty() ? "wallet" : word;
}

std::string reserve_file_path() {
    std::string dir = wallet::platform_dir() + "/gallery";
    core::make_dirs(dir);
    return dir + "/reserves_" + reserve_file_word() + ".json";
}

std::string normalise_coin_id(const std::string& id) {
    std::string out = core::lower_ascii(id);
    std::replace(out.begin(), out.end(), ':', '_');
    return out;
}

std::string coin_id(const std::string& txid, std::uint32_t vout) {
    return core::lower_ascii(txid) + "_" + std::to_string(vout);
}

std::vector<ReserveEntry> read_reserve_entries() {
    std::vector<ReserveEntry> out;
    core::Json j;
    if (!read_json_file(reserve_file_path(), j) || !j.contains("reserves") || !j["reserves"].is_array()) return out;
    for (const auto& row : j["reserves"]) {
        if (!row.is_object()) continue;
        ReserveEntry e;
        e.pic_utxo = normalise_coin_id(core::json_string(row, "pic_utxo"));
        e.cert_utxo = normalise_coin_id(core::json_string(row, "cert_utxo"));
        e.pic = core::json_string(row, "pic");
        e.cert = core::json_string(row, "cert");
        e.price_sats = core::json_int(row, "price_sats", -1);
        e.exp = core::json_int(row, "exp", 0);
        e.spot = core::json_int(row, "spot", 0);
        out.push_back(std::move(e));
    }
    return out;
}

bool write_reserve_entries(const std::vector<ReserveEntry>& entries) {
    std::string path = reserve_file_path();
    core::Json j = core::Json::object();
    if (core::file_exists(path)) {
        core::Json old;
        if (read_json_file(path, old)) j = old;  // keep members we do not own
    }
    j["reserves"] = core::Json::array();
    for (const auto& e : entries) {
        j["reserves"].push_back({{"pic_utxo", normalise_coin_id(e.pic_utxo)},
                                 {"cert_utxo", normalise_coin_id(e.cert_utxo)},
                                 {"pic", e.pic},
                                 {"cert", e.cert},
                                 {"price_sats", e.price_sats},
                                 {"exp", e.exp},
                                 {"spot", e.spot}});
    }
    return core::write_file_atomic(path, core::dump_pretty(j));
}

bool reserve_entry_live(const ReserveEntry& e, std::int64_t now) { return e.exp <= 0 || e.exp >= now; }

bool is_reserved_coin(const std::string& txid, std::uint32_t vout) {
    std::string id = coin_id(txid, vout);
    std::int64_t now = core::now_seconds();
    for (const auto& e : read_reserve_entries())
        if (reserve_entry_live(e, now) && (e.pic_utxo == id || e.cert_utxo == id)) return true;
    return false;
}

bool is_other_app_reserved(const std::string& id, bool allow_trade_holds) {
    return other_app_ids(allow_trade_holds).count(core::lower_ascii(id)) > 0;
}

std::set<std::string> reserved_coin_ids(bool allow_trade_holds) {
    std::set<std::string> ids = other_app_ids(allow_trade_holds);
    std::int64_t now = core::now_seconds();
    for (const auto& e : read_reserve_entries()) {
        if (!reserve_entry_live(e, now)) continue;
        if (!e.pic_utxo.empty()) ids.insert(e.pic_utxo);
        if (!e.cert_utxo.empty()) ids.insert(e.cert_utxo);
    }
    for (const auto& id : read_offer_locks()) ids.insert(id);
    return ids;
}

std::string offer_word() {
    std::string word = safe_word(wallet::app_binding().wallet_id, true, 1000, false);
    return word.empty() ? "none" : word;
}

std::string offer_locks_path() {
    std::string dir = wallet::platform_dir() + "/gallery";
    core::make_dirs(dir);
    return dir + "/offer_locks_" + offer_word() + ".json";
}

std::vector<std::string> read_offer_locks() {
    std::vector<std::string> out;
    core::Json j;
    if (!read_json_file(offer_locks_path(), j) || !j.contains("utxos") || !j["utxos"].is_array()) return out;
    for (const auto& v : j["utxos"])
        if (v.is_string()) out.push_back(normalise_coin_id(v.get<std::string>()));
    return out;
}

bool write_offer_locks(const std::vector<std::string>& ids) {
    std::string path = offer_locks_path();
    core::Json j = core::Json::object();
    core::Json old;
    if (core::file_exists(path) && read_json_file(path, old)) j = old;
    j["utxos"] = ids;
    return core::write_file_atomic(path, core::dump_pretty(j));
}

bool add_offer_locks(const std::vector<std::string>& ids) {
    auto locks = read_offer_locks();
    for (const auto& raw : ids) {
        std::string id = normalise_coin_id(raw);
        if (std::find(locks.begin(), locks.end(), id) == locks.end()) locks.push_back(id);
    }
    return write_offer_locks(locks);
}

bool remove_offer_locks(const std::vector<std::string>& ids) {
    auto locks = read_offer_locks();
    std::size_t before = locks.size();
    for (const auto& raw : ids) {
        std::string id = normalise_coin_id(raw);
        locks.erase(std::remove(locks.begin(), locks.end(), id), locks.end());
    }
    return locks.size() == before || write_offer_locks(locks);
}

}  // namespace chain
