#include "setup/look.h"

#include "setup/progress.h"
#include "setup/table.h"
#include "shell/layout.h"

namespace setup {

int client_width(int dpi) { return shell::scaled(800, dpi); }
int client_height(int dpi) { return shell::scaled(780, dpi); }

Layout window_layout(int dpi, int w, int h) {
    auto S = [dpi](int n) { return shell::scaled(n, dpi); };
    Layout l;
    l.w = w;
    l.h = h;
    l.margin = S(40);
    l.picture = {l.margin, S(28), S(128), S(128)};
    l.text_x = S(40 + 128 + 22);
    l.folder = {l.margin, S(300), l.w - l.margin - S(140) - l.margin - S(14), S(44)};
    l.browse = {l.w - l.margin - S(140), S(300), S(140), S(44)};
    l.notice_y = S(300 + 44 + 22);
    l.options_y = l.notice_y + S(36);
    l.row_h = S(38);
    l.action = {(l.w - S(260)) / 2, l.h - S(20) - S(56), S(260), S(56)};
    l.progress = {l.margin, l.action.y - S(14), l.w - 2 * l.margin, S(10)};
    l.status = {l.margin, l.progress.y - S(26), l.w - 2 * l.margin, S(26)};
    l.footer_y = l.progress.y - S(128);
    return l;
}

std::string option_label(int row) {
    if (row == 0) return "Desktop shortcut";
    if (row == 1) return "Start menu shortcut";
    return std::string("Open ") + PRODUCT + " when finished";
}

bool option_value(int row) {
    const Options& o = options();
    return row == 0 ? o.desktop_shortcut : row == 1 ? o.start_menu : o.open_when_finished;
}

void toggle_option(int row) {
    Options& o = options();
    if (row == 0) o.desktop_shortcut = !o.desktop_shortcut;
    if (row == 1) o.start_menu = !o.start_menu;
    if (row == 2) o.open_when_finished = !o.open_when_finished;
}

int option_row_at(const Layout& l, int dpi, int x, int y) {
    if (x < l.margin || x >= l.margin + shell::scaled(520, dpi) || y < l.options_y) return -1;
    const int row = (y - l.options_y) / l.row_h;
    return row < OPTION_ROWS ? row : -1;
}

}  // namespace setup
