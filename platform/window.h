#pragma once
// Finding and raising another program's top-level window.
#include <string>

namespace platform {

// Raises (maps, brings to front, focuses) a top-level window whose class is
// window_class. False when no display is open or no such window exists.
bool raise_window_by_class(const std::string& window_class);

}  // namespace platform
