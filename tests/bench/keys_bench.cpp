// Cost of one wallet key derivation from the cached master key: five BIP32 steps plus
// the public key and address of the result.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/secret.h"
#include "wallet/keys.h"

namespace {

void BM_DerivePathFromMaster(benchmark::State& state) {
    core::SecretBytes seed;
    wallet::ExtKey master;
    if (!wallet::bip39_seed("abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon "
                            "abandon about",
                            "", seed) ||
        !wallet::master_from_seed(seed, master)) {
        state.SkipWithError("could not build the master key");
        return;
    }
    const std::uint32_t H = wallet::HARDENED;
    std::vector<std::uint32_t> path{44 | H, 236 | H, 1 | H, 0, 0};
    std::string priv, pub, address;
    std::uint32_t i = 0;
    for (auto _ : state) {
        path[4] = i++ & 0x7fffffff;  // a new receive index each time, as the key search does
        bool ok = wallet::derive_path_from_master(master, path, priv, pub, address);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(address.data());
    }
    core::cleanse(priv);
}
BENCHMARK(BM_DerivePathFromMaster);

}  // namespace
