#include "chain/selection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chain/tx.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace {

using chain::TxInput;
using chain::TxOutput;
using core::Bytes;

const Bytes CHANGE_HASH(20, 0xC4);
const Bytes PAY_HASH(20, 0x5A);

std::string txid_of(int seed) { return core::to_hex(core::sha256("coin " + std::to_string(seed))); }

TxInput coin(int seed, std::int64_t value, std::int32_t height = 800'000) {
    TxInput in;
    in.txid = txid_of(seed);
    in.vout = static_cast<std::uint32_t>(seed % 3);
    in.value = value;
    in.height = height;
    return in;
}

TxOutput pay(std::int64_t value) { return {value, wallet::p2pkh_script(PAY_HASH)}; }

struct Result {
    bool ok = false;
    std::int64_t fee = -1;
    std::string error;
    std::vector<TxInput> inputs;
    std::vector<TxOutput> outputs;
};

Result run(std::vector<TxInput> candidates, std::vector<TxOutput> outputs, std::size_t forced = 0,
           const Bytes& change_hash = CHANGE_HASH) {
    Result r;
    r.ok = chain::select_and_balance(candidates, forced, outputs, change_hash, r.fee, r.error);
    r.inputs = std::move(candidates);
    r.outputs = std::move(outputs);
    return r;
}

std::int64_t sum_in(const std::vector<TxInput>& v) {
    std::int64_t s = 0;
    for (const auto& i : v) s += i.value;
    return s;
}
std::int64_t sum_out(const std::vector<TxOutput>& v) {
    std::int64_t s = 0;
    for (const auto& o : v) s += o.value;
    return s;
}

// What every successful selection must satisfy: nothing is created or lost, and the fee
// paid covers the fee rule on the transaction as built.
void expect_balanced(const Result& r) {
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.error.empty());
    EXPECT_EQ(sum_in(r.inputs), sum_out(r.outputs) + r.fee);
    const Bytes raw = chain::serialize_tx(r.inputs, r.outputs, true);
    ASSERT_FALSE(raw.empty());
    EXPECT_GE(r.fee, chain::fee_for(static_cast<std::int64_t>(raw.size())));
}

std::string insufficient(std::int64_t need, std::int64_t have) {
    return "insufficient funds. Need " + std::to_string(need) + " sats, you have " + std::to_string(have) +
           " in your Wendrel wallet.";
}

TEST(Selection, SmallPaymentFromOneCoinGetsChange) {
    const std::vector<TxOutput> outs = {pay(200)};
    ASSERT_EQ(chain::serialize_tx({coin(1, 10'000)}, outs, true).size(), 192u);
    ASSERT_EQ(chain::fee_for(192), 20);

    const Result r = run({coin(1, 10'000)}, outs);
    expect_balanced(r);
    ASSERT_EQ(r.inputs.size(), 1u);
    EXPECT_EQ(r.inputs[0].txid, txid_of(1));
    ASSERT_EQ(r.outputs.size(), 2u);
    EXPECT_EQ(r.outputs[0].value, 200);  // the payment stays first and unchanged
    EXPECT_EQ(r.outputs[1].value, 9'777);
    EXPECT_EQ(r.outputs[1].script, wallet::p2pkh_script(CHANGE_HASH));
    EXPECT_EQ(chain::serialize_tx(r.inputs, r.outputs, true).size(), 226u);
    EXPECT_EQ(r.fee, 23);
}

// The change output costs 3 or 4 sats of fee depending on where the size falls. Surplus
// below that drops the output again and goes to the miners; from one sat above it the
// change is kept, down to a single sat.
TEST(Selection, ChangeIsDroppedWhenItCannotPayForItself) {
    const std::vector<TxOutput> rise3 = {pay(200)};  // 192 bytes: fee 20, 23 with change
    const std::vector<TxOutput> rise4 = {pay(200), {0, chain::data_script(core::to_bytes("abc"))}};  // 207: 21, 25
    ASSERT_EQ(chain::estimate_size(1, rise4), 207u);
    struct Case {
        const char* what;
        const std::vector<TxOutput>* outs;
        std::int64_t coin_value;
        bool ok;
        std::int64_t fee;
        std::int64_t change;  // 0: no change output
    } cases[] = {
        {"rise 3, one sat short", &rise3, 219, false, 20, 0},
        {"rise 3, exact fee", &rise3, 220, true, 20, 0},
        {"rise 3, fee + 1", &rise3, 221, true, 21, 0},
        {"rise 3, fee + 2", &rise3, 222, true, 22, 0},
        {"rise 3, fee + 3", &rise3, 223, true, 23, 0},
        {"rise 3, fee + 4", &rise3, 224, true, 23, 1},
        {"rise 4, fee + 1", &rise4, 222, true, 22, 0},
        {"rise 4, fee + 2", &rise4, 223, true, 23, 0},
        {"rise 4, fee + 3", &rise4, 224, true, 24, 0},
        {"rise 4, fee + 4", &rise4, 225, true, 25, 0},
        {"rise 4, fee + 5", &rise4, 226, true, 25, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = run({coin(1, c.coin_value)}, *c.outs);
        EXPECT_EQ(r.ok, c.ok) << r.error;
        EXPECT_EQ(r.fee, c.fee);
        const std::size_t expected_outputs = c.outs->size() + (c.change > 0 ? 1 : 0);
        ASSERT_EQ(r.outputs.size(), expected_outputs);
        if (c.change > 0) {
            EXPECT_EQ(r.outputs.back().value, c.change);
            EXPECT_EQ(r.outputs.back().script, wallet::p2pkh_script(CHANGE_HASH));
        }
        if (c.ok) {
            expect_balanced(r);
        } else {
            EXPECT_EQ(r.error, insufficient(200 + c.fee, c.coin_value));
        }
    }
}

TEST(Selection, AtMostTwentyUnconfirmedCoins) {
    std::vector<TxInput> unconfirmed;
    for (int i = 0; i < 25; ++i) unconfirmed.push_back(coin(i, 1'000, 0));

    // 20 inputs and one output: 3004 bytes, fee 301.
    const Result r = run(unconfirmed, {pay(22'000)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.inputs.size(), 20u);
    EXPECT_EQ(r.fee, 301);
    EXPECT_EQ(r.error, insufficient(22'301, 20'000));

    // Confirmed coins after them are still reached...
    std::vector<TxInput> with_confirmed = unconfirmed;
    with_confirmed.push_back(coin(100, 5'000, 812'000));
    const Result c = run(with_confirmed, {pay(22'000)});
    expect_balanced(c);
    ASSERT_EQ(c.inputs.size(), 21u);
    EXPECT_EQ(c.inputs.back().txid, txid_of(100));

    // ...and coins of unknown height do not count as unconfirmed.
    std::vector<TxInput> unknown;
    for (int i = 0; i < 25; ++i) unknown.push_back(coin(i, 1'000, -1));
    const Result u = run(unknown, {pay(22'000)});
    expect_balanced(u);
    EXPECT_EQ(u.inputs.size(), 23u);
}

TEST(Selection, ForcedUnconfirmedCoinsCountTowardTheCap) {
    std::vector<TxInput> cands;
    for (int i = 0; i < 20; ++i) cands.push_back(coin(i, 1, 0));
    cands.push_back(coin(50, 100'000, 0));       // a 21st unconfirmed coin is never tried
    cands.push_back(coin(51, 100'000, 900'000));  // a confirmed one is
    const Result r = run(cands, {pay(1'000)}, 20);
    expect_balanced(r);
    ASSERT_EQ(r.inputs.size(), 21u);
    EXPECT_EQ(r.inputs.back().txid, txid_of(51));
}

TEST(Selection, WalksCandidatesInOrderAndStopsWhenCovered) {
    const Result r = run({coin(1, 5'000), coin(2, 5'000), coin(3, 5'000)}, {pay(6'000)});
    expect_balanced(r);
    ASSERT_EQ(r.inputs.size(), 2u);
    EXPECT_EQ(r.inputs[0].txid, txid_of(1));
    EXPECT_EQ(r.inputs[1].txid, txid_of(2));
}

TEST(Selection, UnusableCandidatesAreSkipped) {
    TxInput short_id = coin(1, 50'000);
    short_id.txid.pop_back();
    TxInput not_hex = coin(2, 50'000);
    not_hex.txid[10] = 'z';
    TxInput negative = coin(3, -5);
    TxInput too_big = coin(4, chain::MAX_SATS + 1);
    const Result r = run({short_id, not_hex, negative, too_big, coin(5, 10'000)}, {pay(200)});
    expect_balanced(r);
    ASSERT_EQ(r.inputs.size(), 1u);
    EXPECT_EQ(r.inputs[0].txid, txid_of(5));
}

TEST(Selection, SumOfCoinsStopsAtTheSupply) {
    // Two coins of the whole supply cannot both be real; the second is not added.
    const Result r = run({coin(1, chain::MAX_SATS), coin(2, chain::MAX_SATS)}, {pay(chain::MAX_SATS)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.inputs.size(), 1u);
    EXPECT_EQ(r.error, insufficient(chain::MAX_SATS + 20, chain::MAX_SATS));
}

TEST(Selection, ForcedCoinsComeFirstAndMustBeUsable) {
    // Two 1-sat artwork coins are forced in front, then funding is added behind them.
    const std::vector<TxInput> cands = {coin(1, 1), coin(2, 1), coin(3, 100), coin(4, 10'000)};
    const Result r = run(cands, {pay(1), pay(1), pay(980)}, 2);
    expect_balanced(r);
    ASSERT_EQ(r.inputs.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.inputs[static_cast<std::size_t>(i)].txid, txid_of(i + 1));

    // Forced coins that already cover everything: nothing else is added.
    const Result covered = run({coin(1, 9'000), coin(2, 9'000), coin(3, 9'000)}, {pay(100)}, 2);
    expect_balanced(covered);
    EXPECT_EQ(covered.inputs.size(), 2u);

    // More forced coins than candidates: all of them are forced.
    const Result all = run({coin(1, 5'000), coin(2, 5'000)}, {pay(100)}, 5);
    expect_balanced(all);
    EXPECT_EQ(all.inputs.size(), 2u);

    TxInput short_id = coin(2, 1);
    short_id.txid.pop_back();
    const Result bad = run({coin(1, 1), short_id, coin(3, 10'000)}, {pay(100)}, 2);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, "could not include inscription input.");

    // The same coin unforced is merely skipped.
    const Result skipped = run({coin(1, 1), short_id, coin(3, 10'000)}, {pay(100)}, 1);
    expect_balanced(skipped);
    EXPECT_EQ(skipped.inputs.size(), 2u);
}

TEST(Selection, OutputsAreChecked) {
    const std::vector<TxInput> cands = {coin(1, 10'000)};
    struct Case {
        const char* what;
        std::vector<TxOutput> outs;
        const char* error;  // nullptr: accepted
    } cases[] = {
        {"no outputs", {}, "nothing to pay."},
        {"value -1", {pay(100), pay(-1)}, "invalid inscription output."},
        {"empty script", {pay(100), TxOutput{5, {}}}, "invalid inscription output."},
        {"one output beyond the supply", {pay(chain::MAX_SATS + 1)}, "invalid inscription output."},
        {"sum beyond the supply", {pay(chain::MAX_SATS), pay(1)}, "invalid inscription output."},
        {"value 0 with a script", {pay(100), TxOutput{0, chain::data_script(core::to_bytes("record"))}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = run(cands, c.outs);
        if (c.error) {
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.error, c.error);
        } else {
            expect_balanced(r);
        }
    }
}

TEST(Selection, NoCandidatesIsInsufficient) {
    const Result r = run({}, {pay(500)});
    EXPECT_FALSE(r.ok);
    // Version, two counts, one output and the lock time: 44 bytes, fee 5.
    EXPECT_EQ(r.error, insufficient(505, 0));
}

TEST(Selection, ChangeNeedsAChangeHash) {
    // Exactly covered: no change output, so no change hash is needed.
    const Result exact = run({coin(1, 220)}, {pay(200)}, 0, Bytes{});
    expect_balanced(exact);
    const Result needs = run({coin(1, 10'000)}, {pay(200)}, 0, Bytes(19, 1));
    EXPECT_FALSE(needs.ok);
    EXPECT_EQ(needs.error, "failed to build transaction.");
}

}  // namespace
