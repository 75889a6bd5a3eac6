// "txo" objects of the ordinals index (the address listing and the token listing), read
// by its client and made into rows of the ordinals list. Checks that a row names a real
// outpoint.
#include <cstddef>
#include <cstdint>

#include "chain/ord_index.h"
#include "core/hex.h"
#include "ordinals/rows.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool token_reply = data[0] & 1;
    core::Json j;
    if (!core::parse_json(fuzz_support::text_of(data + 1, size - 1), j)) return 0;
    chain::OrdTxo txo;
    if (!chain::ord_txo_from_json(j, txo)) return 0;
    (void)ordinals::txo_content_type(txo);
    std::string name;
    (void)ordinals::txo_kind(txo, name);
    ordinals::OvWendrelOrdRow row;
    if (!ordinals::row_from_txo(txo, "1BgGZ9tcN4rm9KBzDn7KprQz87SZ26SAMH", "02" + std::string(64, 'a'), row,
                                token_reply))
        return 0;
    if (row.origin.empty() || !core::is_txid(row.txid) || row.vout < 0)
        fuzz_support::fail("a row without an origin or a valid outpoint");
    if (ordinals::row_outpoint(row) != row.txid + "_" + std::to_string(row.vout))
        fuzz_support::fail("a row's outpoint is not its txid and vout");
    return 0;
}
