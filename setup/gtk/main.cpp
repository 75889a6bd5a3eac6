// The setup program: silent with /S, otherwise its window.
#include <string>
#include <vector>

#include "setup/command_line.h"
#include "setup/gtk/window.h"
#include "setup/silent.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const setup::CommandLine command_line = setup::parse_command_line(args);
    if (command_line.silent) return setup::run_silent(command_line);
    return setup_gtk::run_window(command_line, argc, argv);
}
