// Test helper: writes one kind of file of the platform folder through the program's own
// writer, in a loop until it is killed, so a test can kill it at random moments
// mid-write. Each round writes content that names its round number, so the test can
// tell the old content from the new one.
//
//   survival_writer KIND START     rounds START+1, START+2, ... of one file kind; one
//                                  byte to standard output after each finished round
//   survival_writer together TAG COUNT
//                                  COUNT updates of its own counter in the registry and
//                                  COUNT of its own reserve entry's counter, each under
//                                  the store lock; exits 0 when all are written
//
// Kinds: wallet, registry, spent, change, reserve, locks, content, window. The platform
// folder comes from LOCALAPPDATA and must hold the wallet w1.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "chain/coin_state.h"
#include "chain/reservations.h"
#include "ordinals/caches.h"
#include "shell/view_settings.h"
#include "tests/helpers/survival_kinds.h"
#include "wallet/document.h"
#include "wallet/derive.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using namespace survival;

namespace {

int fail(const std::string& what) {
    std::fprintf(stderr, "survival_writer: %s\n", what.c_str());
    return 1;
}

// One round of one kind; false with the reason in error.
bool write_round(const std::string& kind, unsigned long n, std::string& error) {
    if (kind == "wallet") {
        wallet::WalletLock lock(wallet::wallet_mutex());
        wallet::wallet_state().avatar = avatar_of(n);
        return wallet::save_wallet(error);
    }
    if (kind == "registry") {
        std::string result = wallet::rename_wallet(WALLET_ID, name_of(n));
        if (result.rfind("success", 0) == 0) return true;
        error = result;
        return false;
    }
    if (kind == "spent") {
        wallet::WalletLock lock(wallet::wallet_mutex());
        chain::mark_spent(SPENT_TXID, static_cast<std::uint32_t>(n));  // saves the journal
        return true;
    }
    if (kind == "change") {
        wallet::WalletLock lock(wallet::wallet_mutex());
        chain::sync_coin_state();
        chain::ChangeCoin c;
        c.coin = {CHANGE_TXID, static_cast<std::uint32_t>(n), change_sats_of(n), 0};
        std::string address = wallet::wallet_state().address;
        if (!wallet::find_key_for_address(address, c.private_key, c.public_key) ||
            !wallet::hash160_from_address(address, c.key_hash)) {
            error = "no key for the wallet's address";
            return false;
        }
        chain::coin_state().change.push_back(std::move(c));
        chain::save_change_journal();
        return true;
    }
    if (kind == "reserve") {
        return chain::update_reserve_entries(
            [n](std::vector<chain::ReserveEntry>& entries) {
                entries.push_back(reserve_entry_of("k", n));
                return true;
            },
            error);
    }
    if (kind == "locks") return chain::add_offer_locks({lock_id_of(n)}, error);
    if (kind == "content") {
        ordinals::content_cache_store(content_origin_of(n), content_type_of(n), content_of(n));
        return true;
    }
    if (kind == "window") return shell::write_window(window_folder(), window_of(n), error);
    error = "unknown kind " + kind;
    return false;
}

// Both shared files, COUNT times each: the registry member and the reserve entry named
// after TAG count up by one per update. Each read-modify-write runs under the store lock,
// so an update of the other process is never written over.
int together(const std::string& tag, unsigned long count) {
    const std::string member = "count_" + tag;
    for (unsigned long n = 1; n <= count; ++n) {
        {
            wallet::StoreLockGuard store;
            if (!store.held) return fail("the store lock was not taken");
            core::Json reg;
            std::string error;
            if (!wallet::load_registry(reg, error)) return fail(error);
            reg[member] = core::json_int(reg, member, 0) + 1;
            if (!wallet::save_registry(reg)) return fail("the registry was not written");
        }
        std::string error;
        bool ok = chain::update_reserve_entries(
            [&](std::vector<chain::ReserveEntry>& entries) {
                for (auto& e : entries) {
                    if (e.pic != tag) continue;
                    ++e.spot;
                    return true;
                }
                chain::ReserveEntry e = reserve_entry_of(tag, 1);
                e.pic = tag;
                entries.push_back(e);
                return true;
            },
            error);
        if (!ok) return fail(error);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "together") {
        wallet::bind_wallet_in_memory("survival", WALLET_ID);
        return together(argv[2], std::strtoul(argv[3], nullptr, 10));
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: survival_writer KIND START | together TAG COUNT\n");
        return 2;
    }
    const std::string kind = argv[1];
    const unsigned long start = std::strtoul(argv[2], nullptr, 10);
    wallet::bind_wallet_in_memory("survival", WALLET_ID);
    if (!wallet::load_wallet()) return fail("the wallet would not load");
    for (unsigned long n = start + 1;; ++n) {
        std::string error;
        if (!write_round(kind, n, error)) return fail(kind + ": " + error);
        if (::write(1, "r", 1) != 1) return 1;
    }
}
