#pragma once
// The two view settings files in the data folder: look.json (drag speed and frame rate)
// and window.json (the main window's last normal rectangle and whether it was
// maximised). Each function takes the folder, so tests point it at a temporary one; the
// program passes platform::data_dir(). Reads never write, and every read problem gives
// the defaults silently; writes replace the whole file atomically.
#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/port.h"

namespace shell {

// Only this much of look.json is looked at.
inline constexpr std::size_t LOOK_READ_BYTES = 159;
// window.json is one short line; anything bigger is not ours.
inline constexpr std::size_t WINDOW_FILE_MAX = 4096;
// The smallest normal rectangle kept, and the edges a saved one must stay within.
inline constexpr int MIN_WINDOW_WIDTH = 640;
inline constexpr int MIN_WINDOW_HEIGHT = 480;
inline constexpr int MIN_WINDOW_EDGE = -8000;
inline constexpr int MAX_WINDOW_RIGHT = 20000;
inline constexpr int MAX_WINDOW_BOTTOM = 16000;

// Steady and 60 frames a second: what the room shows when look.json says nothing usable.
bridge::LookSettings default_look();
// 30, 60, 90 or 120.
bool valid_fps(int fps);

// look.json is searched as text, not parsed: quick is true when the text holds
// "quick":true, or holds no "quick" at all but the word true; fps is the number after
// "fps": when it is one of the four rates, else 60. A missing or unreadable file gives
// the defaults.
bridge::LookSettings read_look(const std::string& folder);
// The text read_look reads, for the given bytes (exposed for tests and the fuzzer).
bridge::LookSettings parse_look(std::string_view text);
// Writes {"quick":…,"fps":…} and a line feed. A rate that is not one of the four is
// written as 60, so the file always reads back as what the room shows.
bool write_look(const std::string& folder, const bridge::LookSettings& look, std::string& error);

struct WindowPlacement {
    bool valid = false;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool max = false;
};

// The saved placement; valid only when the file is one JSON object whose "left", "top",
// "right" and "bottom" are integers (absent counts 0) and "max" a boolean (absent is
// false), and the rectangle is at least 640 x 480 with left and top at least -8000, right
// at most 20000 and bottom at most 16000.
WindowPlacement read_window(const std::string& folder);
WindowPlacement parse_window(std::string_view text);
// Writes the normal rectangle and the maximised flag; a rectangle smaller than 640 x 480
// is not written (false, error says so) and the old file stays.
bool write_window(const std::string& folder, const WindowPlacement& placement, std::string& error);

}  // namespace shell
