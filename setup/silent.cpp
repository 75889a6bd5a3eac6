#include "setup/silent.h"

#include "setup/engine.h"
#include "setup/places.h"
#include "setup/progress.h"

namespace setup {

int run_silent(const CommandLine& command_line) {
    options().open_when_finished = false;
    const Driver driver;
    if (command_line.uninstall) {
        uninstall_from("", driver);
    } else {
        install_to(command_line.has_folder ? command_line.folder : places().install_folder, driver);
    }
    return progress().finished ? 0 : 1;
}

}  // namespace setup
