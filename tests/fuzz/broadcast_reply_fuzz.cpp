// The broadcast replies of ARC, WhatsOnChain and the platform's submit. Checks that a
// taken broadcast names a 64-hex txid and a refused one says why.
#include <cstddef>
#include <cstdint>

#include "chain/broadcast.h"
#include "core/hex.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(fuzz_support::text_of(data, size));
    const std::string expected(64, 'a');
    std::string error;
    if (chain::read_arc_reply(body, expected, error)) {
        if (!error.empty()) fuzz_support::fail("a taken ARC reply left an error");
    } else if (error.empty()) {
        fuzz_support::fail("a refused ARC reply gave no reason");
    }
    const std::string id = chain::read_woc_post_reply(body);
    if (!id.empty() && !core::is_txid(id)) fuzz_support::fail("a WhatsOnChain reply gave a txid that is not 64 hex");
    (void)chain::read_submit_reply(body);
    return 0;
}
