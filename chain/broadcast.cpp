#include "chain/broadcast.h"

#include <thread>

#include "chain/coin_state.h"
#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/spendable.h"
#include "chain/woc.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"

namespace chain {

namespace {

const char* const NOT_TAKEN = "error: the network did not take that transaction. Nothing was sent.";
const char* const ALREADY_SPENT = "error: that coin is already spent in an unconfirmed transaction. Nothing was sent.";

bool contains_nocase(const std::string& text, const std::string& word) {
    return core::lower_ascii(text).find(core::lower_ascii(word)) != std::string::npos;
}

bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

BroadcastResult result(BroadcastStatus status, std::string text, const std::string& txid) {
    return BroadcastResult{status, std::move(text), txid};
}

bool mentions_missing_inputs(const std::string& text) {
    return contains(text, "Missing inputs") || contains(text, "missing inputs") || contains(text, "missingorspent");
}

// Where a broadcaster took the transaction: its inputs are spent from now on, whatever
// another service, not reached by it yet, says later.
BroadcastResult accepted(const std::string& txid, const std::vector<TxInput>& inputs,
                         const std::vector<TxOutput>& outputs, const std::string& computed) {
    std::string done = finish_success(txid, computed, inputs, outputs);
    return done.empty() ? result(BroadcastStatus::NotTaken, NOT_TAKEN, computed)
                        : result(BroadcastStatus::Sent, done, computed);
}

// ARC's statuses of a transaction it holds and is passing on, or that is in a block
// (one that became stale puts it back in the mempool).
bool arc_in_flight(const std::string& status) {
    for (const char* s : {"QUEUED", "RECEIVED", "STORED", "ANNOUNCED_TO_NETWORK", "REQUESTED_BY_NETWORK",
                          "SENT_TO_NETWORK", "ACCEPTED_BY_NETWORK", "SEEN_ON_NETWORK", "MINED", "MINED_IN_STALE_BLOCK"})
        if (status == s) return true;
    return false;
}

// Display text from outside is cut only after it was read whole.
constexpr std::size_t MAX_SHOWN_DETAIL = 200;

}  // namespace

std::string finish_success(const std::string& txid, const std::string& computed, const std::vector<TxInput>& inputs,
                           const std::vector<TxOutput>& outputs) {
    std::string id = core::is_txid(txid) ? core::lower_ascii(txid) : core::lower_ascii(computed);
    if (!core::is_txid(id)) return "";
    coin_state().last_success_txid = id;
    register_broadcast(inputs, outputs, id);
    return "success: " + id;
}

bool tx_known(const std::string& txid) {
    if (!core::is_txid(txid)) return false;
    HttpResult r = wallet_get(woc_tx_hex_url(txid), 25, false);
    if (r.ok && r.body.size() > 20) return true;
    r = wallet_get(woc_tx_url(txid), 25, false);
    return r.ok && contains(r.body, "txid");
}

bool tx_known_quick(const std::string& txid) {
    if (!core::is_txid(txid)) return false;
    HttpResult r = wallet_get(woc_tx_hex_url(txid), 2, false);
    return r.ok && r.body.size() > 20;
}

bool arc_conflict(const std::string& txid) {
    if (!core::is_txid(txid)) return false;
    HttpResult r = arc_get(arc_tx_status_url(txid), 12);
    return r.ok && (contains_nocase(r.body, "DOUBLE_SPEND") || contains_nocase(r.body, "SEEN_IN_ORPHAN"));
}

bool arc_broadcast(const std::string& hex, const std::string& expected, std::string& error) {
    error.clear();
    HttpResult r = arc_post_json(arc_tx_url(), core::dump_compact({{"rawTx", hex}}), 60, 2);
    if (!r.ok) {
        // A refusal's problem body is read whole: its detail may name missing inputs
        // well past what a one-line error keeps.
        core::Json j;
        if (r.status != 0 && core::parse_json(r.body, j) && j.is_object()) {
            std::string detail = core::json_string(j, "detail");
            if (detail.empty()) detail = core::json_string(j, "title");
            const std::string extra = core::json_string(j, "extraInfo");
            const std::string status = core::json_string(j, "txStatus");
            std::string text = detail;
            if (!extra.empty() && extra != detail) text += (text.empty() ? "" : ": ") + extra;
            if (status == "SEEN_IN_ORPHAN_MEMPOOL")
                text = "Missing inputs (" + status + "): " + text;
            else if (status == "DOUBLE_SPEND_ATTEMPTED")
                text = status + ": " + text;
            if (text.empty()) text = r.error;
            error = mentions_missing_inputs(text) && !mentions_missing_inputs(core::cut_utf8(text, MAX_SHOWN_DETAIL))
                        ? "Missing inputs: " + core::cut_utf8(text, MAX_SHOWN_DETAIL)
                        : core::cut_utf8(text, MAX_SHOWN_DETAIL);
        } else {
            error = r.error;
        }
        return false;
    }
    return read_arc_reply(r.body, expected, error);
}

bool read_arc_reply(const std::string& body, const std::string& expected, std::string& error) {
    error.clear();
    core::Json j;
    core::parse_json(body, j);
    std::string status = core::json_string(j, "txStatus");
    std::string extra = core::json_string(j, "extraInfo");
    // Parents ARC cannot find read as missing inputs; a spend of a spent coin as a conflict.
    if (status == "SEEN_IN_ORPHAN_MEMPOOL") {
        error = "Missing inputs (" + status + ")";
        return false;
    }
    if (status == "REJECTED" || status == "DOUBLE_SPEND_ATTEMPTED") {
        error = status + (!extra.empty() && extra != status ? ": " + core::cut_utf8(extra, MAX_SHOWN_DETAIL) : "");
        return false;
    }
    if (mentions_missing_inputs(extra)) {
        error = core::cut_utf8(extra, MAX_SHOWN_DETAIL);
        return false;
    }
    std::string txid = core::json_string(j, "txid");
    if (!core::is_txid(txid)) txid = expected;
    if (!core::is_txid(txid)) {
        error = "arc did not return a txid";
        return false;
    }
    if (arc_in_flight(status)) return true;
    error = !extra.empty() ? core::cut_utf8(extra, MAX_SHOWN_DETAIL) : !status.empty() ? status : "broadcast did not confirm";
    return false;
}

bool output_spent(const std::string& txid, std::uint32_t vout) {
    return woc_spent(txid, vout, 12) == SpentAnswer::spent;
}

BroadcastResult broadcast_tx(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                             const core::Bytes& /*change_hash*/) {
    core::Bytes raw = serialize_tx(inputs, outputs, false);
    if (raw.empty()) return result(BroadcastStatus::Failed, "error: serialize failed.", "");
    std::string txid = tx_id(raw);
    std::string hex = core::to_hex(raw);
    std::string body = core::dump_compact({{"txhex", hex}});

    HttpResult sub = submit_post_json(svc_submit_url(), body);
    if (sub.ok) {
        if (read_submit_reply(sub.body) && core::is_txid(txid)) {
            std::string done = finish_success(txid, txid, inputs, outputs);
            if (!done.empty()) return result(BroadcastStatus::Sent, done, txid);
        }
    }

    HttpResult woc = wallet_post_json(woc_tx_raw_post_url(), body, 60, 2);
    if (woc.ok) {
        std::string id = read_woc_post_reply(woc.body);
        if (core::is_txid(id)) return accepted(id, inputs, outputs, txid);
        return result(BroadcastStatus::NotTaken, NOT_TAKEN, txid);
    }
    if (contains(woc.error, "mempool-conflict") || contains(woc.error, "txn-already") ||
        contains(woc.error, "already have")) {
        bool known = tx_known_quick(txid);
        bool conflict = known && arc_conflict(txid);
        if (known && !conflict) {
            std::string done = finish_success(txid, txid, inputs, outputs);
            if (!done.empty()) return result(BroadcastStatus::Sent, done, txid);
        }
        if (known && conflict) return result(BroadcastStatus::InputSpent, ALREADY_SPENT, txid);
    }

    // ARC takes the extended format whole: it need not look up parents that are in no
    // block yet (and refuses plain hex for those).
    const core::Bytes extended = serialize_tx_extended(inputs, outputs);
    std::string arc_error;
    if (arc_broadcast(extended.empty() ? hex : core::to_hex(extended), txid, arc_error))
        return accepted(txid, inputs, outputs, txid);
    if (contains_nocase(arc_error, "DOUBLE_SPEND")) return result(BroadcastStatus::InputSpent, ALREADY_SPENT, txid);
    std::string detail = arc_error.empty() ? woc.error : arc_error;
    return result(mentions_missing_inputs(detail) ? BroadcastStatus::MissingInputs : BroadcastStatus::Failed,
                  "error: broadcast failed: " + detail, txid);
}

std::string read_woc_post_reply(const std::string& body) {
    std::string id = core::trim_right(core::trim_left(body, "\" \n"), "\" \n\r");
    if (id.size() != 64) {
        core::Json j;
        id.clear();
        if (core::parse_json(body, j)) id = j.is_string() ? j.get<std::string>() : core::json_string(j, "txid");
    }
    return core::is_txid(id) ? id : "";
}

bool read_submit_reply(const std::string& body) {
    // Only the service's own {"ok":true} counts: an empty or broken 2xx body does not show
    // that the transaction arrived, and marking its coins spent would lose them.
    core::Json j;
    return core::parse_json(body, j) && core::has_bool(j, "ok") && j["ok"].get<bool>();
}

void submit_to_platform_async(const std::string& hex) {
    std::string url = svc_submit_url();
    std::string body = core::dump_compact({{"txhex", hex}});
    try {
        std::thread([url, body] { wallet_post_json(url, body, 8, 1); }).detach();
    } catch (const std::exception&) {
        // The background submit only speeds things up; without a thread it is skipped.
    }
}

}  // namespace chain
