// History replies of the platform indexer and WhatsOnChain, as history_txids reads them.
// Checks that only lowercase 64-digit ids come out, each once, within the bound, and that
// reading the same reply again adds nothing.
#include <cstddef>
#include <cstdint>
#include <set>

#include "chain/svc.h"
#include "core/hex.h"
#include "ledger/walls.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core::Json reply;
    if (!core::parse_json(fuzz_support::text_of(data, size), reply)) return 0;
    std::vector<std::string> out;
    std::set<std::string> seen;
    const std::size_t added = chain::svc_history_ids(reply, ledger::MAX_HISTORY_TXIDS, out, seen);
    if (added != out.size() || out.size() > ledger::MAX_HISTORY_TXIDS) fuzz_support::fail("count out of step");
    std::set<std::string> unique(out.begin(), out.end());
    if (unique.size() != out.size()) fuzz_support::fail("an id came out twice");
    for (const auto& id : out)
        if (!core::is_txid(id) || core::lower_ascii(id) != id) fuzz_support::fail("an id is not 64 lowercase hex");
    if (chain::svc_history_ids(reply, ledger::MAX_HISTORY_TXIDS, out, seen) != 0)
        fuzz_support::fail("the same reply added ids twice");
    return 0;
}
