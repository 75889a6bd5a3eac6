#pragma once
// The setup program's switches. Each argument is tested whole: a folder path such as
// "/srv/apps" must not read as the silent switch.
#include <string>
#include <vector>

namespace setup {

struct CommandLine {
    bool silent = false;      // "/S", "/s" or "--silent"
    bool uninstall = false;   // "/uninstall" or "--uninstall"
    bool automation = false;  // "--automation": test hooks of the window
    bool has_folder = false;
    std::string folder;  // after "/D=", "/d=" or "--dir=", trailing "/" ("\\" too on Windows) removed
};

// args without the program name. After the folder switch a leading double quote is
// dropped and the folder ends at the next double quote.
CommandLine parse_command_line(const std::vector<std::string>& args);

// The arguments of a whole Windows command line, the program's name left out: split at
// spaces and tabs outside double quotes, the quotes kept and backslashes taken as they
// are. The system's own rules would read the "\"" ending /D="C:\Folder\" as an escaped
// quote and join everything after it into the folder.
std::vector<std::string> split_command_line(const std::string& line);

}  // namespace setup
