#pragma once
#include <string>

// Receive discovery: finds receive addresses beyond the counter that have been paid
// (another copy of the wallet, or a payer who kept an old address) and raises the
// counter so their coins are watched.
namespace wallet {

// Runs under its own discovery lock; holds the wallet-state lock only while deriving
// and while writing the counter, never during the history queries. Returns why the scan
// stopped short ("" when it ran to its end): the unanswered addresses are scanned again
// next time, never taken as unused.
std::string discover_receive_addresses();

}  // namespace wallet
