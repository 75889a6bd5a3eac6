// look.json and window.json as found in the data folder; the first byte picks which.
// Checks that a read gives a frame rate the room can show and only a window rectangle
// within the limits, and that what is read, written and read again is the same.
#include <cstddef>
#include <cstdint>

#include "shell/view_settings.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::platform_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text = fuzz_support::text_of(data + 1, size - 1);
    const std::string& folder = fuzz_support::platform_dir();
    std::string error;
    if (data[0] & 1) {
        const bridge::LookSettings look = shell::parse_look(text);
        if (!shell::valid_fps(look.fps)) fuzz_support::fail("look.json gave a frame rate the room cannot show");
        if (!shell::write_look(folder, look, error)) fuzz_support::fail("look.json could not be written");
        const bridge::LookSettings again = shell::read_look(folder);
        if (again.quick != look.quick || again.fps != look.fps) fuzz_support::fail("look.json does not read back");
        return 0;
    }
    const shell::WindowPlacement w = shell::parse_window(text);
    if (!w.valid) return 0;
    if (w.right - w.left < shell::MIN_WINDOW_WIDTH || w.bottom - w.top < shell::MIN_WINDOW_HEIGHT ||
        w.left < shell::MIN_WINDOW_EDGE || w.top < shell::MIN_WINDOW_EDGE || w.right > shell::MAX_WINDOW_RIGHT ||
        w.bottom > shell::MAX_WINDOW_BOTTOM)
        fuzz_support::fail("window.json gave a rectangle outside the limits");
    if (!shell::write_window(folder, w, error)) fuzz_support::fail("a valid placement could not be written");
    const shell::WindowPlacement again = shell::read_window(folder);
    if (!again.valid || again.left != w.left || again.top != w.top || again.right != w.right ||
        again.bottom != w.bottom || again.max != w.max)
        fuzz_support::fail("window.json does not read back");
    return 0;
}
