// The compass needle's wobble: kicks from facing changes and the damped timer steps.
#include "shell/compass.h"

#include <gtest/gtest.h>

namespace {

TEST(Compass, KickAddsHalfTheTurnAgainstTheSpeedWithinSixteen) {
    shell::CompassState c;
    shell::compass_kick(c, 10);
    EXPECT_DOUBLE_EQ(c.speed, -5.0);
    shell::compass_kick(c, -4);
    EXPECT_DOUBLE_EQ(c.speed, -3.0);
    shell::compass_kick(c, -90);
    EXPECT_DOUBLE_EQ(c.speed, 16.0);
    shell::compass_kick(c, 180);
    EXPECT_DOUBLE_EQ(c.speed, -16.0);
    shell::compass_kick(c, 45);
    EXPECT_DOUBLE_EQ(c.speed, -16.0);
}

TEST(Compass, StepsDampAndHoldTheNeedleWithinTwentyFour) {
    shell::CompassState c{0, 16};
    auto step = shell::compass_step(c);
    EXPECT_DOUBLE_EQ(c.speed, 16 * 0.64);
    EXPECT_DOUBLE_EQ(c.offset, 16 * 0.64);
    EXPECT_TRUE(step.repaint);
    EXPECT_FALSE(step.stop);

    shell::CompassState high{20, 16};
    step = shell::compass_step(high);
    EXPECT_DOUBLE_EQ(high.offset, 24.0);
    EXPECT_DOUBLE_EQ(high.speed, (16 - 20 * 0.42) * 0.64);
    EXPECT_FALSE(step.stop);

    shell::CompassState low{-20, -16};
    shell::compass_step(low);
    EXPECT_DOUBLE_EQ(low.offset, -24.0);
}

TEST(Compass, SettlesAndStopsOnlyWhenBothAreSmall) {
    shell::CompassState small{0.1, 0.1};
    auto step = shell::compass_step(small);
    EXPECT_TRUE(step.stop);
    EXPECT_FALSE(step.repaint);  // rounded, it was 0 and stays 0
    EXPECT_EQ(small.offset, 0.0);
    EXPECT_EQ(small.speed, 0.0);

    // From the hardest kick the needle swings, every step that moves the rounded
    // offset repaints, and it comes to rest at 0.
    shell::CompassState c;
    shell::compass_kick(c, -180);
    int steps = 0, repaints = 0;
    bool stopped = false;
    int shown = shell::needle_degrees(c);
    while (!stopped && steps < 1000) {
        step = shell::compass_step(c);
        ++steps;
        EXPECT_EQ(step.repaint, shell::needle_degrees(c) != shown) << steps;
        shown = shell::needle_degrees(c);
        repaints += step.repaint;
        stopped = step.stop;
        EXPECT_LE(c.offset, 24.0);
        EXPECT_GE(c.offset, -24.0);
    }
    EXPECT_TRUE(stopped);
    EXPECT_GT(steps, 3);
    EXPECT_GT(repaints, 2);
    EXPECT_EQ(shell::needle_degrees(c), 0);
    EXPECT_EQ(c.speed, 0.0);
}

TEST(Compass, NeedleRoundsHalfAwayFromZero) {
    const std::pair<double, int> cases[] = {{0.49, 0}, {0.5, 1}, {-0.5, -1}, {2.5, 3}, {-2.5, -3}, {-24, -24}};
    for (const auto& [offset, want] : cases) EXPECT_EQ(shell::needle_degrees({offset, 0}), want) << offset;
}

}  // namespace
