#pragma once
// The colours both shells paint the header bar and the side windows with (red, green,
// blue); the buttons' own are in shell/buttons.h.
#include "shell/buttons.h"

namespace shell {

// Header bar.
inline constexpr Rgb HEADER_BACKGROUND{198, 193, 187};
inline constexpr Rgb HEADER_NAME{122, 78, 28};
inline constexpr Rgb HEADER_LABEL{48, 40, 32};
inline constexpr Rgb HEADER_BALANCE{110, 90, 64};
inline constexpr Rgb BADGE_FILL{176, 48, 36};
inline constexpr Rgb BADGE_TEXT{255, 244, 230};

// Settings, Terms and Camera windows.
inline constexpr Rgb SIDE_BACKGROUND{8, 12, 20};
inline constexpr Rgb SIDE_HEADING{212, 175, 55};
inline constexpr Rgb SIDE_TEXT{236, 228, 204};
inline constexpr Rgb SIDE_NOTICE{196, 64, 48};
inline constexpr Rgb SIDE_MAKER_TEXT{168, 148, 96};
inline constexpr Rgb SIDE_CARD{14, 22, 40};

}  // namespace shell
