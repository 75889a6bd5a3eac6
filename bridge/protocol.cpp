#include "bridge/protocol.h"

#include "bridge/handlers.h"
#include "bridge/state.h"

namespace bridge {

void dispatch_page_message(std::string_view utf8_json) {
    if (utf8_json.size() > MAX_PAGE_MESSAGE_BYTES) return;
    core::Json m;
    if (!core::parse_json(utf8_json, m) || !m.is_object()) return;
    const std::string op = core::json_string(m, "op");
    const int spot = spot_member(m);
    if (op == "hello")
        on_hello();
    else if (op == "connect")
        on_connect();
    else if (op == "select")
        on_select(spot);
    else if (op == "place")
        on_place(m);
    else if (op == "remove")
        on_remove(spot);
    else if (op == "ask" || op == "accept" || op == "pay" || op == "complete")
        on_sale_step(op, spot, core::json_string(m, "buyer"));
    else if (op == "enter")
        on_enter();
    else if (op == "face") {
        const std::int64_t deg = core::json_int(m, "deg", 0);
        on_face(core::json_string(m, "word", "North"), deg >= 0 && deg < 360 ? static_cast<int>(deg) : -1);
    }
}

int spot_member(const core::Json& message) {
    // Outside any int a frame could be; 0 is refused like every other non-frame.
    const std::int64_t v = core::json_int(message, "spot", 0);
    return v >= -1000000 && v <= 1000000 ? static_cast<int>(v) : 0;
}

void post_page_reply(const core::Json& message) {
    ShellPort* port = bridge_state().port.load();
    if (port) port->post_page_reply(core::dump_compact(message));
}

}  // namespace bridge
