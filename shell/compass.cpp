#include "shell/compass.h"

#include <algorithm>
#include <cmath>

namespace shell {

void compass_kick(CompassState& compass, int delta) {
    compass.speed = std::clamp(compass.speed - delta * COMPASS_KICK, -COMPASS_MAX_SPEED, COMPASS_MAX_SPEED);
}

CompassStep compass_step(CompassState& compass) {
    CompassStep out;
    const int before = needle_degrees(compass);
    compass.speed = (compass.speed - compass.offset * COMPASS_PULL) * COMPASS_DAMPING;
    compass.offset += compass.speed;
    if (compass.offset > COMPASS_MAX_OFFSET) {
        compass.offset = COMPASS_MAX_OFFSET;
    } else if (compass.offset < -COMPASS_MAX_OFFSET) {
        compass.offset = -COMPASS_MAX_OFFSET;
    } else if (std::fabs(compass.offset) < COMPASS_REST && std::fabs(compass.speed) < COMPASS_REST) {
        compass = CompassState{};
        out.stop = true;
    }
    out.repaint = needle_degrees(compass) != before;
    return out;
}

int needle_degrees(const CompassState& compass) { return static_cast<int>(std::lround(compass.offset)); }

}  // namespace shell
