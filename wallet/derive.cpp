#include "wallet/derive.h"

#include <algorithm>
#include <unordered_map>

#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/secret.h"
#include "wallet/document.h"
#include "wallet/identity.h"
#include "wallet/keys.h"
#include "wallet/paymail.h"
#include "wallet/state.h"

namespace wallet {

namespace {
constexpr std::uint32_t H = HARDENED;

bool derive_with_master(const ExtKey& master, const Path& path, std::string& priv, std::string& pub,
                        std::string& address) {
    std::vector<std::uint32_t> p(path.begin(), path.end());
    return derive_path_from_master(master, p, priv, pub, address);
}

bool ensure_master(WalletState& s) {
    if (s.master) return true;
    if (!s.hd || s.mnemonic.empty()) return false;
    core::SecretBytes seed;
    if (!bip39_seed(s.mnemonic.str(), "", seed)) return false;
    auto master = std::make_shared<ExtKey>();
    if (!master_from_seed(seed, *master)) {
        seed.clear();
        return false;
    }
    s.seed = std::move(seed);
    s.master = std::move(master);
    return true;
}

// The addresses of the wallet's own paths, derived once per loaded wallet so that
// watching, searching and spending do not derive the same keys again on every call.
// Guarded by the wallet-state lock; it holds no private key.
struct KeyBook {
    bool valid = false;
    std::uint64_t generation = 0;
    std::array<std::vector<std::string>, 6> accounts;  // m/44'/236'/a'/0/i at position i
    bool fixed_done = false;                          // identity and chain-1 keys added
    std::unordered_map<std::string, Path> paths;      // address -> the first path giving it
};

KeyBook& key_book(const WalletState& s) {
    static KeyBook book;
    if (!book.valid || book.generation != s.generation) {
        book = KeyBook{};
        book.valid = true;
        book.generation = s.generation;
    }
    return book;
}

void note_path(KeyBook& b, const Path& path) {
    std::string priv, pub, address;
    if (derive_path(path, priv, pub, address)) b.paths.emplace(address, path);
    core::cleanse(priv);
}

void extend_account(KeyBook& b, std::uint32_t account, std::uint64_t last) {
    auto& list = b.accounts[account];
    last = std::min(last, MAX_CHILD_INDEX);
    for (std::uint64_t i = list.size(); i <= last; ++i) {
        Path path;
        account_path(account, static_cast<std::uint32_t>(i), path);
        std::string priv, pub, address;
        bool ok = derive_path(path, priv, pub, address);
        core::cleanse(priv);
        list.push_back(ok ? address : std::string());
        if (ok) b.paths.emplace(address, path);
    }
}

// Every path the key search covers, up to the counters as they are now.
KeyBook& complete_book(const WalletState& s) {
    KeyBook& b = key_book(s);
    for (std::uint32_t a = 0; a <= 5; ++a) extend_account(b, a, s.recv[a]);
    if (!b.fixed_done) {
        b.fixed_done = true;
        note_path(b, identity_path());
        for (std::uint32_t j = 0; j < ORDINALS_CHAIN1_KEYS; ++j) note_path(b, ordinals_chain1_path(j));
    }
    return b;
}

// A path of the book still inside the counters: account paths above "recv"[a] (derived
// ahead by discovery) are not the wallet's yet.
bool within_counters(const WalletState& s, const Path& p) {
    std::uint32_t account = p[2] & ~H;
    bool account_form = p[3] == 0 && account <= 5;
    return !account_form || p[4] <= s.recv[account];
}
}  // namespace

Path receive_path(std::uint32_t i) { return {44 | H, 236 | H, 1 | H, 0, i}; }
Path ordinals_path(std::uint32_t i) { return {44 | H, 236 | H, 5 | H, 0, i}; }
Path ordinals_chain1_path(std::uint32_t i) { return {44 | H, 236 | H, 5 | H, 1, i}; }
Path identity_path() { return {44 | H, 236 | H, 100 | H, 0, 0}; }
Path bn_path() { return {44 | H, 236 | H, 102 | H, 0, 0}; }

bool account_path(std::uint32_t account, std::uint32_t index, Path& out) {
    if (account > 5) return false;
    out = {44 | H, 236 | H, account | H, 0, index};
    return true;
}

bool derive_path(const Path& path, std::string& priv, std::string& pub, std::string& address) {
    priv.clear();
    pub.clear();
    address.clear();
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    if (!ensure_master(s)) return false;
    return derive_with_master(*s.master, path, priv, pub, address);
}

bool derive_from_mnemonic(const std::string& mnemonic, const Path& path, std::string& priv,
                          std::string& pub, std::string& address) {
    core::SecretBytes seed;
    if (!bip39_seed(mnemonic, "", seed)) return false;
    ExtKey master;
    if (!master_from_seed(seed, master)) return false;
    return derive_with_master(master, path, priv, pub, address);
}

bool derive_wallet_keys() {
    WalletLock lock(wallet_mutex());
    auto& s = wallet_state();
    if (!s.hd) return !s.address.empty();
    if (s.show > s.recv[1]) s.show = s.recv[1];

    std::string priv, pub, address;
    if (!derive_path(receive_path(s.show), priv, pub, address)) {
        core::cleanse(priv);
        return false;
    }
    if (address != s.address) s.cached_balance = -1;
    s.priv.assign(priv);
    core::cleanse(priv);
    s.pub = pub;
    s.address = address;

    if (!derive_path(identity_path(), priv, pub, address)) {
        core::cleanse(priv);
        s.identity_pub.clear();
        s.identity_address.clear();
        return false;
    }
    core::cleanse(priv);
    s.identity_pub = pub;
    s.identity_address = address;

    if (derive_path(ordinals_path(s.recv[5]), priv, pub, address))
        s.ordinals_address = address;
    else
        s.ordinals_address.clear();
    core::cleanse(priv);
    if (!s.identity_pub.empty() && !s.ordinals_address.empty()) register_ordinals_address();
    return true;
}

bool find_key_for_address(const std::string& address, std::string& priv, std::string& pub) {
    priv.clear();
    pub.clear();
    core::Bytes h160;
    if (!hash160_from_address(address, h160)) return false;
    WalletLock lock(wallet_mutex());
    if (!load_wallet()) return false;
    auto& s = wallet_state();
    if (!s.hd) {
        if (address != s.address) return false;
        priv = s.priv.str();
        pub = s.pub;
        return true;
    }
    const KeyBook& b = complete_book(s);
    auto it = b.paths.find(address);
    if (it == b.paths.end() || !within_counters(s, it->second)) return false;
    std::string p, k, a;
    bool ok = derive_path(it->second, p, k, a) && a == address;
    if (ok) {
        priv = p;
        pub = k;
    }
    core::cleanse(p);
    return ok;
}

std::vector<std::string> receive_addresses(std::uint64_t first, std::uint64_t last) {
    std::vector<std::string> out;
    WalletLock lock(wallet_mutex());
    if (!load_wallet() || !wallet_state().hd) return out;
    last = std::min(last, MAX_CHILD_INDEX);
    if (first > last) return out;
    KeyBook& b = key_book(wallet_state());
    extend_account(b, 1, last);
    const auto& list = b.accounts[1];
    out.assign(list.begin() + static_cast<std::ptrdiff_t>(first), list.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    return out;
}

std::vector<std::string> receive_addresses() {
    WalletLock lock(wallet_mutex());
    if (!load_wallet() || !wallet_state().hd) return {};
    return receive_addresses(0, wallet_state().recv[1]);
}

std::vector<std::string> watched_addresses() {
    std::vector<std::string> out;
    WalletLock lock(wallet_mutex());
    if (!load_wallet()) return out;
    auto& s = wallet_state();
    if (s.hd) {
        for (auto& a : receive_addresses())
            if (!a.empty()) out.push_back(std::move(a));
        if (!s.identity_address.empty()) out.push_back(s.identity_address);
    } else {
        out.push_back(s.address);
    }
    std::string p, k;
    for (const auto& row : core::profile().house) {
        for (const auto& house : row.addresses) {
            if (house.empty()) continue;
            if (find_key_for_address(house, p, k)) out.push_back(house);
            core::cleanse(p);
        }
    }
    return out;
}

bool current_ordinals_hash160(core::Bytes& h160, std::string& error) {
    h160.clear();
    WalletLock lock(wallet_mutex());
    if (!load_wallet() || !wallet_state().hd) {
        error = "need an HD Wendrel wallet.";
        return false;
    }
    auto& s = wallet_state();
    std::string p, k, a;
    bool ok = derive_path(ordinals_path(s.recv[5]), p, k, a);
    core::cleanse(p);
    if (!ok) {
        error = "could not derive the ordinals address.";
        return false;
    }
    if (!hash160_from_address(a, h160)) {
        error = "ordinals address decode failed.";
        return false;
    }
    return true;
}

bool bn_key(std::string& pub, std::string& priv, std::string& address, std::string& error) {
    WalletLock lock(wallet_mutex());
    if (!load_wallet() || !wallet_state().hd) {
        error = "Wendrel HD wallet not connected";
        return false;
    }
    if (!derive_path(bn_path(), priv, pub, address) || pub.size() != 66 || priv.size() != 64) {
        core::cleanse(priv);
        pub.clear();
        address.clear();
        error = "could not derive the BN key";
        return false;
    }
    return true;
}

bool identity_sign(const std::string& message, std::string& pub_hex, std::string& signature,
                   std::string& error) {
    pub_hex.clear();
    signature.clear();
    WalletLock lock(wallet_mutex());
    if (!load_wallet() || !wallet_state().hd) {
        error = "Wendrel HD wallet not connected";
        return false;
    }
    std::string priv, pub, address;
    if (!derive_path(identity_path(), priv, pub, address) || priv.size() != 64) {
        core::cleanse(priv);
        error = "could not derive Wendrel identity key";
        return false;
    }
    bool ok = sign_plain(priv, signed_message_digest(message), signature);
    // Fall back to the plain SHA-256 of the message, which verifiers also accept.
    if (!ok) ok = sign_plain(priv, core::sha256(message), signature);
    core::cleanse(priv);
    if (!ok) {
        error = "Wendrel identity sign failed";
        return false;
    }
    pub_hex = pub;
    return true;
}

}  // namespace wallet
