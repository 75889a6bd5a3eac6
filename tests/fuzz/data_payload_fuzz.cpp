// Output scripts (as hex text) that may carry a record. Checks that a payload read out
// of a script is read back the same from the data script made for it.
#include <cstddef>
#include <cstdint>

#include "chain/tx.h"
#include "core/hex.h"
#include "ledger/records.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core::Bytes payload;
    if (!ledger::data_payload(fuzz_support::text_of(data, size), payload)) return 0;
    if (payload.empty() || payload.size() > 0xFFFF) return 0;
    core::Bytes again;
    if (!ledger::data_payload(core::to_hex(chain::data_script(payload)), again) || again != payload)
        fuzz_support::fail("a payload does not survive data_script and data_payload");
    return 0;
}
