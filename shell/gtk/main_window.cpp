#include "shell/gtk/main_window.h"

#include <glib/gstdio.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bridge/handlers.h"
#include "bridge/pictures.h"
#include "bridge/workers.h"
#include "core/json.h"
#include "shell/gtk/gtk_port.h"
#include "shell/gtk/header_bar.h"
#include "shell/gtk/side_windows.h"
#include "shell/gtk/style.h"
#include "shell/gtk/update_check.h"
#include "shell/gtk/web_host.h"
#include "shell/layout.h"
#include "shell/notes_worker.h"
#include "shell/view_settings.h"
#include "wallet/connect.h"
#include "wallet/state.h"

namespace gtk_shell {

namespace {

// window.json is written once a move or resize has settled.
constexpr int SAVE_DELAY_MS = 400;
constexpr int CLOSE_POLL_MS = 100;
// Test-only (--automation): a request file in the data folder makes the next tick write a
// PNG of the whole toplevel, header included, which WebDriver's screenshot leaves out.
constexpr const char* SHOT_REQUEST = "window-shot.request";
constexpr const char* SHOT_FILE = "window-shot.png";

struct MainWindow {
    MainWindowOptions options;
    GtkApplication* app = nullptr;
    GtkWindow* window = nullptr;
    GtkWidget* bar = nullptr;
    GtkWidget* view = nullptr;    // the room, or nullptr
    GtkWidget* status = nullptr;  // shown instead of the room when it cannot start
    std::unique_ptr<GtkPort> port;
    std::unique_ptr<shell::NotesWorker> notes;
    std::atomic<bool> balance_running{false};
    bool closing = false;
    bool placement_ready = false;
    shell::WindowPlacement placement;  // the normal rectangle and the maximised flag now
    guint tick_source = 0;
    guint save_source = 0;
    std::chrono::steady_clock::time_point close_started;
};

MainWindow& main_window() {
    static MainWindow w;
    return w;
}

void save_placement() {
    MainWindow& w = main_window();
    if (!w.placement_ready) return;
    std::string error;
    // A rectangle under 640 x 480 is refused and the old file stays, as intended.
    shell::write_window(w.options.data_folder, w.placement, error);
}

void schedule_save() {
    MainWindow& w = main_window();
    if (!w.placement_ready || w.closing) return;
    if (w.save_source) g_source_remove(w.save_source);
    w.save_source = g_timeout_add(SAVE_DELAY_MS, [](gpointer) -> gboolean {
        main_window().save_source = 0;
        save_placement();
        return G_SOURCE_REMOVE;
    }, nullptr);
}

gboolean on_configure(GtkWidget* widget, GdkEventConfigure*, gpointer) {
    MainWindow& w = main_window();
    GdkWindow* gdk = gtk_widget_get_window(widget);
    const GdkWindowState state = gdk ? gdk_window_get_state(gdk) : GdkWindowState(0);
    if (!(state & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_FULLSCREEN))) {
        int x = 0, y = 0, width = 0, height = 0;
        gtk_window_get_position(w.window, &x, &y);
        gtk_window_get_size(w.window, &width, &height);
        w.placement.left = x;
        w.placement.top = y;
        w.placement.right = x + width;
        w.placement.bottom = y + height;
        w.placement.valid = true;
    }
    schedule_save();
    return FALSE;
}

gboolean on_window_state(GtkWidget*, GdkEventWindowState* event, gpointer) {
    MainWindow& w = main_window();
    if (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
        w.placement.max = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
        schedule_save();
    }
    return FALSE;
}

gboolean close_poll(gpointer) {
    MainWindow& w = main_window();
    const auto waited = std::chrono::steady_clock::now() - w.close_started;
    if (bridge::running_workers() > 0 && waited < std::chrono::milliseconds(CLOSE_WAIT_MS)) return G_SOURCE_CONTINUE;
    g_application_quit(G_APPLICATION(w.app));
    return G_SOURCE_REMOVE;
}

// The one way out. The main loop keeps running while the workers finish, so their
// replies and file writes complete; the window is already gone from the screen.
void begin_close() {
    MainWindow& w = main_window();
    if (w.closing) return;
    if (w.save_source) {
        g_source_remove(w.save_source);
        w.save_source = 0;
    }
    save_placement();
    w.closing = true;
    if (w.tick_source) {
        g_source_remove(w.tick_source);
        w.tick_source = 0;
    }
    bridge::stop_taking_operations();
    gtk_widget_hide(GTK_WIDGET(w.window));
    w.close_started = std::chrono::steady_clock::now();
    if (close_poll(nullptr) == G_SOURCE_CONTINUE) g_timeout_add(CLOSE_POLL_MS, close_poll, nullptr);
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer) {
    begin_close();
    return TRUE;
}

void start_balance_refresh() {
    MainWindow& w = main_window();
    if (w.balance_running.exchange(true)) return;
    if (!bridge::start_worker([] {
            wallet::refresh_wallet_status();
            main_window().balance_running = false;
        }))
        w.balance_running = false;
}

void on_connect_pressed() {
    if (main_window().closing) return;
    if (wallet::snapshot_ready_hd()) {
        // The header notices the change on its next tick.
        bridge::start_worker([] { wallet::disconnect_wallet(); });
    } else {
        bridge::on_connect();
    }
}

void on_settings_pressed() {
    MainWindow& w = main_window();
    if (w.closing) return;
    GtkWindow* parent = w.window;
    SettingsActions actions;
    actions.open_camera = [parent] {
        show_camera_window(parent, main_window().options.data_folder, [] { bridge::send_look(); });
    };
    actions.open_terms = [parent] { show_terms_window(parent); };
    show_settings_window(parent, actions);
}

void take_requested_shot() {
    MainWindow& w = main_window();
    const std::string request = w.options.data_folder + "/" + SHOT_REQUEST;
    if (!g_file_test(request.c_str(), G_FILE_TEST_EXISTS)) return;
    g_remove(request.c_str());
    GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(w.window));
    if (!gdk) return;
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk), gdk_window_get_height(gdk));
    if (!shot) return;
    // Written beside and renamed, so a reader never sees half a file.
    const std::string path = w.options.data_folder + "/" + SHOT_FILE;
    const std::string temporary = path + ".tmp";
    if (gdk_pixbuf_save(shot, temporary.c_str(), "png", nullptr, nullptr)) g_rename(temporary.c_str(), path.c_str());
    g_object_unref(shot);
}

// Test-only (--automation): each new notes list as one line on stderr.
void print_notes(const std::vector<bridge::NoteItem>& notes) {
    core::Json list = core::Json::array();
    for (const auto& n : notes) list.push_back({{"spot", n.spot}, {"text", n.text}});
    std::fprintf(stderr, "notes: %s\n", core::dump_compact(list).c_str());
    std::fflush(stderr);
}

gboolean on_tick(gpointer) {
    MainWindow& w = main_window();
    if (w.closing) return G_SOURCE_REMOVE;
    if (w.options.automation) take_requested_shot();
    if (take_show_request(w.options.instance)) main_window_present();
    const shell::HeaderRefresh refresh = header_bar_tick(w.bar, wallet::wallet_snapshot());
    if (refresh.start_balance_refresh) start_balance_refresh();
    if (refresh.start_notes_refresh && w.notes) w.notes->start();
    return G_SOURCE_CONTINUE;
}

void show_status(const char* text) {
    MainWindow& w = main_window();
    gtk_label_set_text(GTK_LABEL(w.status), text);
    gtk_widget_show(w.status);
    if (w.view) gtk_widget_hide(w.view);
}

std::vector<shell::Rect> work_areas(GdkDisplay* display) {
    std::vector<shell::Rect> areas;
    const int n = gdk_display_get_n_monitors(display);
    for (int i = 0; i < n; ++i) {
        GdkRectangle r{};
        gdk_monitor_get_workarea(gdk_display_get_monitor(display, i), &r);
        areas.push_back(shell::rect_at(r.x, r.y, r.width, r.height));
    }
    return areas;
}

shell::Rect cursor_work_area(GdkDisplay* display) {
    int x = 0, y = 0;
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (pointer) gdk_device_get_position(pointer, nullptr, &x, &y);
    GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, x, y);
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    GdkRectangle r{0, 0, 1280, 800};
    if (monitor) gdk_monitor_get_workarea(monitor, &r);
    return shell::rect_at(r.x, r.y, r.width, r.height);
}

void place_window() {
    MainWindow& w = main_window();
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(w.window));
    const shell::StartPlacement start = shell::start_placement(
        shell::read_window(w.options.data_folder), work_areas(display), cursor_work_area(display));
    gtk_window_set_default_size(w.window, start.normal.width(), start.normal.height());
    gtk_window_move(w.window, start.normal.left, start.normal.top);
    w.placement = {true, start.normal.left, start.normal.top, start.normal.right, start.normal.bottom, start.maximise};
    if (start.maximise) gtk_window_maximize(w.window);
}

}  // namespace

GtkWindow* main_window_start(GtkApplication* app, const MainWindowOptions& options) {
    MainWindow& w = main_window();
    w.options = options;
    w.app = app;
    install_style();

    w.window = GTK_WINDOW(gtk_application_window_new(app));
    gtk_window_set_title(w.window, "Quenvale");
    gtk_window_set_default_size(w.window, 1280, 800);
    g_signal_connect(w.window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(w.window, "configure-event", G_CALLBACK(on_configure), nullptr);
    g_signal_connect(w.window, "window-state-event", G_CALLBACK(on_window_state), nullptr);

    HeaderActions actions;
    actions.connect_pressed = on_connect_pressed;
    actions.settings_pressed = on_settings_pressed;
    actions.close_pressed = begin_close;
    actions.note_chosen = [](int spot) {
        if (!main_window().closing) bridge::on_select(spot);
    };
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    w.bar = header_bar_new(actions);
    gtk_box_pack_start(GTK_BOX(box), w.bar, FALSE, FALSE, 0);
    w.status = gtk_label_new("");
    gtk_label_set_line_wrap(GTK_LABEL(w.status), TRUE);
    gtk_box_pack_start(GTK_BOX(box), w.status, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(w.window), box);

    PortHooks hooks;
    hooks.deliver = [](const std::string& json) { web_host_deliver(main_window().view, json); };
    hooks.notes = [](std::vector<bridge::NoteItem> notes) {
        if (main_window().options.automation) print_notes(notes);
        header_bar_set_notes(main_window().bar, std::move(notes));
    };
    hooks.facing = [](const std::string& word, int deg, int delta) {
        header_bar_facing(main_window().bar, word, deg, delta);
    };
    hooks.notes_refresh = [] {
        if (main_window().notes) main_window().notes->start();
    };
    hooks.quit = begin_close;
    hooks.parent = [] { return main_window().window; };
    hooks.data_folder = options.data_folder;
    w.port = std::make_unique<GtkPort>(std::move(hooks));
    w.notes = std::make_unique<shell::NotesWorker>(*w.port, shell::live_notes_sources());

    place_window();
    gtk_widget_show_all(GTK_WIDGET(w.window));
    gtk_widget_hide(w.status);
    w.placement_ready = true;
    save_placement();

    // The store is chosen before the room asks for its first picture.
    bridge::set_picture_folders(options.web_folder, options.data_folder);
    bridge::start_bridge(w.port.get());
    on_tick(nullptr);
    w.tick_source = g_timeout_add(TICK_MS, on_tick, nullptr);

    WebHostOptions web;
    web.web_folder = options.web_folder;
    web.data_folder = options.data_folder;
    web.automation = options.automation;
    web.closed = begin_close;
    web.failed = [] { show_status(WEB_VIEW_MISSING_TEXT); };
    w.view = web_host_new(web);
    if (w.view) {
        gtk_box_pack_start(GTK_BOX(box), w.view, TRUE, TRUE, 0);
        gtk_widget_show(w.view);
        gtk_widget_grab_focus(w.view);
    } else {
        show_status(WEB_VIEW_MISSING_TEXT);
    }

    start_update_check(w.window);
    return w.window;
}

void main_window_present() {
    MainWindow& w = main_window();
    if (!w.window || w.closing) return;
    gtk_window_deiconify(w.window);
    gtk_window_present(w.window);
}

void main_window_finish() {
    MainWindow& w = main_window();
    // Its destructor waits for a run in progress; the port's queue is not drained any more.
    w.notes.reset();
    // A worker still running past the close wait may post through the port while the
    // process exits: the port stays for the process's life.
    static_cast<void>(w.port.release());
}

}  // namespace gtk_shell
