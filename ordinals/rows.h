#pragma once
// One row of the wallet's ordinals list, made from the ordinals index's outputs.
#include <cstdint>
#include <string>
#include <vector>

#include "chain/ord_index.h"

namespace ordinals {

struct OvWendrelOrdRow {
    std::string origin;  // txid_vout of the inscription (a token output's own outpoint)
    std::string txid;    // where the output is now
    std::int32_t vout = 0;
    std::int64_t satoshis = 1;
    std::int64_t height = 0;
    std::string content_type;
    std::string address;  // the watched address it was found at
    std::string name;
    std::string icon;
    std::string amt;
    std::string dec;
    std::string token_id;
    // Token extras: set by the token listing of the wallet application; nothing in the
    // gallery reads them.
    std::vector<std::string> token_extras;
    bool token_listed = false;
    bool token_pending = false;
    std::string kind;  // "Artwork", "Certificate" or "" (not yet known)
    bool credential = false;
};

// The inscription's content type: its own data's, else its origin's.
std::string txo_content_type(const chain::OrdTxo& txo);
// The kind rule applied to its own data, then to its origin's. name receives the MAP
// name when it is empty.
std::string txo_kind(const chain::OrdTxo& txo, std::string& name);

// A row for one txo found at address; false when the txo makes no row (no origin, or
// neither inscription nor token data, or ids that do not check). token_reply marks an
// element of the token listing, whose token fields stand at its top level.
bool row_from_txo(const chain::OrdTxo& txo, const std::string& address, const std::string& identity_pub,
                  OvWendrelOrdRow& out, bool token_reply = false);

// "txid_vout" of a row's output.
std::string row_outpoint(const OvWendrelOrdRow& row);

}  // namespace ordinals
