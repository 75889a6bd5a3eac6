#include "setup/command_line.h"

#include "platform/install_files.h"

namespace setup {

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine c;
    for (const auto& a : args) {
        if (a == "/S" || a == "/s" || a == "--silent") {
            c.silent = true;
        } else if (a == "/uninstall" || a == "--uninstall") {
            c.uninstall = true;
        } else if (a == "--automation") {
            c.automation = true;
        } else {
            std::string value;
            if (a.rfind("/D=", 0) == 0 || a.rfind("/d=", 0) == 0) {
                value = a.substr(3);
            } else if (a.rfind("--dir=", 0) == 0) {
                value = a.substr(6);
            } else {
                continue;
            }
            if (!value.empty() && value[0] == '"') {
                value.erase(0, 1);
                const std::size_t end = value.find('"');
                if (end != std::string::npos) value.resize(end);
            }
            while (!value.empty() && platform::is_path_separator(value.back())) value.pop_back();
            c.has_folder = true;
            c.folder = value;
        }
    }
    return c;
}

std::vector<std::string> split_command_line(const std::string& line) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, have = false;
    for (char c : line) {
        if (!quoted && (c == ' ' || c == '\t')) {
            if (have) args.push_back(current);
            current.clear();
            have = false;
            continue;
        }
        if (c == '"') quoted = !quoted;
        current += c;
        have = true;
    }
    if (have) args.push_back(current);
    if (!args.empty()) args.erase(args.begin());
    return args;
}

}  // namespace setup
