#include "chain/endpoints.h"

#include "core/profile.h"

namespace chain {

namespace {

const std::string_view BASE58_ALPHABET = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

// Canonical decimal of a 32-bit output index.
bool is_vout_text(std::string_view text) {
    if (text.empty() || text.size() > 10) return false;
    if (text.size() > 1 && text.front() == '0') return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v <= 0xFFFFFFFFull;
}

std::string lower_hex(std::string_view hex) {
    std::string out(hex);
    for (char& c : out)
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// root + parts, or "" when the root is not configured.
std::string join(const std::string& root, std::string_view a, std::string_view b = "", std::string_view c = "",
                 std::string_view d = "") {
    if (root.empty()) return "";
    std::string out = root;
    out.append(a).append(b).append(c).append(d);
    return out;
}

std::string woc(std::string_view a, std::string_view b = "", std::string_view c = "") {
    return join(core::profile().woc_api, a, b, c);
}

std::string woc_tx(std::string_view txid, std::string_view tail) {
    return is_txid(txid) ? woc("/tx/", txid, tail) : "";
}

std::string woc_address(std::string_view addr, std::string_view tail) {
    return is_address_text(addr) ? woc("/address/", addr, tail) : "";
}

std::string svc(std::string_view a, std::string_view b = "", std::string_view c = "", std::string_view d = "") {
    return join(core::profile().service_root, a, b, c, d);
}

std::string svc_pubkey(std::string_view prefix, std::string_view pubkey_hex) {
    return is_pubkey_hex(pubkey_hex) ? svc(prefix, lower_hex(pubkey_hex)) : "";
}

}  // namespace

bool is_address_text(std::string_view text) {
    if (text.size() < 26 || text.size() > 35) return false;
    return text.find_first_not_of(BASE58_ALPHABET) == std::string_view::npos;
}

bool is_outpoint(std::string_view text) {
    const auto sep = text.find('_');
    if (sep == std::string_view::npos) return false;
    return is_txid(text.substr(0, sep)) && is_vout_text(text.substr(sep + 1));
}

bool is_oracle_name(std::string_view text) {
    static const std::string_view NAMES[] = {"as1", "as2", "as3", "as4", "as5", "as6", "as7",
                                             "as8", "as9", "as10", "ocp", "oao", "ident"};
    for (std::string_view n : NAMES)
        if (text == n) return true;
    return false;
}

bool is_pubkey_hex(std::string_view text) { return (text.size() == 66 || text.size() == 130) && core::is_hex(text); }

std::string percent_encode(std::string_view text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(HEX[c >> 4]);
            out.push_back(HEX[c & 0x0F]);
        }
    }
    return out;
}

// --- WhatsOnChain ------------------------------------------------------------------

std::string woc_tx_hex_url(std::string_view txid) { return woc_tx(txid, "/hex"); }
std::string woc_tx_url(std::string_view txid) { return woc_tx(txid, ""); }

std::string woc_tx_spent_url(std::string_view txid, std::uint32_t vout) {
    return woc_tx(txid, "/" + std::to_string(vout) + "/spent");
}

std::string woc_address_unconfirmed_unspent_url(std::string_view addr) {
    return woc_address(addr, "/unconfirmed/unspent");
}

std::string woc_address_unspent_all_url(std::string_view addr, std::string_view page_token) {
    if (page_token.empty()) return woc_address(addr, "/unspent/all");
    return woc_address(addr, "/unspent/all?token=" + percent_encode(page_token));
}

std::string woc_address_confirmed_balance_url(std::string_view addr) {
    return woc_address(addr, "/confirmed/balance");
}

std::string woc_address_unconfirmed_balance_url(std::string_view addr) {
    return woc_address(addr, "/unconfirmed/balance");
}

std::string woc_address_unconfirmed_history_url(std::string_view addr, std::uint32_t limit,
                                                std::string_view page_token) {
    std::string tail = "/unconfirmed/history";
    if (limit > 0) tail += "?limit=" + std::to_string(limit);
    if (!page_token.empty()) tail += (limit > 0 ? "&token=" : "?token=") + percent_encode(page_token);
    return woc_address(addr, tail);
}

std::string woc_addresses_history_url(bool confirmed) {
    return woc(confirmed ? "/addresses/confirmed/history" : "/addresses/unconfirmed/history");
}

std::string woc_address_confirmed_history_url(std::string_view addr, std::string_view page_token) {
    std::string tail = "/confirmed/history?limit=100";
    if (!page_token.empty()) tail += "&token=" + percent_encode(page_token);
    return woc_address(addr, tail);
}

std::string woc_txs_url() { return woc("/txs"); }
std::string woc_txs_hex_url() { return woc("/txs/hex"); }
std::string woc_utxos_spent_url() { return woc("/utxos/spent"); }
std::string woc_tx_raw_post_url() { return woc("/tx/raw"); }

// --- 1Sat ordinals -----------------------------------------------------------------

std::string ord_address_unspent_url(std::string_view addr, std::uint32_t offset) {
    if (!is_address_text(addr)) return "";
    return join(core::profile().ord_api, "/txos/address/", addr,
                "/unspent?limit=" + std::to_string(ORD_PAGE) + "&offset=" + std::to_string(offset));
}

std::string ord_bsv20_unspent_url(std::string_view addr) {
    return is_address_text(addr) ? join(core::profile().ord_api, "/bsv20/", addr, "/unspent") : "";
}

std::string ord_bsv20_id_url(std::string_view token_id) {
    return is_outpoint(token_id) ? join(core::profile().ord_api, "/bsv20/id/", token_id) : "";
}

std::string ord_txo_url(std::string_view txid, std::uint32_t vout) {
    return is_txid(txid) ? join(core::profile().ord_api, "/txos/", txid, "_" + std::to_string(vout)) : "";
}

std::string ord_content_url(std::string_view origin) {
    return is_outpoint(origin) ? join(core::profile().ord_host, "/content/", origin) : "";
}

// --- ARC ---------------------------------------------------------------------------

std::string arc_tx_url() { return core::profile().arc_tx; }

std::string arc_tx_status_url(std::string_view txid) {
    return is_txid(txid) ? join(core::profile().arc_tx, "/", txid) : "";
}

// --- platform service --------------------------------------------------------------

std::string svc_submit_url() { return svc("/oi/submit"); }

std::string svc_oracle_txids_url(std::string_view oracle_name, std::uint32_t offset) {
    if (!is_oracle_name(oracle_name)) return "";
    return svc("/oi/oracle/", oracle_name, "/txids?limit=2000&offset=", std::to_string(offset));
}

std::string svc_ident_txids_url() { return svc("/oi/oracle/ident/txids?limit=12"); }

std::string svc_tx_url(std::string_view txid) { return is_txid(txid) ? svc("/oi/tx/", txid) : ""; }

std::string svc_paymail_quota_url(std::string_view pubkey_hex) {
    return svc_pubkey("/api/paymail/quota/", pubkey_hex);
}

std::string svc_paymail_identity_url(std::string_view pubkey_hex) {
    return svc_pubkey("/api/paymail/identity/", pubkey_hex);
}

std::string svc_paymail_labels_url(std::string_view pubkey_hex) {
    return svc_pubkey("/api/paymail/labels/", pubkey_hex);
}

std::string svc_bsvalias_id_url(std::string_view alias) {
    const std::string& domain = core::profile().paymail_domain;
    if (alias.empty() || domain.empty()) return "";
    return svc("/api/bsvalias/id/", percent_encode(alias), "@", percent_encode(domain));
}

std::string svc_paymail_claim_url() { return svc("/api/paymail/claim"); }

}  // namespace chain
