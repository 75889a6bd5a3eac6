#include "setup/desktop_entry.h"

#include <sstream>

#include "setup/table.h"

namespace setup {

namespace {

bool has_control(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) return true;
    }
    return false;
}

}  // namespace

std::string exec_argument(const std::string& text) {
    if (text.empty() || has_control(text)) return "";
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        // A lone % would start a field code.
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return string_value(quoted);
}

std::string string_value(const std::string& text) {
    if (has_control(text)) return "";
    std::string out;
    for (char c : text) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string program_entry(const std::string& template_text, const std::string& program,
                          const std::string& icon, const std::string& folder) {
    const std::string exec = exec_argument(program);
    const std::string icon_value = string_value(icon);
    const std::string path_value = string_value(folder);
    if (exec.empty() || icon_value.empty() || path_value.empty()) return "";
    std::istringstream in(template_text);
    std::ostringstream out;
    std::string line;
    bool in_main_group = false;
    bool wrote_paths = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            if (in_main_group && !wrote_paths) {
                out << "Exec=" << exec << "\nIcon=" << icon_value << "\nPath=" << path_value << "\n";
                wrote_paths = true;
            }
            in_main_group = line == "[Desktop Entry]";
            out << line << "\n";
            continue;
        }
        if (in_main_group) {
            if (line.rfind("Exec=", 0) == 0 || line.rfind("Icon=", 0) == 0 ||
                line.rfind("Path=", 0) == 0 || line.rfind("TryExec=", 0) == 0) {
                continue;
            }
        }
        out << line << "\n";
    }
    if (!in_main_group && !wrote_paths) return "";  // no [Desktop Entry] group at all
    if (!wrote_paths) out << "Exec=" << exec << "\nIcon=" << icon_value << "\nPath=" << path_value << "\n";
    return out.str();
}

std::string uninstall_entry(const std::string& setup_copy, const std::string& icon) {
    const std::string exec = exec_argument(setup_copy);
    const std::string icon_value = string_value(icon);
    if (exec.empty() || icon_value.empty()) return "";
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Version=1.0\n"
        << "Name=Uninstall " << PRODUCT << "\n"
        << "Comment=Remove " << PRODUCT << " from this computer\n"
        << "Exec=" << exec << " /uninstall\n"
        << "Icon=" << icon_value << "\n"
        << "Terminal=false\n"
        << "Categories=Utility;\n";
    return out.str();
}

}  // namespace setup
