#include "shell/buttons.h"

namespace shell {

namespace {

constexpr Rgb FACE_NORMAL{12, 16, 28};
constexpr Rgb FACE_HOVERED{36, 30, 16};
constexpr Rgb FACE_PRESSED{28, 24, 16};
constexpr Rgb BORDER_NORMAL{168, 132, 48};
constexpr Rgb BORDER_BRIGHT{212, 175, 55};
constexpr Rgb TEXT_NORMAL{236, 228, 204};
constexpr Rgb TEXT_BRIGHT{240, 208, 120};

}  // namespace

int button_fps(int id) {
    switch (id) {
    case ID_FPS_30: return 30;
    case ID_FPS_60: return 60;
    case ID_FPS_90: return 90;
    case ID_FPS_120: return 120;
    default: return 0;
    }
}

bool button_chosen(int id, const bridge::LookSettings& look) {
    if (id == ID_STEADY) return !look.quick;
    if (id == ID_QUICK) return look.quick;
    const int fps = button_fps(id);
    return fps != 0 && fps == look.fps;
}

ButtonLook button_look(bool chosen, bool hovered, bool pressed) {
    ButtonLook look;
    look.face = pressed ? FACE_PRESSED : hovered ? FACE_HOVERED : FACE_NORMAL;
    const bool bright = chosen || hovered;
    look.border = bright ? BORDER_BRIGHT : BORDER_NORMAL;
    look.text = bright ? TEXT_BRIGHT : TEXT_NORMAL;
    look.border_width = hovered ? 2 : 1;
    return look;
}

}  // namespace shell
