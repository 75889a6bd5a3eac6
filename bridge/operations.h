#pragma once
// What the handlers call below the bridge: the wallet, the ledger, the ordinals list
// and the picture store. The defaults are the real operations; tests replace them to
// drive the handlers without a network (a blocked operation, a given wall read).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bridge/pictures.h"
#include "ledger/walls.h"
#include "ordinals/rows.h"

namespace bridge {

using Walls = std::array<ledger::SpotLoad, ledger::FRAME_COUNT>;

struct Operations {
    // User-interface thread: the wallet snapshot's answer; never waits.
    std::function<bool()> ready;
    // User-interface thread: a wallet is bound to this program, loaded or not yet.
    std::function<bool()> bound;
    // Workers: loads the bound wallet when needed.
    std::function<bool()> load_ready;
    std::function<std::string()> my_key;  // lowercase identity key, "" without a wallet
    std::function<std::string()> connect;
    std::function<void(std::string& status, Walls& walls)> load_walls;
    std::function<std::string(int frame, const std::string& origin, std::int64_t sats, int weeks)> place;
    std::function<std::string(int frame)> remove;
    // op is "ask", "accept", "pay" or "complete"; buyer only for accept.
    std::function<std::string(const std::string& op, int frame, const std::string& buyer)> sale_step;
    std::function<std::string()> enter;
    // The error text of the listing ("" when complete) and the rows it gave.
    std::function<std::string(std::vector<ordinals::OvWendrelOrdRow>& rows)> list_arts;
    std::function<std::string(const std::string& origin)> kind_of;
    std::function<std::string(const std::string& origin)> reserve_status;
    std::function<int(const std::string& offer_hex)> offer_status;
    std::function<SpotPic(int frame, const std::string& origin)> fetch_picture;
    std::function<std::string(int frame, const std::string& origin, const SpotPic& pic)> store_picture;
};

// The operations in use. Replace them only while no worker runs.
const Operations& operations();
void set_operations(Operations ops);
Operations default_operations();

}  // namespace bridge
