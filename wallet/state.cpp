#include "wallet/state.h"

#include "wallet/keys.h"

namespace wallet {

void StateMutex::lock() {
    mutex_.lock();
    ++depth_;
    owner_.store(std::this_thread::get_id());
}

bool StateMutex::try_lock() {
    if (!mutex_.try_lock()) return false;
    ++depth_;
    owner_.store(std::this_thread::get_id());
    return true;
}

void StateMutex::unlock() {
    if (--depth_ == 0) owner_.store(std::thread::id());
    mutex_.unlock();
}

int StateMutex::release_all() {
    if (owner_.load() != std::this_thread::get_id()) return 0;
    int depth = depth_;
    for (int i = 0; i < depth; ++i) unlock();
    return depth;
}

void StateMutex::reacquire(int depth) {
    for (int i = 0; i < depth; ++i) lock();
}

StateMutex& wallet_mutex() {
    static StateMutex m;
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
    ++s.generation;
}

}  // namespace wallet
