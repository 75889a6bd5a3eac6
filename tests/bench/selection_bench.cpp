// Cost of coin selection over a wallet of 10 000 coins: when thousands of small coins are
// needed, when the first coin already covers the payment, and when every coin is walked
// and the wallet still falls short. The copy of the candidate list that selection
// consumes is made outside the timed region.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chain/selection.h"
#include "chain/tx.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace {

constexpr int COIN_COUNT = 10'000;

std::vector<chain::TxInput> coins(std::int64_t first_value, std::int64_t value) {
    std::vector<chain::TxInput> out(COIN_COUNT);
    for (int i = 0; i < COIN_COUNT; ++i) {
        out[i].txid = core::to_hex(core::sha256("bench coin " + std::to_string(i)));
        out[i].vout = static_cast<std::uint32_t>(i % 4);
        out[i].value = i == 0 ? first_value : value;
        out[i].height = 800'000 + i;
    }
    return out;
}

void run_selection(benchmark::State& state, const std::vector<chain::TxInput>& wallet_coins, std::int64_t amount,
                   bool expect_ok) {
    const std::vector<chain::TxOutput> outputs = {{amount, wallet::p2pkh_script(core::Bytes(20, 0x5A))}};
    const core::Bytes change(20, 0xC4);
    std::size_t chosen = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<chain::TxInput> candidates = wallet_coins;
        std::vector<chain::TxOutput> outs = outputs;
        state.ResumeTiming();
        std::int64_t fee = 0;
        std::string error;
        const bool ok = chain::select_and_balance(candidates, 0, outs, change, fee, error);
        if (ok != expect_ok) {
            state.SkipWithError(error.empty() ? "unexpected success" : error.c_str());
            break;
        }
        chosen = candidates.size();
        benchmark::DoNotOptimize(fee);
        state.PauseTiming();
        candidates.clear();  // freeing the chosen inputs is the caller's cost, not selection's
        state.ResumeTiming();
    }
    state.counters["inputs"] = static_cast<double>(chosen);
}

// 1 000-sat coins for a 5 000 000-sat payment: about 5 080 coins are needed, each adding
// 15 sats of fee.
void BM_SelectManySmallCoins(benchmark::State& state) {
    run_selection(state, coins(1'000, 1'000), 5'000'000, true);
}
BENCHMARK(BM_SelectManySmallCoins)->Unit(benchmark::kMicrosecond);

void BM_SelectFirstCoinSuffices(benchmark::State& state) {
    run_selection(state, coins(10'000'000, 1'000), 200, true);
}
BENCHMARK(BM_SelectFirstCoinSuffices)->Unit(benchmark::kMicrosecond);

// Every coin is taken and the total still falls short.
void BM_SelectAllCoinsInsufficient(benchmark::State& state) {
    run_selection(state, coins(1'000, 1'000), 20'000'000, false);
}
BENCHMARK(BM_SelectAllCoinsInsufficient)->Unit(benchmark::kMicrosecond);

}  // namespace
