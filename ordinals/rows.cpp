#include "ordinals/rows.h"

#include "core/hex.h"
#include "ordinals/credentials.h"
#include "ordinals/kinds.h"
#include "ordinals/paths.h"

namespace ordinals {

namespace {

bool has_inscription_data(const chain::OrdData& data) { return data.insc || data.map.present; }

// The credential a data object carries: MAP "app" of the identity app, or content of
// the credential protocol. cred receives the parsed content when there is one.
bool credential_of(const chain::OrdData& data, std::string& map_name, core::Json& cred) {
    if (!data.present) return false;
    bool is_cred = false;
    if (data.map.present && data.map.app == IDENTITY_APP) {
        is_cred = true;
        if (map_name.empty()) map_name = clean_name(data.map.name);
    }
    if (data.insc) {
        core::Json parsed;
        if (parse_credential_content(data.insc_text, parsed)) {
            cred = std::move(parsed);
            is_cred = true;
        }
    }
    return is_cred;
}

std::string map_name_of(const chain::OrdData& data) { return data.map.present ? clean_name(data.map.name) : ""; }

}  // namespace

std::string txo_content_type(const chain::OrdTxo& txo) {
    return txo.own.file_type.empty() ? txo.origin_data.file_type : txo.own.file_type;
}

std::string txo_kind(const chain::OrdTxo& txo, std::string& name) {
    const std::string type = txo_content_type(txo);
    std::string kind = txo.own.present ? data_object_kind(txo.own, type, name) : "";
    if (kind.empty() && txo.origin_data.present) kind = data_object_kind(txo.origin_data, type, name);
    return kind;
}

std::string row_outpoint(const OvWendrelOrdRow& row) { return row.txid + "_" + std::to_string(row.vout); }

bool row_from_txo(const chain::OrdTxo& txo, const std::string& address, const std::string& identity_pub,
                  OvWendrelOrdRow& out, bool token_reply) {
    out = OvWendrelOrdRow{};
    OvWendrelOrdRow r;
    r.address = address;

    std::string txid = txo.txid;
    std::int64_t vout = txo.vout;
    if (txid.empty()) {
        std::uint32_t v = 0;
        if (txo.outpoint.size() <= 64 || !parse_origin(txo.outpoint, txid, v)) return false;
        vout = v;
    }
    if (!core::is_txid(txid) || vout < 0 || vout > 0x7fffffff) return false;
    r.txid = core::lower_ascii(txid);
    r.vout = static_cast<std::int32_t>(vout);
    r.satoshis = txo.satoshis;
    r.height = txo.height;

    const chain::OrdToken* token = txo.own.token ? &txo.own.token_fields : nullptr;
    if (!token && txo.origin_data.token) token = &txo.origin_data.token_fields;
    if (!token && token_reply && txo.top_token) token = &txo.top_token_fields;
    const bool inscribed = has_inscription_data(txo.own) || has_inscription_data(txo.origin_data);
    if (!inscribed && !token) return false;

    std::string origin = txo.origin;
    if (origin.empty() && token) origin = row_outpoint(r);
    if (!is_origin_text(origin)) return false;
    r.origin = core::lower_ascii(origin);
    r.content_type = txo_content_type(txo);

    std::string map_name;
    r.kind = txo_kind(txo, map_name);
    if (map_name.empty()) map_name = map_name_of(txo.own);
    if (map_name.empty()) map_name = map_name_of(txo.origin_data);

    core::Json cred;
    std::string cred_map_name;
    bool is_cred = credential_of(txo.own, cred_map_name, cred);
    if (!is_cred) is_cred = credential_of(txo.origin_data, cred_map_name, cred);
    if (is_cred) {
        r.credential = true;
        r.kind.clear();  // credentials are not gallery pieces
        if (map_name.empty()) map_name = cred_map_name;
    }
    r.name = map_name;
    if (r.name.empty() && !cred.is_null()) r.name = clean_name(credential_name(cred, identity_pub));

    if (token) {
        if (r.content_type.find("bsv-20") == std::string::npos) r.content_type = "application/bsv-20";
        r.token_id = token->id.empty() ? token->tick : token->id;
        r.amt = token->amt;
        r.dec = token->dec;
        if (r.name.empty()) {
            std::string n = token->sym;
            if (n.empty()) n = token->tick;
            if (n.empty()) n = r.token_id;
            r.name = clean_name(n);
        }
        if (r.icon.empty()) r.icon = token->icon;
        r.token_listed = token->listing;
        r.token_pending = token->pending;
    }
    out = std::move(r);
    return true;
}

}  // namespace ordinals
