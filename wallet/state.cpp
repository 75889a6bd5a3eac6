#include "wallet/state.h"

#include "core/profile.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace wallet {

namespace {

struct SnapshotState {
    std::mutex mutex;  // never held across anything but a copy
    WalletSnapshot snapshot;
};

SnapshotState& snapshot_state() {
    static SnapshotState s;
    return s;
}

// Caller holds the wallet-state lock.
void publish_snapshot() {
    const WalletState& s = wallet_state();
    WalletSnapshot next;
    next.loaded = wallet_in_memory();
    if (next.loaded) {
        next.hd = s.hd;
        next.address = s.address;
        if (!s.paymail.empty()) next.paymail = s.paymail + "@" + core::profile().paymail_domain;
        next.identity = core::lower_ascii(s.hd ? s.identity_pub : s.pub);
        next.balance = s.cached_balance;
    }
    next.generation = s.generation;
    SnapshotState& st = snapshot_state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.snapshot = std::move(next);
}

}  // namespace

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
    if (depth_ == 1) publish_snapshot();
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

WalletSnapshot wallet_snapshot() {
    SnapshotState& st = snapshot_state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.snapshot;
}

bool snapshot_ready_hd() {
    SnapshotState& st = snapshot_state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.snapshot.loaded && st.snapshot.hd;
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
