// WhatsOnChain replies: the unspent lists and a transaction's JSON read for an output
// script. Checks that listed coins carry a txid and amounts within the money supply.
#include <cstddef>
#include <cstdint>

#include "chain/coins.h"
#include "chain/tx.h"
#include "core/hex.h"
#include "ordinals/content.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(fuzz_support::text_of(data, size));
    std::vector<chain::Coin> coins;
    if (chain::parse_unspent_list(body, coins)) {
        for (const auto& c : coins)
            if (!core::is_txid(c.txid) || c.value < 0 || c.value > chain::MAX_SATS)
                fuzz_support::fail("a listed coin has no txid or an amount outside 0..MAX_SATS");
    }
    core::Json tx;
    if (!core::parse_json(body, tx)) return 0;
    for (std::uint32_t vout : {0u, 1u, 7u}) {
        core::Bytes script;
        (void)ordinals::script_from_tx_json(tx, vout, script);
    }
    return 0;
}
