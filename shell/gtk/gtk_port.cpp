#include "shell/gtk/gtk_port.h"

#include "bridge/handlers.h"
#include "shell/view_settings.h"

namespace gtk_shell {

GtkPort::GtkPort(PortHooks hooks) : hooks_(std::move(hooks)) {}

void GtkPort::run_on_ui(std::function<void()> task) {
    bool schedule = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
        schedule = !drain_pending_;
        drain_pending_ = true;
    }
    // Always deferred, also from the user-interface thread: a reply posted by a handler
    // must not overtake one a worker queued before it, nor run inside the handler.
    if (schedule) g_idle_add_full(G_PRIORITY_DEFAULT, drain, this, nullptr);
}

gboolean GtkPort::drain(gpointer self) {
    auto* port = static_cast<GtkPort*>(self);
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(port->mutex_);
            if (port->queue_.empty()) {
                port->drain_pending_ = false;
                return G_SOURCE_REMOVE;
            }
            task = std::move(port->queue_.front());
            port->queue_.pop_front();
        }
        task();
    }
}

void GtkPort::post_page_reply(std::string json) {
    run_on_ui([this, json = std::move(json)] {
        if (hooks_.deliver) hooks_.deliver(json);
    });
}

void GtkPort::post_notes(std::vector<bridge::NoteItem> notes) {
    run_on_ui([this, notes = std::move(notes)]() mutable {
        if (hooks_.notes) hooks_.notes(std::move(notes));
    });
}

void GtkPort::post_entry_result(std::string text) {
    run_on_ui([text = std::move(text)] { bridge::entry_result(text); });
}

bool GtkPort::ask_yes_no(const std::string& question, const std::string& title) {
    GtkWindow* parent = hooks_.parent ? hooks_.parent() : nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s", question.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title.empty() ? "Quenvale" : title.c_str());
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
    const gint answer = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return answer == GTK_RESPONSE_YES;
}

void GtkPort::start_quit_timer(int ms) {
    auto* quit = new std::function<void()>(hooks_.quit);
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(ms < 0 ? 0 : ms),
        [](gpointer data) -> gboolean {
            auto* fn = static_cast<std::function<void()>*>(data);
            if (*fn) (*fn)();
            return G_SOURCE_REMOVE;
        },
        quit, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void GtkPort::facing_changed(const std::string& word, int deg, int delta) {
    if (hooks_.facing) hooks_.facing(word, deg, delta);
}

void GtkPort::start_notes_refresh() {
    if (hooks_.notes_refresh) hooks_.notes_refresh();
}

bridge::LookSettings GtkPort::look_settings() { return shell::read_look(hooks_.data_folder); }

}  // namespace gtk_shell
