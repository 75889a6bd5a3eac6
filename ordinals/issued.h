#pragma once
// Identity credentials the platform issued to this wallet, found through the issuer's
// recent transactions rather than the ordinals index (which may not show them yet).
#include <string>
#include <vector>

#include "ordinals/caches.h"
#include "ordinals/rows.h"

namespace ordinals {

struct IssuedCredential {
    OvWendrelOrdRow row;
    std::string content;  // the credential JSON as inscribed
};

// Txids from the issuer address's unconfirmed history and the platform's "ident"
// oracle (12 of each at most); every output of those transactions that carries a
// credential inscription locked to one of addresses becomes a credential row.
// Network only: call without the wallet-state lock.
std::vector<IssuedCredential> issued_credentials(const std::vector<std::string>& addresses,
                                                 const std::string& identity_pub);

// The credential rows one transaction JSON holds for the given addresses.
std::vector<IssuedCredential> credentials_in_tx(const core::Json& tx, const std::string& txid,
                                                const std::vector<std::string>& addresses,
                                                const std::string& identity_pub);

}  // namespace ordinals
