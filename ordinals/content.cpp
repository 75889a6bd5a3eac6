#include "ordinals/content.h"

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/tx.h"
#include "core/hex.h"
#include "core/text.h"
#include "core/json.h"
#include "ordinals/envelope.h"
#include "ordinals/paths.h"
#include "wallet/state.h"

namespace ordinals {

namespace {

constexpr long HOST_TIMEOUT_S = 45;
constexpr long WOC_TIMEOUT_S = 25;
constexpr std::size_t MIN_HEX_REPLY = 20;

// An ordinals host reply that is a JSON error object rather than content.
bool is_error_reply(const std::string& body) {
    return body.size() >= 7 && body[0] == '{' && body.find("\"error\"") != std::string::npos;
}

std::string strip_raw(const std::string& body) {
    std::string out;
    out.reserve(body.size());
    for (char c : body)
        if (c != '\n' && c != '\r' && c != '"' && c != ' ') out.push_back(c);
    return out;
}

bool script_from_raw_hex(const std::string& hex, std::uint32_t vout, core::Bytes& script) {
    core::Bytes raw;
    if (!core::from_hex(hex, raw)) return false;
    std::vector<chain::TxInput> inputs;
    std::vector<chain::TxOutput> outputs;
    if (!chain::parse_tx(raw, inputs, outputs) || vout >= outputs.size()) return false;
    script = outputs[vout].script;
    return true;
}

}  // namespace

std::string sniff_content_type(std::string_view b) {
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() >= 8 && at(0) == 0x89 && b[1] == 'P') return "image/png";
    if (b.size() >= 3 && at(0) == 0xFF && at(1) == 0xD8) return "image/jpeg";
    if (b.size() >= 4 && b[0] == 'R' && b[1] == 'I') return "image/webp";
    if (b.size() >= 4 && b[0] == 'G' && b[1] == 'I') return "image/gif";
    if (b.size() >= 5 && b.substr(0, 4) == "%PDF") return "application/pdf";
    return "application/octet-stream";
}

bool content_from_script(const core::Bytes& script, Content& out) {
    out = Content{};
    Inscription insc;
    if (!parse_inscription_script(script, insc) || insc.content.empty()) return false;
    out.type = insc.content_type;
    out.name = inscription_name(insc);
    out.bytes = std::move(insc.content);
    return true;
}

bool script_from_tx_json(const core::Json& tx, std::uint32_t vout, core::Bytes& script) {
    script.clear();
    if (!tx.is_object()) return false;
    auto outs = tx.find("vout");
    if (outs == tx.end() || !outs->is_array() || vout >= outs->size()) return false;
    const core::Json& o = (*outs)[vout];
    if (!o.is_object()) return false;
    auto spk = o.find("scriptPubKey");
    if (spk == o.end() || !spk->is_object()) return false;
    return core::from_hex(core::json_string(*spk, "hex"), script) && !script.empty();
}

bool fetch_chain_content(const std::string& txid, std::uint32_t vout, Content& out) {
    out = Content{};
    if (!core::is_txid(txid)) return false;
    core::Bytes script;
    chain::HttpResult r = chain::wallet_get(chain::woc_tx_url(txid), WOC_TIMEOUT_S, false);
    core::Json tx;
    if (r.ok && core::parse_json(r.body, tx) && script_from_tx_json(tx, vout, script) &&
        content_from_script(script, out))
        return true;
    r = chain::wallet_get(chain::woc_tx_hex_url(txid), WOC_TIMEOUT_S, false);
    std::string hex;
    if (r.ok && r.body.size() > MIN_HEX_REPLY) {
        hex = core::trim(r.body);
    } else {
        r = chain::wallet_get(chain::woc_tx_raw_url(txid), WOC_TIMEOUT_S, false);
        if (r.ok && r.body.size() > MIN_HEX_REPLY) hex = strip_raw(r.body);
    }
    return !hex.empty() && script_from_raw_hex(hex, vout, script) && content_from_script(script, out);
}

bool fetch_ordinals_content(const std::string& origin, Content& out) {
    out = Content{};
    std::string id = host_content_id(origin);
    if (id.empty()) return false;
    for (const std::string& url : {chain::ord_content_url(id), chain::ord_inscription_file_url(id)}) {
        if (url.empty()) continue;
        chain::HttpResult r = chain::wallet_get(url, HOST_TIMEOUT_S, false);
        if (!r.ok || r.body.empty() || is_error_reply(r.body)) continue;
        out.type = sniff_content_type(r.body);
        out.bytes = std::move(r.body);
        return true;
    }
    return false;
}

bool read_content(const std::string& origin, bool allow_network, bool ordinals_first, Content& out) {
    out = Content{};
    try {
        if (content_cache_read(origin, out)) return true;
        std::string txid;
        std::uint32_t vout = 0;
        if (!allow_network || !parse_origin(origin, txid, vout)) return false;
        Content got;
        bool ok = false;
        {
            // Never hold the wallet-state lock across the network, whoever took it.
            wallet::WalletUnlocked unlocked;
            if (ordinals_first) ok = fetch_ordinals_content(origin, got);
            if (!ok) ok = fetch_chain_content(txid, vout, got);
            if (!ok && !ordinals_first) ok = fetch_ordinals_content(origin, got);
        }
        if (!ok) return false;
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            content_cache_store(origin, got.type, got.bytes);
            if (!got.name.empty()) name_cache_store(origin, got.name);
        }
        out = std::move(got);
        return true;
    } catch (...) {
        out = Content{};
        return false;
    }
}

}  // namespace ordinals
