// The price box of the frame panel: any text in either unit. Checks that an accepted
// price is view-only or a whole number of sats within the money supply, and a refused
// one says why.
#include <cstddef>
#include <cstdint>

#include "bridge/price.h"
#include "chain/tx.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string unit = (data[0] & 1) ? "bsv" : "sats";
    const std::string text(fuzz_support::text_of(data + 1, size - 1));
    const bridge::PriceEntry e = bridge::parse_price(text, unit);
    if (e.accepted) {
        if (!e.message.empty()) fuzz_support::fail("an accepted price carries a message");
        if (e.sats != -1 && (e.sats < 0 || e.sats > chain::MAX_SATS)) fuzz_support::fail("a price outside 0..MAX_SATS");
    } else if (e.message.empty()) {
        fuzz_support::fail("a refused price gives no message");
    }
    return 0;
}
