// Stand-in for engineer CHROME's header bar, side windows, update check and style, built
// only while their files are absent (CMakeLists.txt), so the program runs end to end
// before the two trees meet. A plain row: wallet label, balance, Connect, Settings, Close.
#include <gtk/gtk.h>

#include "shell/gtk/header_bar.h"
#include "shell/gtk/side_windows.h"
#include "shell/gtk/style.h"
#include "shell/gtk/update_check.h"

namespace gtk_shell {

namespace {

struct StubBar {
    HeaderActions actions;
    shell::HeaderState state;
    GtkWidget* label = nullptr;
    GtkWidget* connect = nullptr;
};

StubBar* bar_of(GtkWidget* bar) { return static_cast<StubBar*>(g_object_get_data(G_OBJECT(bar), "quenvale-bar")); }

void call(GtkButton*, gpointer data) {
    auto* fn = static_cast<std::function<void()>*>(data);
    if (*fn) (*fn)();
}

GtkWidget* button(GtkWidget* box, const char* text, std::function<void()>* fn) {
    GtkWidget* b = gtk_button_new_with_label(text);
    g_signal_connect(b, "clicked", G_CALLBACK(call), fn);
    gtk_box_pack_end(GTK_BOX(box), b, FALSE, FALSE, 4);
    return b;
}

}  // namespace

GtkWidget* header_bar_new(const HeaderActions& actions) {
    auto* s = new StubBar{actions, {}, nullptr, nullptr};
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_size_request(box, -1, 48);
    s->label = gtk_label_new("Not connected");
    gtk_box_pack_start(GTK_BOX(box), s->label, FALSE, FALSE, 12);
    button(box, "Close", &s->actions.close_pressed);
    button(box, "Settings", &s->actions.settings_pressed);
    s->connect = button(box, "Connect", &s->actions.connect_pressed);
    g_object_set_data_full(G_OBJECT(box), "quenvale-bar", s, [](gpointer p) { delete static_cast<StubBar*>(p); });
    return box;
}

shell::HeaderRefresh header_bar_tick(GtkWidget* bar, const wallet::WalletSnapshot& snapshot) {
    StubBar* s = bar_of(bar);
    shell::HeaderRefresh r = shell::refresh_header(s->state, snapshot);
    if (r.repaint) {
        const std::string text = s->state.label + (s->state.balance.empty() ? "" : "   " + s->state.balance);
        gtk_label_set_text(GTK_LABEL(s->label), text.c_str());
    }
    gtk_button_set_label(GTK_BUTTON(s->connect), r.button_text.c_str());
    return r;
}

void header_bar_set_notes(GtkWidget*, std::vector<bridge::NoteItem>) {}
void header_bar_facing(GtkWidget*, const std::string&, int, int) {}

void show_settings_window(GtkWindow*, const SettingsActions&) {}
void show_camera_window(GtkWindow*, const std::string&, std::function<void()>) {}
void show_terms_window(GtkWindow*) {}
void start_update_check(GtkWindow*) {}
void install_style() {}

}  // namespace gtk_shell
