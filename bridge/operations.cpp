#include "bridge/operations.h"

#include <mutex>

#include "core/hex.h"
#include "ledger/admission.h"
#include "ledger/offers.h"
#include "ledger/place.h"
#include "ledger/sale.h"
#include "ordinals/kind_lookup.h"
#include "ordinals/listing.h"
#include "wallet/connect.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace bridge {

namespace {

std::string run_sale_step(const std::string& op, int frame, const std::string& buyer) {
    if (op == "ask") return ledger::gallery_ask(frame);
    if (op == "accept") return ledger::gallery_accept(frame, buyer);
    if (op == "pay") return ledger::gallery_pay(frame, "");
    if (op == "complete") return ledger::gallery_complete(frame, "");
    return "error: unknown step.";
}

Operations& current() {
    static Operations ops = default_operations();
    return ops;
}

}  // namespace

Operations default_operations() {
    Operations o;
    o.ready = [] { return wallet::snapshot_ready_hd(); };
    o.bound = [] { return !wallet::app_binding().wallet_id.empty(); };
    o.load_ready = [] { return wallet::wallet_ready_hd(); };
    o.my_key = [] { return core::lower_ascii(wallet::wallet_identity_key()); };
    o.connect = [] { return wallet::connect_wallet(); };
    o.load_walls = [](std::string& status, Walls& walls) { ledger::load_walls(status, walls); };
    o.place = [](int frame, const std::string& origin, std::int64_t sats, int weeks) {
        return ledger::ov_gallery_place(frame, origin, sats, weeks);
    };
    o.remove = [](int frame) { return ledger::gallery_remove(frame); };
    o.sale_step = run_sale_step;
    o.enter = [] { return ledger::gallery_enter(); };
    o.list_arts = [](std::vector<ordinals::OvWendrelOrdRow>& rows) {
        return ordinals::ov_wendrel_list_ordinals(rows, true, false);
    };
    o.kind_of = [](const std::string& origin) { return ordinals::inscription_kind(origin); };
    o.reserve_status = [](const std::string& origin) { return ledger::reserve_status(origin); };
    o.offer_status = [](const std::string& offer) { return ledger::offer_status(offer); };
    o.fetch_picture = [](int frame, const std::string& origin) { return fetch_spot_picture(frame, origin); };
    o.store_picture = [](int frame, const std::string& origin, const SpotPic& pic) {
        return store_spot_picture(frame, origin, pic);
    };
    return o;
}

const Operations& operations() { return current(); }

void set_operations(Operations ops) { current() = std::move(ops); }

}  // namespace bridge
