// Transactions in the indexers' JSON form, as a frame's history brings them: finding
// the OV-Art record and checking it as a reader does (offline: the identity lookup gets
// no answer). Checks that a found record is an object that keeps its posted form
// through a second parse, and that an unverifiable record never counts as valid.
#include <cstddef>
#include <cstdint>

#include "ledger/records.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::platform_dir();
    fuzz_support::go_offline();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core::Json tx;
    if (!core::parse_json(fuzz_support::text_of(data, size), tx)) return 0;
    core::Json record;
    if (!ledger::extract_record(tx, record)) return 0;
    if (!record.is_object()) fuzz_support::fail("an extracted record is not an object");
    const std::string text = ledger::record_text(record);
    core::Json again;
    if (!core::parse_json(text, again) || ledger::record_text(again) != text)
        fuzz_support::fail("a record's posted form does not read back the same");
    (void)ledger::record_message(record);
    std::string signer;
    if (ledger::check_record(record, signer) == ledger::RecordCheck::valid || ledger::verify_record(record))
        fuzz_support::fail("a record verified with no identity registry to ask");
    return 0;
}
