// Windows: the wallet window is a GTK window and is built on Linux only. Started with no
// command (as the gallery's Connect starts it), Wendrel.exe says so and where to turn.
#include "tools/wendrel/cli.h"

namespace wendrel {

int run_window(bool) {
    return fail("the wallet window is not part of the Windows build; answer the gallery with "
                "\"Wendrel requests\" and \"Wendrel approve\" (all commands: Wendrel --help)");
}

}  // namespace wendrel
