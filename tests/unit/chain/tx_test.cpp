#include "chain/tx.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/crypto.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace {

using chain::TxInput;
using chain::TxOutput;
using core::Bytes;
using core::from_hex;
using core::to_hex;
using nlohmann::json;

json load_vectors(const char* name) {
    std::ifstream in(std::string(QUENVALE_SOURCE_DIR) + "/tests/data/" + name);
    EXPECT_TRUE(in.good()) << name;
    json j;
    if (in.good()) in >> j;
    return j;
}

// A distinct, valid txid per seed.
std::string txid_of(int seed) { return to_hex(core::sha256(std::to_string(seed))); }

Bytes pattern(std::size_t n, std::uint8_t start = 0) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 7);
    return b;
}

TxInput input_of(const std::string& txid, std::uint32_t vout, std::int64_t value, Bytes unlocking = {}) {
    TxInput in;
    in.txid = txid;
    in.vout = vout;
    in.value = value;
    in.unlocking_script = std::move(unlocking);
    return in;
}

Bytes p2pkh_to(std::uint8_t fill) { return wallet::p2pkh_script(Bytes(20, fill)); }

// The first block's coinbase, whose id is well known: an independent check of the wire
// format and of tx_id.
const char* const GENESIS_COINBASE_HEX =
    "01000000010000000000000000000000000000000000000000000000000000000000000000ffffffff4d04ffff001d01"
    "04455468652054696d65732030332f4a616e2f32303039204368616e63656c6c6f72206f6e206272696e6b206f6620"
    "7365636f6e64206261696c6f757420666f722062616e6b73ffffffff0100f2052a01000000434104678afdb0fe554827"
    "1967f1a67130b7105cd6a828e03909a67962e0ea1f61deb649f6bc3f4cef38c4f35504e51ec112de5c384df7ba0b8d57"
    "8a4c702b6bf11d5fac00000000";
const char* const GENESIS_COINBASE_ID = "4a5e1e4baab89f3a32518a88c31bc87f618f76673e2cc77ab2127b7afdeda33b";

// --- encodings ---------------------------------------------------------------------------

TEST(TxVarint, BoundariesOfEachWidth) {
    struct Case {
        std::uint64_t n;
        const char* hex;
    } cases[] = {
        {0, "00"},
        {252, "fc"},
        {253, "fdfd00"},
        {0xFFFF, "fdffff"},
        {0x10000, "fe00000100"},
        {0xFFFFFFFFu, "feffffffff"},
        {0x100000000ull, "ff0000000001000000"},
        {0xFFFFFFFFFFFFFFFFull, "ffffffffffffffffff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        Bytes buf{0xAA};  // appends, never overwrites
        chain::write_varint(buf, c.n);
        EXPECT_EQ(to_hex(buf), std::string("aa") + c.hex);
        EXPECT_EQ(chain::varint_size(c.n), buf.size() - 1);
    }
}

TEST(TxPushData, MinimalPushAtEachBoundary) {
    struct Case {
        std::size_t len;
        const char* prefix;
    } cases[] = {
        {0, "00"},       {1, "01"},         {75, "4b"},        {76, "4c4c"},           {255, "4cff"},
        {256, "4d0001"}, {65535, "4dffff"}, {65536, "4e00000100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.len);
        const Bytes data = pattern(c.len, 3);
        Bytes script{0x51};
        ASSERT_TRUE(chain::push_data(script, data));
        const std::string prefix = c.prefix;
        ASSERT_EQ(script.size(), 1 + prefix.size() / 2 + c.len);
        EXPECT_EQ(to_hex(Bytes(script.begin(), script.begin() + 1 + prefix.size() / 2)), "51" + prefix);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), script.end() - static_cast<std::ptrdiff_t>(c.len)));
    }
}

TEST(TxDataScript, FalseReturnAndOnePush) {
    EXPECT_EQ(to_hex(chain::data_script({})), "006a");
    EXPECT_EQ(to_hex(chain::data_script(core::to_bytes("hi"))), "006a026869");
    // A record longer than 75 bytes needs OP_PUSHDATA1.
    const Bytes record(100, 'x');
    const Bytes script = chain::data_script(record);
    ASSERT_EQ(script.size(), 2 + 2 + 100u);
    EXPECT_EQ(to_hex(Bytes(script.begin(), script.begin() + 4)), "006a4c64");
    // The record output of the signature-hash vector was written the same way.
    const json j = load_vectors("sighash-forkid.json");
    EXPECT_EQ(to_hex(chain::data_script(core::to_bytes(R"({"protocol":"OV-Art","type":"art_gentry"})"))),
              j["outputs"][1]["script"].get<std::string>());
}

TEST(TxFee, HundredSatsPerThousandBytesRoundedUp) {
    const std::int64_t cases[][2] = {{-5, 1},  {0, 1},   {1, 1},     {9, 1},      {10, 1},    {11, 2},
                                     {192, 20}, {226, 23}, {999, 100}, {1000, 100}, {1001, 101}, {3004, 301}};
    for (const auto& c : cases) EXPECT_EQ(chain::fee_for(c[0]), c[1]) << c[0];
    // The rounding form must not overflow for any size.
    EXPECT_EQ(chain::fee_for(INT64_MAX), INT64_MAX / 10 + 1);
}

TEST(TxSats, CheckedAdditionStopsAtTheCap) {
    std::int64_t total = chain::MAX_SATS - 5;
    EXPECT_TRUE(chain::add_sats(total, 5));
    EXPECT_EQ(total, chain::MAX_SATS);
    EXPECT_FALSE(chain::add_sats(total, 1));
    EXPECT_EQ(total, chain::MAX_SATS);
    total = 10;
    EXPECT_FALSE(chain::add_sats(total, -1));
    EXPECT_FALSE(chain::add_sats(total, INT64_MAX));
    EXPECT_EQ(total, 10);
}

// --- wire format and id ------------------------------------------------------------------

TEST(TxWire, GenesisCoinbaseParsesReserializesAndHasItsKnownId) {
    const Bytes raw = from_hex(GENESIS_COINBASE_HEX);
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(chain::tx_id(raw), GENESIS_COINBASE_ID);

    std::vector<TxInput> ins;
    std::vector<TxOutput> outs;
    ASSERT_TRUE(chain::parse_tx(raw, ins, outs));
    ASSERT_EQ(ins.size(), 1u);
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_EQ(ins[0].txid, std::string(64, '0'));
    EXPECT_EQ(ins[0].vout, 0xFFFFFFFFu);
    EXPECT_EQ(ins[0].unlocking_script.size(), 0x4Du);
    EXPECT_EQ(ins[0].value, 0);
    EXPECT_EQ(ins[0].height, -1);
    EXPECT_EQ(outs[0].value, 5'000'000'000);
    EXPECT_EQ(outs[0].script.size(), 0x43u);
    EXPECT_EQ(chain::serialize_tx(ins, outs, false), raw);
}

TEST(TxWire, RoundTripKeepsOrderScriptsAndValues) {
    // Scripts of 0, 252 and 253 bytes cross the one-byte length form; values at both ends
    // of the range.
    std::vector<TxInput> ins = {
        input_of(txid_of(1), 0, 0, {}),
        input_of(txid_of(2), 7, 0, pattern(252, 1)),
        input_of(txid_of(3), 0xFFFFFFFFu, 0, pattern(253, 2)),
    };
    std::vector<TxOutput> outs = {{0, chain::data_script(pattern(80))}, {chain::MAX_SATS, p2pkh_to(1)}, {1, {}}};
    const Bytes raw = chain::serialize_tx(ins, outs, false);
    ASSERT_FALSE(raw.empty());
    // version 1 first, lock time 0 last, every sequence all ones
    EXPECT_EQ(to_hex(Bytes(raw.begin(), raw.begin() + 4)), "01000000");
    EXPECT_EQ(to_hex(Bytes(raw.end() - 4, raw.end())), "00000000");
    // txids go on the wire reversed
    const Bytes id = from_hex(txid_of(1));
    EXPECT_TRUE(std::equal(id.rbegin(), id.rend(), raw.begin() + 5));

    std::vector<TxInput> back_in;
    std::vector<TxOutput> back_out;
    ASSERT_TRUE(chain::parse_tx(raw, back_in, back_out));
    ASSERT_EQ(back_in.size(), ins.size());
    ASSERT_EQ(back_out.size(), outs.size());
    for (std::size_t i = 0; i < ins.size(); ++i) {
        EXPECT_EQ(back_in[i].txid, ins[i].txid) << i;
        EXPECT_EQ(back_in[i].vout, ins[i].vout) << i;
        EXPECT_EQ(back_in[i].unlocking_script, ins[i].unlocking_script) << i;
    }
    for (std::size_t i = 0; i < outs.size(); ++i) {
        EXPECT_EQ(back_out[i].value, outs[i].value) << i;
        EXPECT_EQ(back_out[i].script, outs[i].script) << i;
    }
    EXPECT_EQ(chain::serialize_tx(back_in, back_out, false), raw);
}

TEST(TxWire, UppercaseTxidIsTheSameCoin) {
    std::vector<TxOutput> outs = {{5, p2pkh_to(1)}};
    std::string upper = txid_of(9);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(chain::serialize_tx({input_of(upper, 1, 0)}, outs, false),
              chain::serialize_tx({input_of(txid_of(9), 1, 0)}, outs, false));
}

TEST(TxWire, SerializationRefusesBadIdsAndAmounts) {
    const std::vector<TxOutput> good_outs = {{5, p2pkh_to(1)}};
    const std::string good = txid_of(4);
    struct Case {
        const char* what;
        std::string txid;
        std::int64_t out_value;
    } cases[] = {
        {"63 digits", good.substr(0, 63), 5},
        {"66 digits", good + "00", 5},
        {"non-hex", std::string(63, 'a') + "g", 5},
        {"empty", "", 5},
        {"negative output", good, -1},
        {"output beyond the supply", good, chain::MAX_SATS + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<TxInput> ins = {input_of(txid_of(5), 0, 0), input_of(c.txid, 1, 0)};
        const std::vector<TxOutput> outs = {{c.out_value, p2pkh_to(1)}};
        EXPECT_TRUE(chain::serialize_tx(ins, outs, false).empty());
        EXPECT_TRUE(chain::serialize_tx(ins, outs, true).empty());
    }
    EXPECT_FALSE(chain::serialize_tx({input_of(good, 0, 0)}, good_outs, false).empty());
}

TEST(TxWire, EstimateModeUsesTheFixedPlaceholder) {
    // A 300-byte real script and an empty one both become 0x6B and 107 zero bytes.
    const std::vector<TxOutput> outs = {{200, p2pkh_to(1)}};
    for (const Bytes& script : {Bytes{}, pattern(300, 9)}) {
        const Bytes raw = chain::serialize_tx({input_of(txid_of(1), 3, 10'000, script)}, outs, true);
        ASSERT_EQ(raw.size(), 192u);
        const std::size_t at = 4 + 1 + 32 + 4;
        EXPECT_EQ(raw[at], 0x6B);
        EXPECT_EQ(std::count(raw.begin() + at + 1, raw.begin() + at + 1 + 107, 0), 107);
        EXPECT_EQ(to_hex(Bytes(raw.begin() + at + 108, raw.begin() + at + 112)), "ffffffff");
    }
}

TEST(TxWire, EstimateSizeMatchesTheSerialization) {
    // The two sizes quoted for the usual payment, then input and output counts across the
    // CompactSize boundary.
    const std::vector<TxOutput> pay = {{200, p2pkh_to(1)}};
    const std::vector<TxOutput> pay_change = {{200, p2pkh_to(1)}, {9'777, p2pkh_to(2)}};
    EXPECT_EQ(chain::estimate_size(1, pay), 192u);
    EXPECT_EQ(chain::estimate_size(1, pay_change), 226u);

    const std::vector<TxOutput> many(253, TxOutput{1, p2pkh_to(3)});
    const std::vector<TxOutput> data = {{0, chain::data_script(pattern(300))}, {1, p2pkh_to(1)}};
    for (std::size_t n : {0u, 1u, 2u, 252u, 253u}) {
        std::vector<TxInput> ins;
        for (std::size_t i = 0; i < n; ++i) ins.push_back(input_of(txid_of(static_cast<int>(i)), 0, 1));
        for (const auto* outs : {&pay, &pay_change, &many, &data}) {
            SCOPED_TRACE(testing::Message() << n << " inputs, " << outs->size() << " outputs");
            EXPECT_EQ(chain::estimate_size(n, *outs), chain::serialize_tx(ins, *outs, true).size());
        }
    }
}

// --- parsing refusals ----------------------------------------------------------------------

Bytes small_tx() {
    return chain::serialize_tx({input_of(txid_of(1), 2, 0, pattern(3))}, {{1234, p2pkh_to(1)}}, false);
}

TEST(TxParse, TruncationFailsUntilOnlyTheLockTimeIsMissing) {
    const Bytes raw = small_tx();
    ASSERT_EQ(raw.size(), 4 + 1 + 32 + 4 + 1 + 3 + 4 + 1 + 8 + 1 + 25 + 4u);
    for (std::size_t len = 0; len <= raw.size(); ++len) {
        SCOPED_TRACE(len);
        std::vector<TxInput> ins{input_of(txid_of(7), 0, 5)};  // stale content is cleared
        std::vector<TxOutput> outs{{5, p2pkh_to(1)}};
        const bool ok = chain::parse_tx(Bytes(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(len)), ins, outs);
        // The lock time is never read, so only the last four bytes may go missing.
        EXPECT_EQ(ok, len >= raw.size() - 4);
        if (!ok) {
            EXPECT_TRUE(ins.empty());
            EXPECT_TRUE(outs.empty());
        } else {
            ASSERT_EQ(ins.size(), 1u);
            EXPECT_EQ(ins[0].txid, txid_of(1));
            EXPECT_EQ(outs[0].value, 1234);
        }
    }
}

// Replaces the byte range [at, at + len) of raw.
Bytes splice(const Bytes& raw, std::size_t at, std::size_t len, const Bytes& with) {
    Bytes out(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), with.begin(), with.end());
    out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at + len), raw.end());
    return out;
}

TEST(TxParse, RefusesBadCountsLengthsAndAmounts) {
    const Bytes raw = small_tx();
    const std::size_t in_count_at = 4, script_len_at = 4 + 1 + 36, out_count_at = script_len_at + 1 + 3 + 4;
    const std::size_t value_at = out_count_at + 1;
    Bytes max_value, over_value;
    for (int i = 0; i < 8; ++i) max_value.push_back(static_cast<std::uint8_t>(chain::MAX_SATS >> (8 * i)));
    for (int i = 0; i < 8; ++i) over_value.push_back(static_cast<std::uint8_t>((chain::MAX_SATS + 1) >> (8 * i)));
    struct Case {
        const char* what;
        Bytes raw;
        bool ok;
    } cases[] = {
        {"unchanged", raw, true},
        {"no inputs", splice(raw, in_count_at, 1, {0x00}), false},
        {"no outputs", splice(raw, out_count_at, 1, {0x00}), false},
        {"script length past the end", splice(raw, script_len_at, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), false},
        {"output of the whole supply", splice(raw, value_at, 8, max_value), true},
        {"output beyond the supply", splice(raw, value_at, 8, over_value), false},
        {"negative output", splice(raw, value_at, 8, Bytes(8, 0xFF)), false},
        {"nine bytes", Bytes(raw.begin(), raw.begin() + 9), false},
        {"empty", {}, false},
    };
    for (const Case& c : cases) {
        std::vector<TxInput> ins;
        std::vector<TxOutput> outs;
        EXPECT_EQ(chain::parse_tx(c.raw, ins, outs), c.ok) << c.what;
    }
}

TEST(TxParse, AtMostFiveHundredInputsAndOutputs) {
    auto build = [](std::size_t n_in, std::size_t n_out) {
        std::vector<TxInput> ins;
        for (std::size_t i = 0; i < n_in; ++i) ins.push_back(input_of(txid_of(static_cast<int>(i)), 0, 0));
        return chain::serialize_tx(ins, std::vector<TxOutput>(n_out, TxOutput{1, p2pkh_to(1)}), false);
    };
    struct Case {
        std::size_t n_in, n_out;
        bool ok;
    } cases[] = {{500, 1, true}, {501, 1, false}, {1, 500, true}, {1, 501, false}};
    for (const Case& c : cases) {
        std::vector<TxInput> ins;
        std::vector<TxOutput> outs;
        const bool ok = chain::parse_tx(build(c.n_in, c.n_out), ins, outs);
        EXPECT_EQ(ok, c.ok) << c.n_in << " in, " << c.n_out << " out";
        if (ok) {
            EXPECT_EQ(ins.size(), c.n_in);
            EXPECT_EQ(outs.size(), c.n_out);
        }
    }
}

// --- signature hash ------------------------------------------------------------------------

struct VectorTx {
    std::vector<TxInput> inputs;
    std::vector<TxOutput> outputs;
    Bytes key_hash;
    json j;
};

VectorTx vector_tx() {
    VectorTx v;
    v.j = load_vectors("sighash-forkid.json");
    EXPECT_TRUE(wallet::hash160_from_address(v.j["address"].get<std::string>(), v.key_hash));
    for (const auto& in : v.j["inputs"])
        v.inputs.push_back(input_of(in["txid"], in["vout"].get<std::uint32_t>(), in["satoshis"].get<std::int64_t>()));
    for (const auto& out : v.j["outputs"])
        v.outputs.push_back({out["satoshis"].get<std::int64_t>(), from_hex(out["script"].get<std::string>())});
    return v;
}

TEST(TxSighash, PreimageAndDigestMatchTheVectors) {
    VectorTx v = vector_tx();
    ASSERT_EQ(v.inputs.size(), 2u);
    ASSERT_EQ(v.outputs.size(), 3u);
    ASSERT_EQ(to_hex(wallet::p2pkh_script(v.key_hash)), v.j["locking_script"].get<std::string>());
    ASSERT_EQ(v.j["sighash"].size(), 2u);
    for (const auto& s : v.j["sighash"]) {
        const std::size_t i = s["input_index"].get<std::size_t>();
        SCOPED_TRACE(i);
        // Script code from the key hash, and the same given as the coin's own script.
        const Bytes from_hash = chain::signature_preimage(i, v.inputs, v.outputs, v.key_hash);
        EXPECT_EQ(to_hex(from_hash), s["preimage"].get<std::string>());
        EXPECT_EQ(to_hex(core::sha256d(from_hash)), s["digest"].get<std::string>());
        std::vector<TxInput> with_script = v.inputs;
        with_script[i].prev_locking_script = from_hex(v.j["locking_script"].get<std::string>());
        EXPECT_EQ(chain::signature_preimage(i, with_script, v.outputs, Bytes(20, 0xEE)), from_hash);
    }
}

TEST(TxSighash, CommitsToEverythingButUnlockingScripts) {
    const VectorTx v = vector_tx();
    const Bytes base = chain::signature_preimage(0, v.inputs, v.outputs, v.key_hash);
    ASSERT_FALSE(base.empty());

    std::vector<TxInput> scripted = v.inputs;
    scripted[0].unlocking_script = pattern(107);
    scripted[1].unlocking_script = pattern(5);
    EXPECT_EQ(chain::signature_preimage(0, scripted, v.outputs, v.key_hash), base);

    // Each change a buyer or an owner could try after signing must move the digest.
    auto changed_out_value = v.outputs;
    changed_out_value[0].value += 1;
    auto changed_out_script = v.outputs;
    changed_out_script[2].script.back() ^= 1;
    auto dropped_out = v.outputs;
    dropped_out.pop_back();
    auto swapped_in = v.inputs;
    std::swap(swapped_in[0], swapped_in[1]);
    auto other_vout = v.inputs;
    other_vout[1].vout = 3;
    auto other_value = v.inputs;
    other_value[0].value -= 1;
    const Bytes variants[] = {
        chain::signature_preimage(0, v.inputs, changed_out_value, v.key_hash),
        chain::signature_preimage(0, v.inputs, changed_out_script, v.key_hash),
        chain::signature_preimage(0, v.inputs, dropped_out, v.key_hash),
        chain::signature_preimage(1, swapped_in, v.outputs, v.key_hash),
        chain::signature_preimage(0, other_vout, v.outputs, v.key_hash),
        chain::signature_preimage(0, other_value, v.outputs, v.key_hash),
        chain::signature_preimage(0, v.inputs, v.outputs, Bytes(20, 0x01)),
    };
    for (std::size_t i = 0; i < std::size(variants); ++i) {
        EXPECT_FALSE(variants[i].empty()) << i;
        EXPECT_NE(variants[i], base) << i;
    }
}

TEST(TxSighash, RefusesWhatCannotBeHashed) {
    const VectorTx v = vector_tx();
    auto bad_txid = v.inputs;
    bad_txid[1].txid.pop_back();  // another input's id is part of hashPrevouts
    auto negative = v.inputs;
    negative[0].value = -1;
    auto over = v.inputs;
    over[0].value = chain::MAX_SATS + 1;
    auto bad_out = v.outputs;
    bad_out[0].value = -1;
    EXPECT_TRUE(chain::signature_preimage(2, v.inputs, v.outputs, v.key_hash).empty());
    EXPECT_TRUE(chain::signature_preimage(0, bad_txid, v.outputs, v.key_hash).empty());
    EXPECT_TRUE(chain::signature_preimage(0, negative, v.outputs, v.key_hash).empty());
    EXPECT_TRUE(chain::signature_preimage(0, over, v.outputs, v.key_hash).empty());
    EXPECT_TRUE(chain::signature_preimage(0, v.inputs, bad_out, v.key_hash).empty());
    EXPECT_TRUE(chain::signature_preimage(0, v.inputs, v.outputs, Bytes(19, 1)).empty());
}

// --- signing -------------------------------------------------------------------------------

struct Key {
    std::string priv, pub;
    Bytes hash;
};

Key key_of(std::uint8_t fill) {
    Key k;
    k.priv = to_hex(Bytes(32, fill));
    EXPECT_TRUE(wallet::pub_from_priv(k.priv, k.pub));
    k.hash = core::hash160(from_hex(k.pub));
    return k;
}

// Splits push(sig + 0x41) push(pub) and checks the signature against input index of the
// transaction as it stands now.
void expect_valid_unlocking(const std::vector<TxInput>& ins, const std::vector<TxOutput>& outs, std::size_t index,
                            const Key& key) {
    SCOPED_TRACE(index);
    const Bytes& script = ins[index].unlocking_script;
    ASSERT_GE(script.size(), 2u);
    const std::size_t sig_len = script[0];
    ASSERT_LE(sig_len, 75u);
    ASSERT_EQ(script.size(), 1 + sig_len + 1 + 33);
    EXPECT_EQ(script[sig_len], chain::SIGHASH_ALL_FORKID);
    EXPECT_EQ(script[1 + sig_len], 33);
    const Bytes der(script.begin() + 1, script.begin() + static_cast<std::ptrdiff_t>(sig_len));
    const Bytes pub(script.begin() + 2 + static_cast<std::ptrdiff_t>(sig_len), script.end());
    EXPECT_EQ(to_hex(pub), key.pub);
    Bytes r, s, s_low;
    ASSERT_TRUE(wallet::der_to_rs(der, r, s));
    ASSERT_TRUE(wallet::low_s(s, s_low));
    EXPECT_EQ(s, s_low);
    const Bytes digest = core::sha256d(chain::signature_preimage(index, ins, outs, key.hash));
    EXPECT_TRUE(wallet::verify_digest(pub, digest, r, s));
    // And not against another input's digest: the check above can fail.
    const Bytes other = core::sha256d(chain::signature_preimage((index + 1) % ins.size(), ins, outs, key.hash));
    EXPECT_FALSE(wallet::verify_digest(pub, other, r, s));
}

TEST(TxSign, SignatureVerifiesAgainstThePreimageDigest) {
    VectorTx v = vector_tx();
    const Key key = key_of(0x11);
    v.inputs[0].unlocking_script = pattern(10);  // replaced, not appended to
    ASSERT_TRUE(chain::sign_input(0, v.inputs, v.outputs, key.priv, key.pub, key.hash));
    expect_valid_unlocking(v.inputs, v.outputs, 0, key);
    EXPECT_TRUE(v.inputs[1].unlocking_script.empty());
}

TEST(TxSign, LaterSignaturesLeaveEarlierOnesValid) {
    // A sale offer: the buyer signs its own coin and leaves the two artwork inputs empty;
    // the owner receives the raw offer, looks up the artwork coins and signs them.
    const Key buyer = key_of(0x22), owner = key_of(0x33);
    std::vector<TxInput> ins = {input_of(txid_of(1), 0, 1), input_of(txid_of(2), 1, 1),
                                input_of(txid_of(3), 2, 50'000)};
    const std::vector<TxOutput> outs = {{980, p2pkh_to(5)}, {1, wallet::p2pkh_script(buyer.hash)},
                                        {1, wallet::p2pkh_script(buyer.hash)}, {0, chain::data_script(pattern(40))}};
    ASSERT_TRUE(chain::sign_input(2, ins, outs, buyer.priv, buyer.pub, buyer.hash));
    EXPECT_TRUE(ins[0].unlocking_script.empty());
    EXPECT_TRUE(ins[1].unlocking_script.empty());
    const Bytes offer = chain::serialize_tx(ins, outs, false);
    ASSERT_FALSE(offer.empty());

    std::vector<TxInput> got;
    std::vector<TxOutput> got_outs;
    ASSERT_TRUE(chain::parse_tx(offer, got, got_outs));
    for (std::size_t i = 0; i < got.size(); ++i) got[i].value = ins[i].value;  // the owner's coin lookup
    got[0].prev_locking_script = wallet::p2pkh_script(owner.hash);
    ASSERT_TRUE(chain::sign_input(0, got, got_outs, owner.priv, owner.pub, owner.hash));
    ASSERT_TRUE(chain::sign_input(1, got, got_outs, owner.priv, owner.pub, owner.hash));
    expect_valid_unlocking(got, got_outs, 0, owner);
    expect_valid_unlocking(got, got_outs, 1, owner);
    expect_valid_unlocking(got, got_outs, 2, buyer);
    EXPECT_EQ(got[2].unlocking_script, ins[2].unlocking_script);
}

TEST(TxSign, FailuresLeaveTheScriptEmpty) {
    const Key key = key_of(0x44);
    const std::string zero_key(64, '0');
    struct Case {
        const char* what;
        std::size_t index;
        std::string priv, pub;
        Bytes hash;
        bool bad_txid;
    } cases[] = {
        {"index past the end", 2, key.priv, key.pub, key.hash, false},
        {"short private key", 0, key.priv.substr(2), key.pub, key.hash, false},
        {"zero private key", 0, zero_key, key.pub, key.hash, false},
        {"public key not hex", 0, key.priv, key.pub.substr(1), key.hash, false},
        {"public key of 32 bytes", 0, key.priv, key.pub.substr(2), key.hash, false},
        {"no script code", 0, key.priv, key.pub, Bytes{}, false},
        {"bad txid", 0, key.priv, key.pub, key.hash, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TxInput> ins = {input_of(txid_of(1), 0, 1000, pattern(9)), input_of(txid_of(2), 0, 1000, pattern(9))};
        if (c.bad_txid) ins[1].txid = "00";
        const std::vector<TxOutput> outs = {{500, p2pkh_to(1)}};
        EXPECT_FALSE(chain::sign_input(c.index, ins, outs, c.priv, c.pub, c.hash));
        for (std::size_t i = 0; i < ins.size(); ++i) {
            if (i == c.index) {
                EXPECT_TRUE(ins[i].unlocking_script.empty());
            } else {
                EXPECT_EQ(ins[i].unlocking_script, pattern(9)) << i;  // other inputs untouched
            }
        }
    }
}

// --- the model -----------------------------------------------------------------------------

TEST(TxModel, AssignmentCarriesEveryField) {
    TxInput a;
    a.txid = txid_of(1);
    a.vout = 4;
    a.value = 777;
    a.height = 812'345;
    a.unlocking_script = pattern(3);
    a.prev_locking_script = p2pkh_to(9);
    a.private_key = to_hex(Bytes(32, 0x55));
    a.public_key = "02" + std::string(64, 'a');
    a.key_hash = Bytes(20, 9);
    auto same = [&](const TxInput& b) {
        return b.txid == a.txid && b.vout == a.vout && b.value == a.value && b.height == a.height &&
               b.unlocking_script == a.unlocking_script && b.prev_locking_script == a.prev_locking_script &&
               b.private_key == a.private_key && b.public_key == a.public_key && b.key_hash == a.key_hash;
    };
    TxInput copied;
    copied.private_key = to_hex(Bytes(32, 0x66));
    copied = a;
    EXPECT_TRUE(same(copied));
    TxInput moved;
    moved.private_key = to_hex(Bytes(32, 0x77));
    moved = std::move(copied);
    EXPECT_TRUE(same(moved));
    EXPECT_TRUE(copied.private_key.empty());
    TxInput constructed(moved);
    EXPECT_TRUE(same(constructed));
}

}  // namespace
