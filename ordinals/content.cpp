#include "ordinals/content.h"

#include "chain/http.h"
#include "chain/ord_index.h"
#include "chain/transactions.h"
#include "chain/tx.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"
#include "ordinals/envelope.h"
#include "ordinals/paths.h"
#include "wallet/state.h"

namespace ordinals {

namespace {

constexpr long HOST_TIMEOUT_S = 45;
constexpr long WOC_TIMEOUT_S = 25;
// A transaction whose inscription is at the content limit, with room for its other
// inputs and outputs.
constexpr std::size_t MAX_TX_BYTES = MAX_CONTENT_BYTES + 512 * 1024;

const char* const NOT_AN_ORIGIN = "not an inscription origin";
const char* const NOT_CACHED = "content not cached";
const char* const NOT_AT_HOST = "the ordinals host has no content for it";
const char* const NOT_ON_CHAIN = "no inscription found in the transaction";

// An ordinals host reply that is a JSON error object rather than content.
bool is_error_reply(const std::string& body) {
    return body.size() >= 7 && body[0] == '{' && body.find("\"error\"") != std::string::npos;
}

bool script_of(const core::Bytes& raw, std::uint32_t vout, core::Bytes& script) {
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
    // A cut script is no script: the raw transaction holds the whole of it.
    if (chain::tx_json_cut(tx)) return false;
    return core::from_hex(core::json_string(*spk, "hex"), script) && !script.empty();
}

bool fetch_chain_content(const std::string& txid, std::uint32_t vout, Content& out, std::string& error) {
    out = Content{};
    error.clear();
    if (!core::is_txid(txid)) {
        error = NOT_AN_ORIGIN;
        return false;
    }
    // A transaction within the reply caps can still carry an inscription past the
    // content limit: it is not taken.
    auto take = [&](const core::Bytes& script) {
        Content c;
        if (!content_from_script(script, c)) return false;
        if (c.bytes.size() > MAX_CONTENT_BYTES) {
            error = CONTENT_TOO_LARGE;
            return false;
        }
        out = std::move(c);
        return true;
    };
    // The raw transaction, never its JSON: the service cuts long scripts there.
    chain::ChainTx tx;
    core::Bytes script;
    switch (chain::read_transaction(txid, WOC_TIMEOUT_S, MAX_TX_BYTES, tx)) {
    case chain::TxRead::found:
        if (script_of(tx.raw, vout, script) && take(script)) return true;
        break;
    case chain::TxRead::too_large: error = CONTENT_TOO_LARGE; return false;
    case chain::TxRead::missed: break;
    }
    if (error.empty()) error = NOT_ON_CHAIN;
    return false;
}

bool fetch_ordinals_content(const std::string& origin, Content& out, std::string& error) {
    out = Content{};
    error.clear();
    std::string id = host_content_id(origin);
    if (id.empty()) {
        error = NOT_AN_ORIGIN;
        return false;
    }
    chain::HttpResult r = chain::ord_content(id, HOST_TIMEOUT_S, MAX_CONTENT_BYTES);
    if (!r.ok && r.error == chain::REPLY_TOO_LARGE) {
        error = CONTENT_TOO_LARGE;
        return false;
    }
    if (r.ok && !r.body.empty() && !is_error_reply(r.body)) {
        out.type = sniff_content_type(r.body);
        out.bytes = std::move(r.body);
        return true;
    }
    error = NOT_AT_HOST;
    return false;
}

bool read_content(const std::string& origin, bool allow_network, bool ordinals_first, Content& out,
                  std::string& error) {
    out = Content{};
    error.clear();
    try {
        if (content_cache_read(origin, out)) return true;
        std::string txid;
        std::uint32_t vout = 0;
        if (!parse_origin(origin, txid, vout)) {
            error = NOT_AN_ORIGIN;
            return false;
        }
        if (!allow_network) {
            error = NOT_CACHED;
            return false;
        }
        Content got;
        bool ok = false;
        {
            // Never hold the wallet-state lock across the network, whoever took it.
            wallet::WalletUnlocked unlocked;
            // Every source serves the same inscription: once one finds it too large,
            // the others are not asked to send it again.
            auto next = [&](bool chain_source) {
                if (ok || error == CONTENT_TOO_LARGE) return;
                ok = chain_source ? fetch_chain_content(txid, vout, got, error) : fetch_ordinals_content(origin, got, error);
            };
            if (ordinals_first) next(false);
            next(true);
            if (!ordinals_first) next(false);
        }
        if (!ok) return false;
        error.clear();
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            content_cache_store(origin, got.type, got.bytes);
            if (!got.name.empty()) name_cache_store(origin, got.name);
        }
        out = std::move(got);
        return true;
    } catch (...) {
        out = Content{};
        error = "content could not be read";
        return false;
    }
}

}  // namespace ordinals
