#pragma once
// The platform service: oracle transaction lists, its copy of a transaction, and the
// paymail registry (identity freezes, roles, handle look-ups, claims). Every route and
// reply field of the service lives here; callers pass the GET flavour they read with
// (user agent, request gate), as for WhatsOnChain's history reads.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "chain/http.h"
#include "chain/woc.h"
#include "core/json.h"

namespace chain {

// An oracle list's page: the most ids the service answers in one reply.
inline constexpr std::uint32_t SVC_ORACLE_PAGE = 2000;

// Adds the transaction ids of one list reply (an array, or {"txids": [...]}, each a text
// or {"txid": ...}) to out: checked, lower-cased, new to seen, until out holds max_ids.
// Returns how many were added.
std::size_t svc_history_ids(const core::Json& reply, std::size_t max_ids, std::vector<std::string>& out,
                            std::set<std::string>& seen);

// An oracle's transaction list (GET /oi/oracle/{name}/txids), page after page until a
// short page, one that adds nothing, max_pages or max_ids. New ids go to out and, page by
// page, to sink. False when the first page gave no list.
bool svc_oracle_txids(const std::string& oracle, int max_pages, std::size_t max_ids, const JsonGetter& get,
                      std::vector<std::string>& out, const IdsSink& sink = {});

// The newest entries of the credential issuer's list (GET /oi/oracle/ident/txids, twelve).
bool svc_ident_txids(const JsonGetter& get, std::vector<std::string>& out);

// The service's copy of a transaction (GET /oi/tx/{txid}) as JSON. A copy whose scripts
// were cut is no copy: false, out null.
bool svc_transaction(const std::string& txid, const JsonGetter& get, core::Json& out);

// True only when the registry answered that this identity key is frozen.
bool svc_identity_frozen(const std::string& identity_key, const JsonGetter& get);

// The role the registry gives an identity key, lower-cased ("" for none). False when it
// gave no answer.
bool svc_role(const std::string& identity_key, const JsonGetter& get, std::string& role);

// A handle's identity key as the registry holds it (GET /api/bsvalias/id/{alias}@{domain}):
// the key text as answered, unchecked. 404, or an answer without a key, is unknown.
enum class AliasAnswer { found, unknown, unreachable };
AliasAnswer svc_alias_key(const std::string& alias, long timeout_s, std::string& key_text);

// Publishes a signed paymail claim (POST /api/paymail/claim).
HttpResult svc_claim_paymail(const std::string& body_json);

}  // namespace chain
