#include "wallet/state.h"

#include "wallet/keys.h"

namespace wallet {

std::recursive_mutex& wallet_mutex() {
    static std::recursive_mutex m;
    return m;
}

WalletState& wallet_state() {
    static WalletState s;
    return s;
}

bool wallet_in_memory() {
    const auto& s = wallet_state();
    return !s.priv.empty() && !s.address.empty();
}

void clear_wallet_state() {
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    s.priv.clear();
    s.mnemonic.clear();
    s.seed.clear();
    s.master.reset();  // ExtKey wipes itself
    s.hd = false;
    s.backup = false;
    s.recv = {};
    s.show = 0;
    s.pub.clear();
    s.address.clear();
    s.identity_pub.clear();
    s.identity_address.clear();
    s.ordinals_address.clear();
    s.paymail.clear();
    s.avatar.clear();
    s.owned.clear();
    s.contacts.clear();
    s.scan_mark = 0;
    s.cached_balance = -1;
}

}  // namespace wallet
