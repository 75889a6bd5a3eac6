#include "chain/svc.h"

#include "chain/chain_tx.h"
#include "chain/endpoints.h"
#include "core/hex.h"

namespace chain {

namespace {

constexpr long CLAIM_TIMEOUT_S = 25;
constexpr int CLAIM_ATTEMPTS = 4;
constexpr std::size_t IDENT_TXIDS = 12;

const core::Json* id_list(const core::Json& reply) {
    if (reply.is_array()) return &reply;
    if (reply.is_object()) {
        auto it = reply.find("txids");
        if (it != reply.end() && it->is_array()) return &*it;
    }
    return nullptr;
}

bool get_json(const JsonGetter& get, const std::string& url, core::Json& out) {
    out = nullptr;
    return !url.empty() && get && get(url, out);
}

}  // namespace

std::size_t svc_history_ids(const core::Json& reply, std::size_t max_ids, std::vector<std::string>& out,
                            std::set<std::string>& seen) {
    const core::Json* list = id_list(reply);
    if (!list) return 0;
    std::size_t added = 0;
    for (const auto& item : *list) {
        if (out.size() >= max_ids) break;
        std::string id;
        if (item.is_string())
            id = item.get<std::string>();
        else if (item.is_object())
            id = core::json_string(item, "txid");
        id = core::lower_ascii(id);
        if (core::is_txid(id) && seen.insert(id).second) {
            out.push_back(id);
            ++added;
        }
    }
    return added;
}

bool svc_oracle_txids(const std::string& oracle, int max_pages, std::size_t max_ids, const JsonGetter& get,
                      std::vector<std::string>& out, const IdsSink& sink) {
    out.clear();
    std::set<std::string> seen;
    bool answered = false;
    for (int page = 0; page < max_pages; ++page) {
        core::Json reply;
        const auto offset = static_cast<std::uint32_t>(page) * SVC_ORACLE_PAGE;
        if (!get_json(get, svc_oracle_txids_url(oracle, offset), reply) || !reply.is_object()) break;
        const core::Json* list = id_list(reply);
        if (!list) break;
        answered = true;
        const std::size_t before = out.size();
        svc_history_ids(reply, max_ids, out, seen);
        if (sink && out.size() > before)
            sink(std::vector<std::string>(out.begin() + static_cast<std::ptrdiff_t>(before), out.end()));
        if (list->size() < SVC_ORACLE_PAGE || out.size() == before) break;
    }
    return answered;
}

bool svc_ident_txids(const JsonGetter& get, std::vector<std::string>& out) {
    out.clear();
    core::Json reply;
    if (!get_json(get, svc_ident_txids_url(), reply) || !id_list(reply)) return false;
    std::set<std::string> seen;
    svc_history_ids(reply, IDENT_TXIDS, out, seen);
    return true;
}

bool svc_transaction(const std::string& txid, const JsonGetter& get, core::Json& out) {
    if (get_json(get, svc_tx_url(txid), out) && out.is_object() && !tx_json_cut(out)) return true;
    out = nullptr;
    return false;
}

bool svc_identity_frozen(const std::string& identity_key, const JsonGetter& get) {
    core::Json reply;
    return get_json(get, svc_paymail_identity_url(identity_key), reply) && core::json_bool(reply, "frozen");
}

bool svc_role(const std::string& identity_key, const JsonGetter& get, std::string& role) {
    role.clear();
    core::Json reply;
    if (!get_json(get, svc_paymail_quota_url(identity_key), reply)) return false;
    role = core::lower_ascii(core::json_string(reply, "role"));
    return true;
}

AliasAnswer svc_alias_key(const std::string& alias, long timeout_s, std::string& key_text) {
    key_text.clear();
    const std::string url = svc_bsvalias_id_url(alias);
    if (url.empty()) return AliasAnswer::unknown;
    // 404 is the registry's "no such handle"; every other refusal is no answer.
    const HttpResult reply = wallet_get(url, timeout_s, true);
    if (!reply.ok) return AliasAnswer::unreachable;
    if (reply.status == 404) return AliasAnswer::unknown;
    core::Json parsed;
    if (reply.status != 200 || !core::parse_json(reply.body, parsed)) return AliasAnswer::unreachable;
    // The registry has answered under either spelling.
    key_text = core::json_string(parsed, "pubkey");
    if (key_text.empty()) key_text = core::json_string(parsed, "publicKey");
    return key_text.empty() ? AliasAnswer::unknown : AliasAnswer::found;
}

HttpResult svc_claim_paymail(const std::string& body_json) {
    return wallet_post_json(svc_paymail_claim_url(), body_json, CLAIM_TIMEOUT_S, CLAIM_ATTEMPTS);
}

}  // namespace chain
