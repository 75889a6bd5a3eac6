#pragma once
// The bridge's process-wide state: the shell port and the operation flags. The flags are
// atomics set by exchange, so testing and setting are one step; the facing is touched
// only on the user-interface thread.
#include <atomic>
#include <string>

#include "bridge/port.h"

namespace bridge {

struct BridgeState {
    std::atomic<ShellPort*> port{nullptr};
    // One of connect, select, place, remove and the sale steps at a time.
    std::atomic<bool> busy{false};
    std::atomic<bool> entered{false};   // admission paid in this run
    std::atomic<bool> entering{false};  // an admission is being decided or paid
    // The last facing the page reported (user-interface thread only).
    std::string facing_word;
    int facing_deg = 0;
};

BridgeState& bridge_state();
// The shell installs its port before the page can send anything.
void set_shell_port(ShellPort* port);
// Tests: flags and facing back to their start, no port.
void reset_bridge_state();

}  // namespace bridge
