#include "shell/header.h"

namespace shell {

bool header_connected(const wallet::WalletSnapshot& snapshot) { return snapshot.loaded && snapshot.hd; }

std::string header_label(const wallet::WalletSnapshot& snapshot) {
    if (!header_connected(snapshot)) return "Not connected";
    if (!snapshot.paymail.empty()) return snapshot.paymail;
    if (!snapshot.address.empty()) return snapshot.address;
    return "Connected";
}

std::string balance_text(std::int64_t sats) {
    if (sats < 0) return "";
    // Integer digits rather than printf of a double: no locale decimal comma and no
    // rounding of large amounts.
    std::string fraction = std::to_string(sats % SATS_PER_BSV);
    fraction.insert(0, 8 - fraction.size(), '0');
    return std::to_string(sats / SATS_PER_BSV) + "." + fraction + " BSV";
}

HeaderRefresh refresh_header(HeaderState& state, const wallet::WalletSnapshot& snapshot) {
    HeaderRefresh out;
    const bool connected = header_connected(snapshot);
    std::string label = header_label(snapshot);
    std::string balance = connected ? balance_text(snapshot.balance) : "";
    if (connected != state.connected || label != state.label || balance != state.balance) {
        state.connected = connected;
        state.label = std::move(label);
        state.balance = std::move(balance);
        out.repaint = true;
        out.start_notes_refresh = true;
    }
    out.button_text = connected ? "Disconnect" : "Connect";
    if (connected && state.tick % BALANCE_EVERY_TICKS == 0) out.start_balance_refresh = true;
    if (state.tick % NOTES_EVERY_TICKS == NOTES_TICK) out.start_notes_refresh = true;
    // The count wraps long before it could overflow; both periods divide the wrap point.
    state.tick = (state.tick + 1) % (BALANCE_EVERY_TICKS * NOTES_EVERY_TICKS);
    return out;
}

}  // namespace shell
