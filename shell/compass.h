#pragma once
// The compass needle's wobble: a facing change kicks it, the 32 ms compass timer damps
// it until it settles. Pure steps over a small state; the backend owns the timer.
namespace shell {

inline constexpr int COMPASS_TIMER_MS = 32;
inline constexpr double COMPASS_KICK = 0.5;        // speed per degree turned
inline constexpr double COMPASS_MAX_SPEED = 16.0;
inline constexpr double COMPASS_PULL = 0.42;       // spring back towards 0
inline constexpr double COMPASS_DAMPING = 0.64;
inline constexpr double COMPASS_MAX_OFFSET = 24.0;  // degrees
inline constexpr double COMPASS_REST = 0.4;         // both under this: settled

struct CompassState {
    double offset = 0;  // needle swing in degrees
    double speed = 0;
};

// The view turned by delta degrees (-180..180, as ShellPort::facing_changed reports):
// speed = clamp(speed - delta x 0.5, -16, 16). The backend then starts the timer.
void compass_kick(CompassState& compass, int delta);

struct CompassStep {
    bool repaint = false;  // the rounded offset changed
    bool stop = false;     // settled: stop the timer
};
// One timer step: speed = (speed - offset x 0.42) x 0.64; offset += speed, kept within
// +-24; otherwise, with offset and speed both strictly within +-0.4, both become 0 and
// the timer stops.
CompassStep compass_step(CompassState& compass);

// The needle's swing as drawn: the offset rounded half away from zero.
int needle_degrees(const CompassState& compass);

}  // namespace shell
