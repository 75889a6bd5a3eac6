#pragma once
// The owner-drawn buttons: their ids, which of the Camera window's options shows as
// chosen for the current look, and the colours a button is painted in.
#include <cstdint>

#include "bridge/port.h"

namespace shell {

inline constexpr int ID_CONNECT = 101;
inline constexpr int ID_SETTINGS = 102;  // a picture button, drawn from its picture
inline constexpr int ID_CLOSE = 103;
inline constexpr int ID_STEADY = 201;
inline constexpr int ID_QUICK = 202;
inline constexpr int ID_SETTINGS_CLOSE = 203;
inline constexpr int ID_FPS_30 = 204;
inline constexpr int ID_FPS_60 = 205;
inline constexpr int ID_FPS_90 = 206;
inline constexpr int ID_FPS_120 = 207;
inline constexpr int ID_CAMERA = 208;
inline constexpr int ID_TERMS = 209;
inline constexpr int ID_CAMERA_CLOSE = 210;
inline constexpr int ID_TERMS_CLOSE = 211;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// Behind the Settings picture button.
inline constexpr Rgb PICTURE_BUTTON_BACKGROUND{198, 193, 187};

// Steady or Quick, or the frame-rate button of the current rate; no other id is ever
// chosen.
bool button_chosen(int id, const bridge::LookSettings& look);

// The frame rate a Camera button sets (0 for other ids).
int button_fps(int id);

struct ButtonLook {
    Rgb face;
    Rgb border;
    Rgb text;
    int border_width = 1;  // 2 while hovered
};
// Face: pressed, else hovered, else normal. Border and text are bright when the button
// is chosen or hovered.
ButtonLook button_look(bool chosen, bool hovered, bool pressed);

}  // namespace shell
