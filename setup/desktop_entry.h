#pragma once
// The desktop entries the setup writes: the program's menu entry and desktop shortcut
// (made from the installed template with the installed paths filled in) and the
// "Uninstall Quenvale" menu entry.
#include <string>

namespace setup {

// One argument of an Exec line: always in double quotes, with the characters the entry
// format reserves escaped, then escaped again as the value of a string key. "" when the
// text holds a control character, which no entry can carry.
std::string exec_argument(const std::string& text);
// The value of a string key (Path, Icon): backslashes doubled; "" for control characters.
std::string string_value(const std::string& text);

// The template with Exec, Icon and Path naming program, icon and folder by absolute
// path (TryExec left out). "" when a path cannot be written into an entry.
std::string program_entry(const std::string& template_text, const std::string& program,
                          const std::string& icon, const std::string& folder);

// "Uninstall Quenvale": runs the setup copy with /uninstall. "" as above.
std::string uninstall_entry(const std::string& setup_copy, const std::string& icon);

}  // namespace setup
