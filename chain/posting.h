#pragma once
// Paying for one gallery record: the fee, the 1-sat hook on the watch address and the
// record itself in an OP_FALSE OP_RETURN output, with fresh coins, retries and one
// result text for the page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chain/tx.h"

namespace chain {

// The wall reader takes a record from one push of at most OP_PUSHDATA2 length; a longer
// record could be paid for but never read back, so it is refused before any coin is
// chosen.
inline constexpr std::size_t MAX_RECORD_BYTES = 65535;

std::string post_gallery_record(const std::string& record, const std::string& watch_address,
                                const std::string& fee_address, std::int64_t fee_sats);
// Outputs of a record posting, in order; false with the error text when an address
// does not decode.
bool record_outputs(const std::string& record, const std::string& watch_address, const std::string& fee_address,
                    std::int64_t fee_sats, std::vector<TxOutput>& outputs, std::string& error);
// Caller holds the wallet-state lock.
std::string pay_outputs(std::vector<TxOutput> outputs, const std::vector<std::string>& held_ids);
std::vector<std::string> offer_held_coins(const std::string& record);

}  // namespace chain
