#include "shell/bell.h"

namespace shell {

bool bell_tick(BellState& bell, std::size_t note_count) {
    if (note_count == 0) {
        const bool repaint = bell.lit || bell.counter != 0;
        bell = BellState{};
        return repaint;
    }
    bell.counter = (bell.counter + 1) % BELL_CYCLE_TICKS;
    const bool lit = bell.counter < BELL_LIT_TICKS;
    const bool repaint = lit != bell.lit;
    bell.lit = lit;
    return repaint;
}

void bell_notes_arrived(BellState& bell, std::size_t previous_count, std::size_t new_count) {
    if (new_count == 0)
        bell = BellState{};
    else if (previous_count == 0)
        bell = BellState{true, 0};
}

std::string badge_text(std::size_t note_count) {
    if (note_count == 0) return "";
    if (note_count > 9) return "9+";
    return std::to_string(note_count);
}

}  // namespace shell
