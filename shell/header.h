#pragma once
// What the header bar says and when the 800 ms refresh acts. Everything comes from the
// wallet snapshot, so the user-interface thread never waits for the wallet-state lock or
// the network; the decision itself is a pure function over the last state.
#include <cstdint>
#include <string>

#include "wallet/state.h"

namespace shell {

inline constexpr std::int64_t SATS_PER_BSV = 100'000'000;
// The balance refresh runs on ticks where tick mod 4 is 0 while connected, the notes
// refresh where tick mod 15 is 8 (about every 3.2 s and 12 s at 800 ms a tick).
inline constexpr int BALANCE_EVERY_TICKS = 4;
inline constexpr int NOTES_EVERY_TICKS = 15;
inline constexpr int NOTES_TICK = 8;

// Connected means an HD wallet is loaded, read from this one snapshot so the label and
// the state always agree.
bool header_connected(const wallet::WalletSnapshot& snapshot);
// "Not connected"; connected: the paymail, else the address, else "Connected".
std::string header_label(const wallet::WalletSnapshot& snapshot);
// "1.23456789 BSV" for 123456789 sats, exact and with a "." whatever the locale; ""
// for a negative (unknown) balance.
std::string balance_text(std::int64_t sats);

struct HeaderState {
    bool connected = false;  // as the previous refresh saw it
    std::string label;
    std::string balance;
    int tick = 0;
};

// What one refresh asks of the backend.
struct HeaderRefresh {
    bool repaint = false;                // label, balance or connection changed
    bool start_balance_refresh = false;  // connected and tick mod 4 is 0
    bool start_notes_refresh = false;    // changed, or tick mod 15 is 8 (one start either way)
    std::string button_text;             // "Disconnect" when connected, else "Connect"
};

// One header refresh: compares the snapshot with the state, stores what changed and
// counts the tick.
HeaderRefresh refresh_header(HeaderState& state, const wallet::WalletSnapshot& snapshot);

}  // namespace shell
