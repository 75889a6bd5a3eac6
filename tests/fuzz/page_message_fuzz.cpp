// Page messages as the room page (or anything speaking in its place) may send them,
// through the real dispatch and handlers. The operations below the bridge are stand-ins
// that answer at once, so no input reaches the wallet files or the network. Checks that
// every reply the bridge posts is one JSON object with a string "op".
#include <cstddef>
#include <cstdint>

#include "bridge/operations.h"
#include "bridge/protocol.h"
#include "bridge/state.h"
#include "bridge/workers.h"
#include "core/bytes.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/bridge/recording_port.h"

namespace {

const std::string ORIGIN = std::string(64, 'e') + "_0";

bridge::Operations stand_ins() {
    bridge::Operations o;
    o.ready = [] { return true; };
    o.bound = [] { return true; };
    o.load_ready = [] { return true; };
    o.my_key = [] { return "02" + std::string(64, 'a'); };
    o.connect = [] { return std::string("success: connected"); };
    o.load_walls = [](std::string& status, bridge::Walls& walls) {
        status.clear();
        for (int i = 0; i < ledger::FRAME_COUNT; ++i) walls[i].spot = i + 1;
    };
    o.place = [](int, const std::string&, std::int64_t, int) { return "success: " + std::string(64, '1'); };
    o.remove = [](int) { return std::string("error: not yours"); };
    o.sale_step = [](const std::string&, int, const std::string&) { return std::string("error: not for sale"); };
    o.enter = [] { return std::string("success: entered"); };
    o.list_arts = [](std::vector<ordinals::OvWendrelOrdRow>& rows) {
        ordinals::OvWendrelOrdRow r;
        r.origin = ORIGIN;
        r.txid = ORIGIN.substr(0, 64);
        r.kind = "Artwork";
        r.name = "piece";
        rows = {r};
        return std::string();
    };
    o.kind_of = [](const std::string&) { return std::string("Artwork"); };
    o.reserve_status = [](const std::string&) { return std::string(); };
    o.offer_status = [](const std::string&) { return 1; };
    o.fetch_picture = [](int, const std::string&) {
        bridge::SpotPic p;
        p.extension = "png";
        p.bytes = core::to_bytes("png");
        p.ok = true;
        return p;
    };
    o.store_picture = [](int frame, const std::string&, const bridge::SpotPic&) {
        return "spots/ap" + std::to_string(frame) + ".png";
    };
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::platform_dir();
    fuzz_support::go_offline();
    bridge::set_operations(stand_ins());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bridge_test::RecordingPort port;
    bridge::set_shell_port(&port);
    bridge::dispatch_page_message(fuzz_support::text_of(data, size));
    if (!bridge::wait_for_workers(10000)) fuzz_support::fail("a page message left a worker running");
    bridge::set_shell_port(nullptr);
    for (const auto& text : port.raw()) {
        core::Json reply;
        if (!core::parse_json(text, reply) || !reply.is_object() || !core::has_string(reply, "op"))
            fuzz_support::fail("a reply to the page is not an object with an op");
    }
    bridge::reset_bridge_state();
    return 0;
}
