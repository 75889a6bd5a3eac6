#pragma once
// One handler per page operation. Handlers run on the user-interface thread, make only
// quick checks (frame range, the wallet snapshot, the busy flag, the price text) and
// hand the chain work to a counted worker, which posts the reply through the shell port.
#include <cstdint>
#include <string>

#include "bridge/port.h"
#include "core/json.h"
#include "ledger/walls.h"

namespace bridge {

inline constexpr const char* BUSY_TEXT = "Still working on the last one.";
inline constexpr const char* CONNECTED_TEXT = "Connected.";
inline constexpr const char* CONNECT_FIRST_TEXT = "Connect Wendrel first.";
// After an unpaid admission the program ends this long later.
inline constexpr int QUIT_DELAY_MS = 5000;
// A showing shorter than this (one week and an hour) counts as one week.
inline constexpr std::int64_t TWO_WEEKS_FROM_S = 608401;

// The shell's start: installs its port and loads the bound wallet on a worker, so the
// wallet snapshot fills without the user-interface thread waiting.
void start_bridge(ShellPort* port);

void on_hello();
// Also the Connect button's action while no wallet is connected.
void on_connect();
void on_select(int spot);
void on_place(const core::Json& message);
void on_remove(int spot);
void on_sale_step(const std::string& op, int spot, const std::string& buyer);
void on_enter();
// deg outside 0..359 or a word that is not one of the eight facings is ignored.
void on_face(const std::string& word, int deg);

// {"op":"look"} from the shell's look settings.
void send_look();
// Reads the walls and posts "walls" (worker threads only).
void send_walls();
// The taken-frame members of a "place-list": title, price, exp, weeks, mine, ended,
// action and buyer. offer_status decides whether a funded offer is still live.
void describe_frame(core::Json& message, const ledger::SpotLoad& spot, const std::string& my_key, std::int64_t now);
// The admission's outcome, on the user-interface thread.
void entry_result(const std::string& text);
// "error:" and then leading spaces removed; fallback when nothing is left.
std::string clean_error(const std::string& text, const std::string& fallback);

}  // namespace bridge
