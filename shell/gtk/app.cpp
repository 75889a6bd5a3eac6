// The program quenvale on Linux: single instance per executable folder, then the main
// window in a GtkApplication. With --automation (tests only) WebKitWebDriver may drive
// the room and every start opens its own window.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/profile.h"
#include "platform/folders.h"
#include "shell/gtk/main_window.h"
#include "shell/gtk/single_instance.h"
#include "wallet/registry.h"

namespace {

constexpr const char* APP_ID = "org.quenvale.Quenvale";
constexpr const char* AUTOMATION_SWITCH = "--automation";
// How long a later start waits for the first copy to show its window or to end (an ending
// copy's last requests are bounded by their time-outs).
constexpr int FIRST_COPY_WAIT_MS = 30000;

gtk_shell::MainWindowOptions g_options;

void on_activate(GApplication* app, gpointer) {
    static bool started = false;
    if (started) {
        gtk_shell::main_window_present();
        return;
    }
    started = true;
    gtk_shell::main_window_start(GTK_APPLICATION(app), g_options);
}

}  // namespace

int main(int argc, char** argv) {
    // GApplication ends on options it does not know: the switch is taken out first.
    std::vector<char*> args;
    bool automation = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], AUTOMATION_SWITCH) == 0)
            automation = true;
        else
            args.push_back(argv[i]);
    }
    args.push_back(nullptr);

    g_set_prgname(gtk_shell::PROGRAM_NAME);
    // A profile that does not load leaves every chain call failing with its reason; say it once.
    if (const std::string problem = core::profile_error(); !problem.empty())
        std::fprintf(stderr, "quenvale: %s\n", problem.c_str());
    const std::string instance = platform::executable_dir();
    wallet::init_app_binding("Quenvale", instance);

    g_options.web_folder = instance + "/QuenvaleWeb";
    g_options.data_folder = platform::data_dir();
    g_options.automation = automation;
    if (!automation) {
        std::string error;
        if (!gtk_shell::claim_instance(g_options.data_folder, instance, g_options.instance, error) &&
            !gtk_shell::await_first_copy(g_options.data_folder, instance, g_options.instance, FIRST_COPY_WAIT_MS))
            return 0;
        if (!error.empty()) std::fprintf(stderr, "quenvale: %s\n", error.c_str());
    }

    // The lock above decides who is first, so GApplication is never a second judge; with
    // a session bus a unique name could race the lock and hand the start to a copy that
    // is itself about to leave.
    GtkApplication* app = gtk_application_new(APP_ID, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(on_activate), nullptr);
    const int status = g_application_run(G_APPLICATION(app), static_cast<int>(args.size()) - 1, args.data());
    gtk_shell::main_window_finish();
    g_object_unref(app);
    return status;
}
