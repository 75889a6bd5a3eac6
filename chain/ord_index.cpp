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

// One GET whose reply must be a JSON object (or an array): out is null otherwise.
bool get_json(const std::string& url, long timeout_s, bool array, core::Json& out) {
    out = nullptr;
    if (url.empty()) return false;
    const HttpResult r = wallet_get(url, timeout_s, false);
    if (r.ok && core::parse_json(r.body, out) && (array ? out.is_array() : out.is_object())) return true;
    out = nullptr;
    return false;
}

}  // namespace

bool ord_txo(const std::string& txid, std::uint32_t vout, long timeout_s, core::Json& row) {
    return get_json(ord_txo_url(txid, vout), timeout_s, false, row);
}

bool ord_token_rows(const std::string& address, long timeout_s, core::Json& rows) {
    return get_json(ord_bsv20_unspent_url(address), timeout_s, true, rows);
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
