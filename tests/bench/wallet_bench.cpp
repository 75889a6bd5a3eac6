// derive_path on a loaded wallet: the seed and master key are cached, so each call
// costs the five child steps.
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
    LoadedWallet() {
        char tmpl[] = "/tmp/quenvale-bench-XXXXXX";
        root = ::mkdtemp(tmpl);
        ::setenv("LOCALAPPDATA", root.c_str(), 1);
        std::string dir = root + "/Orvane/wallets/w1";
        core::make_dirs(dir);
        core::write_file(root + "/Orvane/wallets.json", R"({"wallets":[{"id":"w1"}]})");
        core::write_file(dir + "/wallet.json",
                         R"({"version":2,"recv":[0,0,0,0,0,0],"show":0,"mnemonic":"abandon abandon abandon )"
                         R"(abandon abandon abandon abandon abandon abandon abandon abandon about"})");
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

}  // namespace
