#include "bridge/state.h"

namespace bridge {

BridgeState& bridge_state() {
    static BridgeState s;
    return s;
}

void set_shell_port(ShellPort* port) { bridge_state().port.store(port); }

void reset_bridge_state() {
    BridgeState& s = bridge_state();
    s.port.store(nullptr);
    s.busy.store(false);
    s.entered.store(false);
    s.entering.store(false);
    s.facing_word.clear();
    s.facing_deg = 0;
}

}  // namespace bridge
