// derive_path on a loaded wallet: the seed and master key are cached, so each call
// costs the five child steps. watched_addresses on a wallet with many receive
// addresses: the addresses are derived once per loaded wallet, so a call after the
// first costs no derivation.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/files.h"
#include "core/secret.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/registry.h"

namespace {

struct LoadedWallet {
    std::string root;
    explicit LoadedWallet(int receive_counter = 0) {
        char tmpl[] = "/tmp/quenvale-bench-XXXXXX";
        root = ::mkdtemp(tmpl);
        ::setenv("LOCALAPPDATA", root.c_str(), 1);
        std::string dir = root + "/Orvane/wallets/w1";
        core::make_dirs(dir);
        core::write_file(root + "/Orvane/wallets.json", R"({"wallets":[{"id":"w1"}]})");
        core::write_file(dir + "/wallet.json",
                         R"({"version":2,"recv":[0,)" + std::to_string(receive_counter) +
                             R"(,0,0,0,0],"show":0,"mnemonic":"abandon abandon abandon )"
                             R"(abandon abandon abandon abandon abandon abandon abandon abandon about"})");
        wallet::forget_wallet();  // another benchmark's wallet may still be in memory
        wallet::init_app_binding("Bench", "bench");
        wallet::load_wallet();
    }
    ~LoadedWallet() {
        wallet::forget_wallet();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

void BM_DerivePathLoadedWallet(benchmark::State& state) {
    static LoadedWallet loaded;
    std::string priv, pub, address;
    std::uint32_t i = 0;
    for (auto _ : state) {
        bool ok = wallet::derive_path(wallet::receive_path(i++ % 64), priv, pub, address);
        benchmark::DoNotOptimize(ok);
        core::cleanse(priv);
        if (!ok) state.SkipWithError("derivation failed");
    }
}
BENCHMARK(BM_DerivePathLoadedWallet);

void BM_WatchedAddressesTwoThousandReceive(benchmark::State& state) {
    static LoadedWallet loaded(2000);
    wallet::watched_addresses();  // the first call derives them
    for (auto _ : state) {
        auto watched = wallet::watched_addresses();
        if (watched.size() != 2002) state.SkipWithError("wrong watched set");
        benchmark::DoNotOptimize(watched);
    }
}
BENCHMARK(BM_WatchedAddressesTwoThousandReceive)->Unit(benchmark::kMillisecond);

}  // namespace
