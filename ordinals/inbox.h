#pragma once
// The ordinals inbox: one local wallet tells another, through a file named by the
// recipient's key hash, about an inscription or token it just sent, so the recipient
// lists it before any indexer does. Also the txids this computer already knows about.
#include <set>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace ordinals {

// Adds or updates the entry for origin in the recipient's inbox and caches the content
// (or, for a token without content, its transfer document) and the name. Nothing is
// written for an origin that is not one, or a recipient hash that is not 20 bytes; an
// inbox file that exists but does not read as a JSON array is left as it is.
void inbox_deliver(const core::Bytes& recipient_hash160, const std::string& origin, const std::string& type,
                   const std::string& name, const std::string& icon, const std::string& amt,
                   const std::string& address, const std::string& content);

// Takes the inbox entries of the given addresses into the wallet's owned list (appends
// new origins, fills gaps of known ones) and saves the wallet document when anything
// changed. Takes the wallet-state lock. True when the owned list changed.
bool inbox_merge(const std::vector<std::string>& addresses);

// Lowercase txids of: the origins in every inbox file, the origins named by the
// content cache's files, and the 64-hex "txid" of every "rows" element of the files in
// "/tx_hist". addresses are the wallet's own; their inboxes are among those read.
std::set<std::string> known_local_txids(const std::vector<std::string>& addresses);

}  // namespace ordinals
