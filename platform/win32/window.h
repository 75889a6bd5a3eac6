#pragma once
// Windows only: raising a program's own running copy.
#include <string>

namespace platform::win32 {

// Raises a top-level window of window_class that is shown (a minimised one counts). A
// hidden window is passed over: for a program's own class it belongs to a copy that is
// on its way out. False when there is none.
bool raise_shown_window_by_class(const std::string& window_class);

}  // namespace platform::win32
