#include "ordinals/watch.h"

#include <algorithm>

#include "core/crypto.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/state.h"

namespace ordinals {

std::vector<WatchAddress> ordinals_watch_addresses() {
    std::vector<WatchAddress> out;
    auto add = [&](const std::string& a, bool ordinals) {
        if (a.empty()) return;
        auto it = std::find_if(out.begin(), out.end(), [&](const WatchAddress& w) { return w.address == a; });
        if (it == out.end())
            out.push_back({a, ordinals});
        else
            it->ordinals = it->ordinals || ordinals;
    };
    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!wallet::load_wallet()) return out;
    const auto& s = wallet::wallet_state();
    add(s.identity_address, false);
    add(s.address, false);
    if (!s.hd) return out;
    std::string priv, pub, address;
    std::uint32_t last = std::min<std::uint32_t>(s.recv[5], MAX_ORDINALS_INDEX);
    for (std::uint32_t i = 0; i <= last; ++i) {
        if (wallet::derive_path(wallet::ordinals_path(i), priv, pub, address)) add(address, true);
        core::cleanse(priv);
    }
    for (std::uint32_t j = 0; j < 5; ++j) {
        if (wallet::derive_path(wallet::ordinals_chain1_path(j), priv, pub, address)) add(address, true);
        core::cleanse(priv);
    }
    return out;
}

}  // namespace ordinals
