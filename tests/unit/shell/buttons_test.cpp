// Which Camera option shows as chosen and the colours of a button's states.
#include "shell/buttons.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Buttons, ChosenFollowsTheLook) {
    const int ids[] = {shell::ID_CONNECT, shell::ID_SETTINGS, shell::ID_CLOSE, shell::ID_STEADY,
                       shell::ID_QUICK,   shell::ID_FPS_30,   shell::ID_FPS_60, shell::ID_FPS_90,
                       shell::ID_FPS_120, shell::ID_CAMERA,   shell::ID_TERMS, shell::ID_CAMERA_CLOSE};
    struct Case {
        bridge::LookSettings look;
        std::set<int> chosen;
    };
    const Case cases[] = {
        {{false, 60}, {shell::ID_STEADY, shell::ID_FPS_60}},
        {{true, 120}, {shell::ID_QUICK, shell::ID_FPS_120}},
        {{true, 30}, {shell::ID_QUICK, shell::ID_FPS_30}},
        {{false, 90}, {shell::ID_STEADY, shell::ID_FPS_90}},
        {{false, 75}, {shell::ID_STEADY}},  // no rate button for a rate the room does not offer
    };
    for (const Case& c : cases) {
        for (int id : ids)
            EXPECT_EQ(shell::button_chosen(id, c.look), c.chosen.count(id) == 1)
                << "id " << id << ", quick " << c.look.quick << ", fps " << c.look.fps;
    }
}

TEST(Buttons, ColoursOfEachState) {
    using shell::Rgb;
    struct Case {
        bool chosen, hovered, pressed;
        Rgb face, border, text;
        int width;
    };
    const Rgb normal_face{12, 16, 28}, hovered_face{36, 30, 16}, pressed_face{28, 24, 16};
    const Rgb border{168, 132, 48}, bright_border{212, 175, 55};
    const Rgb text{236, 228, 204}, bright_text{240, 208, 120};
    const Case cases[] = {
        {false, false, false, normal_face, border, text, 1},
        {true, false, false, normal_face, bright_border, bright_text, 1},
        {false, true, false, hovered_face, bright_border, bright_text, 2},
        {false, true, true, pressed_face, bright_border, bright_text, 2},
        {false, false, true, pressed_face, border, text, 1},
        {true, true, true, pressed_face, bright_border, bright_text, 2},
    };
    for (const Case& c : cases) {
        const auto look = shell::button_look(c.chosen, c.hovered, c.pressed);
        SCOPED_TRACE(testing::Message() << c.chosen << c.hovered << c.pressed);
        EXPECT_EQ(look.face, c.face);
        EXPECT_EQ(look.border, c.border);
        EXPECT_EQ(look.text, c.text);
        EXPECT_EQ(look.border_width, c.width);
    }
}

}  // namespace
