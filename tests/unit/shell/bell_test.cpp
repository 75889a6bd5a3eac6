// The bell's flashing on the 800 ms tick, a new notes list, and the badge.
#include "shell/bell.h"

#include <gtest/gtest.h>

namespace {

TEST(Bell, LitTwoTicksOfSixWhileNotesWaitAndRepaintedOnlyOnChange) {
    shell::BellState bell;
    shell::bell_notes_arrived(bell, 0, 3);  // first notes: lit at the start of the cycle
    EXPECT_TRUE(bell.lit);
    EXPECT_EQ(bell.counter, 0);

    std::string lit, repaints;
    for (int tick = 0; tick < 12; ++tick) {
        repaints += shell::bell_tick(bell, 3) ? 'R' : '.';
        lit += bell.lit ? 'L' : '.';
    }
    EXPECT_EQ(lit, "L....LL....L");
    EXPECT_EQ(repaints, ".R...R.R...R");

    // More notes while it flashes change nothing; an empty list puts it out.
    const shell::BellState before = bell;
    shell::bell_notes_arrived(bell, 3, 5);
    EXPECT_EQ(bell.lit, before.lit);
    EXPECT_EQ(bell.counter, before.counter);
    shell::bell_notes_arrived(bell, 5, 0);
    EXPECT_FALSE(bell.lit);
    EXPECT_EQ(bell.counter, 0);
}

TEST(Bell, WithoutNotesTheTickClearsItOnce) {
    shell::BellState bell{true, 3};
    EXPECT_TRUE(shell::bell_tick(bell, 0));
    EXPECT_FALSE(bell.lit);
    EXPECT_EQ(bell.counter, 0);
    EXPECT_FALSE(shell::bell_tick(bell, 0));
    shell::BellState counting{false, 4};
    EXPECT_TRUE(shell::bell_tick(counting, 0));
    EXPECT_EQ(counting.counter, 0);
}

TEST(Bell, Badge) {
    const std::pair<std::size_t, const char*> cases[] = {{0, ""}, {1, "1"}, {9, "9"}, {10, "9+"}, {11, "9+"}};
    for (const auto& [count, want] : cases) EXPECT_EQ(shell::badge_text(count), want) << count;
}

}  // namespace
