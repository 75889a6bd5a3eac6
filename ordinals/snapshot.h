#pragma once
// The inscription snapshot ("/ord_snap/<wallet_key_word>.json"): the outputs of the last
// ordinals list, read back by the next build to keep outputs the index has not shown
// yet, plus the string lists the list keeps between builds.
#include <cstdint>
#include <string>
#include <vector>

#include "core/json.h"

namespace ordinals {

struct SnapshotLot {
    std::string origin;
    std::string txid;
    std::int32_t vout = 0;
    std::string type, name, icon, address;
};

struct Snapshot {
    std::vector<SnapshotLot> lots;
    std::vector<std::string> txids;      // transactions holding the listed outputs
    std::vector<std::string> token_ids;  // token ids among them
    std::vector<std::string> gone;       // outpoints ("txid_vout") found spent or moved away
};

core::Json snapshot_to_json(const Snapshot& s);
// Lots whose origin or txid does not check are dropped; lists keep their strings. Each
// list is read to at most 20000 items (of the string lists, the last ones).
Snapshot snapshot_from_json(const core::Json& j);

// False when the word names no snapshot file or the file is missing or unreadable.
bool read_snapshot(const std::string& word, Snapshot& out);
// Writes the snapshot under the store lock, keeping members written by others. A file
// that exists but does not parse as an object is left alone. False when nothing was
// written.
bool write_snapshot(const std::string& word, const Snapshot& s);

}  // namespace ordinals
