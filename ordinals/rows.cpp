#include "ordinals/rows.h"

#include "core/hex.h"
#include "ordinals/credentials.h"
#include "ordinals/kinds.h"
#include "ordinals/paths.h"

namespace ordinals {

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

// "data" of the txo and "data" of its origin object, in that order (either may be null).
std::pair<const core::Json*, const core::Json*> data_objects(const core::Json& txo) {
    const core::Json* own = object_member(txo, "data");
    const core::Json* origin = object_member(txo, "origin");
    return {own, origin ? object_member(*origin, "data") : nullptr};
}

std::string file_type(const core::Json* data) {
    if (!data) return "";
    const core::Json* insc = object_member(*data, "insc");
    const core::Json* file = insc ? object_member(*insc, "file") : nullptr;
    return file ? core::json_string(*file, "type") : "";
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

const core::Json* token_data(const core::Json* data) {
    if (!data) return nullptr;
    if (const core::Json* t = object_member(*data, "bsv20")) return t;
    return object_member(*data, "bsv21");
}

bool has_inscription_data(const core::Json* data) {
    return data && (object_member(*data, "insc") || object_member(*data, "map"));
}

// The credential a data object carries: "map"."app" of the identity app, or JSON
// content of the credential protocol. cred receives the parsed content when there is one.
bool credential_of(const core::Json* data, std::string& map_name, core::Json& cred) {
    if (!data) return false;
    bool is_cred = false;
    if (const core::Json* m = object_member(*data, "map")) {
        if (core::json_string(*m, "app") == IDENTITY_APP) {
            is_cred = true;
            if (map_name.empty()) map_name = clean_name(core::json_string(*m, "name"));
        }
    }
    if (const core::Json* insc = object_member(*data, "insc")) {
        std::string text = core::json_string(*insc, "text");
        if (text.empty()) {
            const core::Json* j = member(*insc, "json");
            if (j && j->is_object()) text = core::dump_compact(*j);
        }
        core::Json parsed;
        if (parse_credential_content(text, parsed)) {
            cred = std::move(parsed);
            is_cred = true;
        }
    }
    return is_cred;
}

std::string map_name_of(const core::Json* data) {
    if (!data) return "";
    const core::Json* m = object_member(*data, "map");
    return m ? clean_name(core::json_string(*m, "name")) : "";
}

}  // namespace

std::string txo_origin(const core::Json& txo) {
    const core::Json* o = member(txo, "origin");
    if (!o) return "";
    if (o->is_string()) return o->get<std::string>();
    if (o->is_object()) return core::json_string(*o, "outpoint");
    return "";
}

std::string txo_content_type(const core::Json& txo) {
    auto [own, origin] = data_objects(txo);
    std::string t = file_type(own);
    return t.empty() ? file_type(origin) : t;
}

std::string txo_kind(const core::Json& txo, std::string& name) {
    auto [own, origin] = data_objects(txo);
    std::string type = txo_content_type(txo);
    std::string kind = own ? data_object_kind(*own, type, name) : "";
    if (kind.empty() && origin) kind = data_object_kind(*origin, type, name);
    return kind;
}

std::string row_outpoint(const OvWendrelOrdRow& row) { return row.txid + "_" + std::to_string(row.vout); }

bool row_from_txo(const core::Json& txo, const std::string& address, const std::string& identity_pub,
                  OvWendrelOrdRow& out, bool token_reply) {
    out = OvWendrelOrdRow{};
    if (!txo.is_object()) return false;
    OvWendrelOrdRow r;
    r.address = address;

    std::string txid = core::json_string(txo, "txid");
    std::int64_t vout = core::json_int(txo, "vout", -1);
    if (txid.empty()) {
        std::string op = core::json_string(txo, "outpoint");
        std::uint32_t v = 0;
        if (op.size() <= 64 || !parse_origin(op, txid, v)) return false;
        vout = v;
    }
    if (!core::is_txid(txid) || vout < 0 || vout > 0x7fffffff) return false;
    r.txid = core::lower_ascii(txid);
    r.vout = static_cast<std::int32_t>(vout);
    if (const core::Json* s = member(txo, "satoshis"); s && s->is_number_integer()) r.satoshis = s->get<std::int64_t>();
    if (const core::Json* h = member(txo, "height"); h && h->is_number_integer()) r.height = h->get<std::int64_t>();

    auto [own, origin_data] = data_objects(txo);
    const core::Json* token = token_data(own);
    if (!token) token = token_data(origin_data);
    if (!token && token_reply && (member(txo, "tick") || member(txo, "id"))) token = &txo;
    bool inscribed = has_inscription_data(own) || has_inscription_data(origin_data);
    if (!inscribed && !token) return false;

    std::string origin = txo_origin(txo);
    if (origin.empty() && token) origin = row_outpoint(r);
    if (!is_origin_text(origin)) return false;
    r.origin = core::lower_ascii(origin);
    r.content_type = txo_content_type(txo);

    std::string map_name;
    r.kind = txo_kind(txo, map_name);
    if (map_name.empty()) map_name = map_name_of(own);
    if (map_name.empty()) map_name = map_name_of(origin_data);

    core::Json cred;
    std::string cred_map_name;
    bool is_cred = credential_of(own, cred_map_name, cred);
    if (!is_cred) is_cred = credential_of(origin_data, cred_map_name, cred);
    if (is_cred) {
        r.credential = true;
        r.kind.clear();  // credentials are not gallery pieces
        if (map_name.empty()) map_name = cred_map_name;
    }
    r.name = map_name;
    if (r.name.empty() && !cred.is_null()) r.name = clean_name(credential_name(cred, identity_pub));

    if (token) {
        if (r.content_type.find("bsv-20") == std::string::npos) r.content_type = "application/bsv-20";
        r.token_id = core::json_string(*token, "id");
        if (r.token_id.empty()) r.token_id = core::json_string(*token, "tick");
        r.amt = number_text(*token, "amt");
        r.dec = number_text(*token, "dec");
        if (r.name.empty()) {
            std::string n = core::json_string(*token, "sym");
            if (n.empty()) n = core::json_string(*token, "tick");
            if (n.empty()) n = r.token_id;
            r.name = clean_name(n);
        }
        if (r.icon.empty()) r.icon = core::json_string(*token, "icon");
        r.token_listed = core::json_bool(*token, "listing");
        r.token_pending = member(*token, "status") && core::json_int(*token, "status", 1) == 0;
    }
    out = std::move(r);
    return true;
}

}  // namespace ordinals
