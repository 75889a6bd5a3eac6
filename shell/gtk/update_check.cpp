#include "shell/gtk/update_check.h"

#include <memory>
#include <thread>
#include <utility>

#include "chain/http.h"
#include "core/profile.h"
#include "shell/gtk/side_windows.h"

namespace gtk_shell {

namespace {

// User-interface thread state for the run.
bool announced = false;
bool asked = false;
std::string page_url;

// The main window, forgotten by GTK if it goes before the check ends.
struct Pending {
    GtkWindow* parent = nullptr;
};

struct Delivery {
    Pending* pending = nullptr;
    shell::UpdateCheck check;
};

void open_url(GtkWindow* parent, const std::string& url) {
    if (url.empty()) return;
    GError* error = nullptr;
    // No browser is no error worth showing: the question was the whole notice.
    if (!gtk_show_uri_on_window(parent, url.c_str(), GDK_CURRENT_TIME, &error) && error) g_error_free(error);
}

void on_answer(GtkDialog* dialog, gint response, gpointer data) {
    auto* parent = static_cast<GtkWindow*>(data);
    gtk_widget_destroy(GTK_WIDGET(dialog));
    if (response == GTK_RESPONSE_YES) open_url(parent, page_url);
}

void ask(GtkWindow* parent, const shell::UpdateCheck& check) {
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s", check.question.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), shell::UPDATE_TITLE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
    g_signal_connect(dialog, "response", G_CALLBACK(on_answer), parent);
    gtk_widget_show(dialog);
}

gboolean deliver(gpointer data) {
    auto* d = static_cast<Delivery*>(data);
    GtkWindow* parent = d->pending->parent;
    if (parent) g_object_remove_weak_pointer(G_OBJECT(parent), reinterpret_cast<gpointer*>(&d->pending->parent));
    if (d->check.newer && parent) {
        announced = true;
        page_url = d->check.page_url;
        refresh_settings_window();
        if (!asked) {
            asked = true;
            ask(parent, d->check);
        }
    }
    return G_SOURCE_REMOVE;
}

void free_delivery(gpointer data) {
    auto* d = static_cast<Delivery*>(data);
    delete d->pending;
    delete d;
}

}  // namespace

shell::HttpReply fetch_update_page(const std::string& url, const std::string& user_agent, std::size_t max_body) {
    const chain::HttpResult r = chain::page_get(url, user_agent, max_body);
    shell::HttpReply reply;
    reply.status = static_cast<int>(r.status);
    reply.body = r.body;
    return reply;
}

void start_update_check(GtkWindow* parent) {
    if (!parent) return;
    auto* pending = new Pending{parent};
    g_object_add_weak_pointer(G_OBJECT(parent), reinterpret_cast<gpointer*>(&pending->parent));
    const std::string site = core::profile().update_site;
    try {
        std::thread([pending, site] {
            auto* d = new Delivery{pending, shell::check_for_update(site, fetch_update_page)};
            // Always delivered, so the weak pointer is dropped on the interface thread.
            g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, deliver, d, free_delivery);
        }).detach();
    } catch (...) {  // no thread: no check this run
        g_object_remove_weak_pointer(G_OBJECT(parent), reinterpret_cast<gpointer*>(&pending->parent));
        delete pending;
    }
}

bool update_available() { return announced; }

void open_update_page(GtkWindow* parent) {
    if (announced) open_url(parent, page_url);
}

}  // namespace gtk_shell
