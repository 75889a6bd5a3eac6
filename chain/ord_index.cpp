#include "chain/ord_index.h"

#include "chain/endpoints.h"
#include "chain/http.h"

namespace chain {

bool ord_unspent_rows(const std::string& address, long timeout_s, core::Json& rows, std::size_t enough) {
    rows = core::Json::array();
    for (int page = 0; page < ORD_MAX_PAGES; ++page) {
        const std::string url = ord_address_unspent_url(address, static_cast<std::uint32_t>(page) * ORD_PAGE);
        if (url.empty()) return false;
        const HttpResult r = wallet_get(url, timeout_s, false);
        core::Json j;
        if (!r.ok || !core::parse_json(r.body, j) || !j.is_array()) {
            rows = core::Json::array();
            return false;
        }
        for (auto& row : j) rows.push_back(std::move(row));
        if (j.size() < ORD_PAGE || rows.size() >= enough) return true;
    }
    // More than the bound: an incomplete list could let an inscription be spent.
    rows = core::Json::array();
    return false;
}

namespace {

const core::Json* member(const core::Json& j, const char* key) {
    if (!j.is_object()) return nullptr;
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

const core::Json* object_member(const core::Json& j, const char* key) {
    const core::Json* m = member(j, key);
    return m && m->is_object() ? m : nullptr;
}

// A token amount or decimals field: the index writes either text or a number.
std::string number_text(const core::Json& j, const char* key) {
    const core::Json* m = member(j, key);
    if (!m) return "";
    if (m->is_string()) return m->get<std::string>();
    if (m->is_number_integer()) return std::to_string(m->get<std::int64_t>());
    if (m->is_number_unsigned()) return std::to_string(m->get<std::uint64_t>());
    return "";
}

OrdToken token_from(const core::Json& t) {
    OrdToken out;
    out.id = core::json_string(t, "id");
    out.tick = core::json_string(t, "tick");
    out.sym = core::json_string(t, "sym");
    out.icon = core::json_string(t, "icon");
    out.amt = number_text(t, "amt");
    out.dec = number_text(t, "dec");
    out.listing = core::json_bool(t, "listing");
    out.pending = member(t, "status") && core::json_int(t, "status", 1) == 0;
    return out;
}

OrdData data_from(const core::Json* data) {
    OrdData out;
    if (!data) return out;
    out.present = true;
    if (const core::Json* insc = object_member(*data, "insc")) {
        out.insc = true;
        if (const core::Json* file = object_member(*insc, "file")) out.file_type = core::json_string(*file, "type");
        out.insc_text = core::json_string(*insc, "text");
        if (out.insc_text.empty())
            if (const core::Json* j = object_member(*insc, "json")) out.insc_text = core::dump_compact(*j);
    }
    if (const core::Json* m = object_member(*data, "map")) {
        out.map.present = true;
        out.map.app = core::json_string(*m, "app");
        out.map.name = core::json_string(*m, "name");
        out.map.tag = core::json_string(*m, "tag");
    }
    const core::Json* token = object_member(*data, "bsv20");
    if (!token) token = object_member(*data, "bsv21");
    if (token) {
        out.token = true;
        out.token_fields = token_from(*token);
    }
    return out;
}

// One GET whose reply must be a JSON object (or an array): out is null otherwise.
bool get_json(const std::string& url, long timeout_s, bool array, core::Json& out) {
    out = nullptr;
    if (url.empty()) return false;
    const HttpResult r = wallet_get(url, timeout_s, false);
    if (r.ok && core::parse_json(r.body, out) && (array ? out.is_array() : out.is_object())) return true;
    out = nullptr;
    return false;
}

void txos_from(const core::Json& list, std::vector<OrdTxo>& out) {
    out.clear();
    for (const auto& j : list) {
        OrdTxo t;
        if (ord_txo_from_json(j, t)) out.push_back(std::move(t));
    }
}

}  // namespace

bool ord_txo_from_json(const core::Json& j, OrdTxo& out) {
    out = OrdTxo{};
    if (!j.is_object()) return false;
    out.txid = core::json_string(j, "txid");
    out.vout = core::json_int(j, "vout", -1);
    out.outpoint = core::json_string(j, "outpoint");
    if (const core::Json* s = member(j, "satoshis"); s && s->is_number_integer()) out.satoshis = s->get<std::int64_t>();
    if (const core::Json* h = member(j, "height"); h && h->is_number_integer()) out.height = h->get<std::int64_t>();
    const core::Json* origin = member(j, "origin");
    if (origin && origin->is_string())
        out.origin = origin->get<std::string>();
    else if (origin && origin->is_object())
        out.origin = core::json_string(*origin, "outpoint");
    out.owner = core::json_string(j, "owner");
    out.spend = core::json_string(j, "spend");
    out.own = data_from(object_member(j, "data"));
    out.origin_data = data_from(origin && origin->is_object() ? object_member(*origin, "data") : nullptr);
    if (member(j, "tick") || member(j, "id")) {
        out.top_token = true;
        out.top_token_fields = token_from(j);
    }
    return true;
}

bool ord_unspent_txos(const std::string& address, long timeout_s, std::vector<OrdTxo>& txos, std::size_t enough) {
    txos.clear();
    core::Json rows;
    if (!ord_unspent_rows(address, timeout_s, rows, enough)) return false;
    txos_from(rows, txos);
    return true;
}

bool ord_txo(const std::string& txid, std::uint32_t vout, long timeout_s, OrdTxo& txo) {
    core::Json j;
    txo = OrdTxo{};
    return get_json(ord_txo_url(txid, vout), timeout_s, false, j) && ord_txo_from_json(j, txo);
}

bool ord_token_txos(const std::string& address, long timeout_s, std::vector<OrdTxo>& txos) {
    core::Json j;
    txos.clear();
    if (!get_json(ord_bsv20_unspent_url(address), timeout_s, true, j)) return false;
    txos_from(j, txos);
    return true;
}

HttpResult ord_content(const std::string& outpoint, long timeout_s, std::size_t cap) {
    const std::string url = ord_content_url(outpoint);
    if (url.empty()) {
        HttpResult r;
        r.error = "not an outpoint";
        return r;
    }
    return wallet_get(url, timeout_s, false, cap);
}

}  // namespace chain
