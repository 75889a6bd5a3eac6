#pragma once
// Keeping the wallet document's owned list ("ord_owned") in step with the ordinals
// list, and borrowing names from the other wallets on this computer.
#include <vector>

#include "ordinals/rows.h"
#include "wallet/state.h"

namespace ordinals {

// Token rows need a positive amount; the others always stay.
bool token_row_kept(const OvWendrelOrdRow& row);

// Drops the token rows that fail token_row_kept (hiding their owned entries) and merges
// the rest into owned: hidden entries are left alone; others get their empty type,
// name and icon (and address) filled, amt, dec and token id replaced when the row has
// another, and the outpoint moved to where the row found it; new origins are appended.
// True when owned changed.
bool merge_owned(std::vector<wallet::OwnedEntry>& owned, std::vector<OvWendrelOrdRow>& rows);

// Names of inscriptions held by the registry's other wallets, detached wallet files
// and parked wallet files, copied into the name cache where it has none. Call without
// the wallet-state lock: it only reads other wallets' files and keeps the wallet free.
void seed_name_cache();

}  // namespace ordinals
