#include "ordinals/issued.h"

#include <algorithm>
#include <mutex>

#include "chain/http.h"
#include "chain/svc.h"
#include "chain/woc.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ordinals/content.h"
#include "ordinals/credentials.h"
#include "ordinals/envelope.h"
#include "ordinals/kinds.h"
#include "ordinals/pool.h"
#include "wallet/keys.h"

namespace ordinals {

namespace {

constexpr long ISSUER_TIMEOUT_S = 12;
constexpr std::size_t TXIDS_PER_SOURCE = 12;
constexpr std::size_t FETCH_THREADS = 4;

bool issuer_get(const std::string& url, core::Json& reply) {
    const chain::HttpResult r = chain::wallet_get(url, ISSUER_TIMEOUT_S, false);
    return r.ok && core::parse_json(r.body, reply);
}

}  // namespace

std::vector<IssuedCredential> credentials_in_tx(const core::Json& tx, const std::string& txid,
                                                const std::vector<std::string>& addresses,
                                                const std::string& identity_pub) {
    std::vector<IssuedCredential> out;
    if (!tx.is_object() || !core::is_txid(txid)) return out;
    auto outs = tx.find("vout");
    if (outs == tx.end() || !outs->is_array()) return out;
    for (std::size_t n = 0; n < outs->size() && n <= 0x7fffffff; ++n) {
        core::Bytes script;
        Inscription insc;
        if (!script_from_tx_json(tx, static_cast<std::uint32_t>(n), script) || !parse_inscription_script(script, insc))
            continue;
        std::string owner = wallet::address_from_hash160(insc.owner_hash);
        if (std::find(addresses.begin(), addresses.end(), owner) == addresses.end()) continue;
        core::Json cred;
        if (!parse_credential_content(insc.content, cred)) continue;
        IssuedCredential c;
        c.row.txid = core::lower_ascii(txid);
        c.row.vout = static_cast<std::int32_t>(n);
        c.row.origin = c.row.txid + "_" + std::to_string(n);
        c.row.content_type = "application/json";
        c.row.address = owner;
        auto map_name = insc.map.find("name");
        if (map_name != insc.map.end()) c.row.name = clean_name(map_name->second);
        if (c.row.name.empty()) c.row.name = clean_name(credential_name(cred, identity_pub));
        c.row.credential = true;
        c.content = std::move(insc.content);
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<IssuedCredential> issued_credentials(const std::vector<std::string>& addresses,
                                                 const std::string& identity_pub) {
    std::vector<IssuedCredential> out;
    std::vector<std::string> txids;
    const std::string& issuer = core::profile().credential_issuer_address;
    chain::woc_address_history(
        false, issuer, 1, TXIDS_PER_SOURCE,
        issuer_get,
        txids);
    std::vector<std::string> listed;
    chain::svc_ident_txids(
        issuer_get,
        listed);
    for (auto& t : listed)
        if (std::find(txids.begin(), txids.end(), t) == txids.end()) txids.push_back(std::move(t));
    std::mutex m;
    run_pool(txids.size(), FETCH_THREADS, [&](std::size_t i) {
        core::Json tx;
        if (!fetch_tx_json(txids[i], tx)) return;
        auto found = credentials_in_tx(tx, txids[i], addresses, identity_pub);
        std::lock_guard<std::mutex> lock(m);
        for (auto& c : found) out.push_back(std::move(c));
    });
    // Threads finish in any order; keep the result stable for the caller.
    std::sort(out.begin(), out.end(),
              [](const IssuedCredential& a, const IssuedCredential& b) { return a.row.origin < b.row.origin; });
    return out;
}

}  // namespace ordinals
