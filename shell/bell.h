#pragma once
// The notes bell: its flashing on the 800 ms tick, what a new notes list does to it, and
// the count on its badge.
#include <cstddef>
#include <string>

namespace shell {

// Lit for two of every six ticks while notes exist.
inline constexpr int BELL_CYCLE_TICKS = 6;
inline constexpr int BELL_LIT_TICKS = 2;

struct BellState {
    bool lit = false;
    int counter = 0;
};

// One tick with note_count notes waiting; true when the bell must be repainted.
bool bell_tick(BellState& bell, std::size_t note_count);
// A new notes list replaced one of previous_count notes: an empty list puts the bell
// out, a first note lights it at the start of its cycle. The bell is repainted always.
void bell_notes_arrived(BellState& bell, std::size_t previous_count, std::size_t new_count);

// The badge: "" without notes, the count up to 9, "9+" above.
std::string badge_text(std::size_t note_count);

}  // namespace shell
