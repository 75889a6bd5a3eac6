#pragma once
// Certificates and ownership: the signed art_pair that binds an artwork to its
// certificate (on the OCP address), and the title chain of art_owner records (on the
// OAO address) whose last entry names the current owner. Nothing here throws; every
// failure is a text without "error: ".
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/json.h"
#include "ledger/walls.h"

namespace ledger {

struct PairCheck {
    bool found = false;
    std::string cert;
    std::string pic;
    std::string sha256;
    std::string pair_txid;
    std::string owner;  // the last title entry's owner, else the pair's
    bool title_is_mine = false;
    std::string error;
};

struct TitleEntry {
    std::string txid;
    std::string type;  // "art_pair" or "art_owner"
    std::string owner;
    std::string signer;
    std::string handle;  // the verified actor
    std::int64_t ts = 0;
    std::int64_t height = 0;           // 0 while in no block
    std::vector<std::string> replays;  // other txids of the same signed record
    std::string cert, sha256;          // the root's certificate and hash
};

// The history of the OCP ("ocp") or OAO ("oao") address: platform indexer, then
// WhatsOnChain's three history lists (paged); cached like a frame history.
bool art_history(const std::string& oracle, const std::string& address, History& out, std::string& error);

// Whether the transaction JSON pays the address more than 0 sats. A transaction whose
// outputs carry no address at all passes; one without "vout" fails.
bool pays_address(const core::Json& tx, const std::string& address);

// The certificate's content as a JSON object (never null on success), shared with
// every other reader. cert is an inscription id or its coin form (txid_vout, which is
// fetched as given). Contents are kept for the process.
using Certificate = std::shared_ptr<const core::Json>;
bool read_certificate(const std::string& cert, Certificate& out, std::string& error);

// Whether read_certificate would answer at once, from what it keeps.
bool certificate_known(const std::string& cert);

// The pair of a certificate: found only when it is the root of the artwork's title.
PairCheck check_pair(const std::string& cert);
PairCheck find_pair(const std::string& pic);
// "" and the chain (possibly empty) on success; else the error text. The chain starts
// at the first pair in the chain's order that passes the root rule (ledger/trust.h);
// a trail (OAO history) that cannot be read is an error, never a shorter chain.
std::string title_chain(const std::string& pic, std::vector<TitleEntry>& out);
// The owner of the title where `at` stands in the chain's order ("" before the root);
// false when the chain could not be read.
bool title_owner_at(const std::string& pic, const HistoryEntry& at, std::string& owner);
// The chain cannot be read, is empty, or its last owner is the display's owner.
bool title_holds(const SpotLoad& spot);

void reset_pair_caches();

}  // namespace ledger
