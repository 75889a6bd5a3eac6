// The update check against the devnet's program page: a newer version announced there
// brings the one question on the main window and marks the update as available.
#include "shell/gtk/update_check.h"
#include "shell/gtk/side_windows.h"

#include <gtest/gtest.h>

#include "core/profile.h"
#include "shell/update.h"
#include "support.h"
#include "tests/support/devnet.h"

namespace {

GtkMessageDialog* question_dialog() {
    for (GtkWindow* w : chrome_test::visible_windows(GTK_WINDOW_TOPLEVEL))
        if (GTK_IS_MESSAGE_DIALOG(w)) return GTK_MESSAGE_DIALOG(w);
    return nullptr;
}

TEST(UpdateCheck, FetchReadsTheDevnetPageWithTheProgramsAgent) {
    auto& devnet = testing_support::Devnet::shared();
    ASSERT_TRUE(devnet.running());
    devnet.reset();
    const std::string url = shell::update_page_url(core::profile().update_site);
    ASSERT_EQ(url, devnet.root() + "/quenvale/");
    const shell::HttpReply page = gtk_shell::fetch_update_page(url, shell::USER_AGENT, shell::UPDATE_BODY_LIMIT);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(shell::page_version(page.body), 1);  // the program's own version: no update
    EXPECT_FALSE(shell::check_for_update(core::profile().update_site, gtk_shell::fetch_update_page).newer);
}

TEST(UpdateCheck, ANewerVersionAsksOnceOnTheMainWindow) {
    auto& devnet = testing_support::Devnet::shared();
    ASSERT_TRUE(devnet.running());
    devnet.reset();
    ASSERT_FALSE(devnet.post("/devnet/update", core::Json{{"version", "0.002"}}).is_null());
    EXPECT_FALSE(gtk_shell::update_available());

    GtkWidget* main_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(main_window), "Quenvale");
    gtk_widget_show(main_window);
    // An open Settings window shows the notice once the update is announced.
    gtk_shell::show_settings_window(GTK_WINDOW(main_window), {});
    chrome_test::settle();
    GtkWindow* settings = chrome_test::window_titled("Settings");
    ASSERT_NE(settings, nullptr);
    GtkWidget* settings_area = gtk_bin_get_child(GTK_BIN(settings));
    auto notice = [&] {
        cairo_surface_t* img = chrome_test::draw_widget(settings_area);
        const int n = chrome_test::count_pixels(img, 28, 176, 200, 28, [](const chrome_test::Pixel& p) {
            return p.r > 150 && p.g < 100 && p.b < 90;
        });
        cairo_surface_destroy(img);
        return n;
    };
    EXPECT_EQ(notice(), 0);
    gtk_shell::start_update_check(GTK_WINDOW(main_window));
    ASSERT_TRUE(chrome_test::settle([] { return question_dialog() != nullptr; }, 20000));
    GtkMessageDialog* dialog = question_dialog();
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(main_window));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Quenvale");
    gchar* text = nullptr;
    g_object_get(dialog, "text", &text, nullptr);
    // The site's host name, without the devnet's port.
    const std::string site = core::profile().update_site;
    const std::string host = site.substr(0, site.find(':'));
    EXPECT_EQ(std::string(text ? text : ""), "A newer Quenvale is on " + host + ".\n\nOpen the page?");
    g_free(text);
    EXPECT_TRUE(gtk_shell::update_available());
    EXPECT_GT(notice(), 20);  // "Update available" in the notice colour
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
    chrome_test::pump();
    EXPECT_EQ(question_dialog(), nullptr);

    // A second check in the same run marks the update but does not ask again.
    gtk_shell::start_update_check(GTK_WINDOW(main_window));
    chrome_test::pump_for(1500);
    EXPECT_EQ(question_dialog(), nullptr);
    gtk_widget_destroy(main_window);
    devnet.reset();
}

}  // namespace
