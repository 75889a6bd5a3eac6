// Balance and plain payments, built, signed and broadcast by the gallery's own code.
#include <cstdio>
#include <cstdlib>

#include "chain/coins.h"
#include "chain/posting.h"
#include "chain/spendable.h"
#include "chain/tx.h"
#include "core/result.h"
#include "tools/wendrel/cli.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace wendrel {

bool parse_sats(const std::string& text, std::int64_t min, std::int64_t& out) {
    if (text.empty() || text.size() > 16) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = std::strtoll(text.c_str(), nullptr, 10);
    return out >= min && out <= chain::MAX_SATS;
}

// Binds this process to the chosen wallet (in memory only) and loads it.
int open_wallet(const Args& a, std::string& id) {
    id = a.has_opt("wallet") ? a.opt("wallet") : active_wallet_id();
    if (id.empty()) return fail("no wallets yet; make one with: wendrel create");
    if (!wallet::is_valid_wallet_id(id) || !wallet_exists(id)) return fail("no wallet with the id \"" + id + "\"");
    wallet::bind_wallet_in_memory("Wendrel", id);
    if (wallet::wallet_is_locked()) return fail("wallet " + id + " is sealed; unseal it first");
    if (!wallet::load_wallet()) return fail("wallet " + id + " would not load");
    return 0;
}

bool fetch_balance(const std::string& id, std::int64_t& sats, std::string& address, std::string& error) {
    if (id.empty()) {
        error = "no wallets yet; make one with: wendrel create";
        return false;
    }
    if (!wallet::is_valid_wallet_id(id) || !wallet_exists(id)) {
        error = "no wallet with the id \"" + id + "\"";
        return false;
    }
    std::vector<chain::FetchTask> tasks;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        wallet::bind_wallet_in_memory("Wendrel", id);
        if (wallet::wallet_is_locked()) {
            error = "wallet " + id + " is sealed; unseal it first";
            return false;
        }
        if (!wallet::load_wallet()) {
            error = "wallet " + id + " would not load";
            return false;
        }
        for (const auto& watched : wallet::watched_addresses()) {
            chain::FetchTask t;
            t.address = watched;
            t.mempool_filter = true;
            tasks.push_back(std::move(t));
        }
    }
    chain::refresh_coins(tasks, true, error);  // a failed fetch shows as no balance below
    error.clear();
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string detail;
    if (chain::coins_unreachable(detail)) {
        error = detail + "; the balance is unknown";
        return false;
    }
    sats = chain::wallet_balance();
    address = wallet::wallet_state().address;
    if (sats < 0) {
        error = "no balance could be established";
        return false;
    }
    chain::write_balance_file(sats, address);
    return true;
}

int cmd_balance(const Args& a) {
    std::string id = a.has_opt("wallet") ? a.opt("wallet") : active_wallet_id();
    std::int64_t sats = 0;
    std::string address, error;
    if (!fetch_balance(id, sats, address, error)) return fail(error);
    if (a.has("json")) {
        print_json({{"wallet", id}, {"address", address}, {"sats", sats}});
        return 0;
    }
    std::printf("%lld sats at %s\n", static_cast<long long>(sats), address.c_str());
    return 0;
}

int cmd_send(const Args& a) {
    std::string to = a.opt("to");
    core::Bytes hash;
    if (!wallet::hash160_from_address(to, hash)) return fail("--to needs a main-net address (1…)");
    std::int64_t sats = 0;
    if (!parse_sats(a.opt("sats"), 1, sats)) return fail("--sats needs a whole number of satoshis, 1 to 21 million BSV");
    std::string id;
    if (int rc = open_wallet(a, id)) return rc;
    std::string result;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        result = chain::pay_outputs({chain::TxOutput{sats, wallet::p2pkh_script(hash)}}, {});
    }
    bool ok = core::is_success(result);
    if (a.has("json")) {
        core::Json out = {{"ok", ok}, {"result", result}};
        if (ok) out["txid"] = result.substr(9);
        print_json(out);
    } else if (ok) {
        std::printf("%s\n", result.c_str());
    } else {
        return fail(result);
    }
    return ok ? 0 : 1;
}

}  // namespace wendrel
