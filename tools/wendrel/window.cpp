// The wallet window: wendrel with no command. It lists the wallets, shows the selected
// one's receive address and balance, makes, restores, seals and unseals wallets, and
// answers the gallery's connect requests. Every action calls the same operations as the
// commands; the window only shows their results.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/crypto.h"
#include "core/files.h"
#include "core/profile.h"
#include "core/secret.h"
#include "core/text.h"
#include "platform/window.h"
#include "tools/wendrel/cli.h"
#include "tools/wendrel/operations.h"
#include "wallet/connect.h"
#include "wallet/registry.h"

namespace wendrel {

namespace {

constexpr guint POLL_MS = 500;             // a request shows within a second
constexpr guint BALANCE_EVERY_S = 30;      // the balance is asked for again this often
constexpr int MAX_SHOWN_TEXT = 200;        // another program's words, shortened for a label

struct BalanceResult {
    std::string id, address, error;
    std::int64_t sats = 0;
    bool ok = false;
};

// Everything below is touched on the UI thread only; the balance worker owns nothing of
// it and hands its result back through g_idle_add.
struct Ui {
    bool automation = false;
    GtkWidget* window = nullptr;
    GtkWidget* wallet_list = nullptr;
    GtkWidget* address = nullptr;
    GtkWidget* balance = nullptr;
    GtkWidget* seal = nullptr;
    GtkWidget* unseal = nullptr;
    GtkWidget* requests = nullptr;
    GtkWidget* status = nullptr;
    std::vector<WalletRow> wallets;           // as listed
    std::vector<std::string> request_ids;     // as listed
    std::string folder;                       // the platform folder this window serves
    std::string selected;                     // the wallet whose details show
    bool selected_sealed = false;
    std::thread worker;
    bool worker_busy = false;
    bool balance_again = false;
    std::map<std::string, GtkWidget*> tracked;             // automation: name → widget
    std::map<std::string, std::pair<int, int>> reported;  // automation: last printed centre
};

Ui& ui() {
    static Ui u;
    return u;
}

std::string shown_text(const std::string& outside) {
    std::string s = core::strip_controls(outside);
    if (s.size() > static_cast<std::size_t>(MAX_SHOWN_TEXT)) s = s.substr(0, MAX_SHOWN_TEXT) + "…";
    // GTK wants UTF-8; another program's bytes may not be.
    if (!g_utf8_validate(s.c_str(), static_cast<gssize>(s.size()), nullptr)) {
        gchar* fixed = g_utf8_make_valid(s.c_str(), static_cast<gssize>(s.size()));
        s = fixed;
        g_free(fixed);
    }
    return s;
}

void set_status(const std::string& text) {
    gtk_label_set_text(GTK_LABEL(ui().status), shown_text(text).c_str());
    if (ui().automation) {
        std::printf("status %s\n", core::strip_controls(text).c_str());
        std::fflush(stdout);
    }
}

// --- automation: where the buttons are, so that a test can press them -------------------

void forget_tracked(GtkWidget* widget, gpointer) {
    for (auto it = ui().tracked.begin(); it != ui().tracked.end(); ++it)
        if (it->second == widget) {
            ui().reported.erase(it->first);
            ui().tracked.erase(it);
            return;
        }
}

void track(const std::string& name, GtkWidget* widget) {
    if (!ui().automation) return;
    ui().tracked[name] = widget;
    ui().reported.erase(name);
    g_signal_connect(widget, "destroy", G_CALLBACK(forget_tracked), nullptr);
}

// "at NAME X Y": the centre of each mapped tracked widget in screen coordinates, printed
// when it first shows or moves.
void report_positions() {
    for (const auto& [name, widget] : ui().tracked) {
        if (!gtk_widget_get_mapped(widget)) continue;
        GtkWidget* top = gtk_widget_get_toplevel(widget);
        GdkWindow* gdk = gtk_widget_get_window(top);
        if (!gdk) continue;
        int x = 0, y = 0, ox = 0, oy = 0;
        GtkAllocation a;
        gtk_widget_get_allocation(widget, &a);
        // A widget added this tick has no place yet; the next tick reports it.
        if (a.width <= 1 || a.height <= 1) continue;
        if (!gtk_widget_translate_coordinates(widget, top, a.width / 2, a.height / 2, &x, &y)) continue;
        gdk_window_get_origin(gdk, &ox, &oy);
        std::pair<int, int> at{ox + x, oy + y};
        auto it = ui().reported.find(name);
        if (it != ui().reported.end() && it->second == at) continue;
        ui().reported[name] = at;
        std::printf("at %s %d %d\n", name.c_str(), at.first, at.second);
    }
    std::fflush(stdout);
}

// --- dialogs -----------------------------------------------------------------------------

struct Field {
    const char* label;
    bool hidden;
    core::SecretString value;
};

// A modal question with entries. On OK the texts are copied into the fields; the entries
// are emptied before the dialog goes, so no typed secret outlives it in GTK's buffers.
bool ask(const char* title, const char* text, std::vector<Field>& fields, const char* ok_label) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(title, GTK_WINDOW(ui().window), GTK_DIALOG_MODAL, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, ok_label, GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_box_set_spacing(GTK_BOX(box), 6);
    GtkWidget* intro = gtk_label_new(text);
    gtk_label_set_line_wrap(GTK_LABEL(intro), TRUE);
    gtk_label_set_xalign(GTK_LABEL(intro), 0);
    gtk_box_pack_start(GTK_BOX(box), intro, FALSE, FALSE, 0);
    std::vector<GtkWidget*> entries;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        GtkWidget* label = gtk_label_new(fields[i].label);
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_visibility(GTK_ENTRY(entry), !fields[i].hidden);
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 48);
        gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
        track("field" + std::to_string(i), entry);
        entries.push_back(entry);
    }
    track("dialog-ok", gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK));
    gtk_widget_show_all(dialog);
    bool ok = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (ok) fields[i].value.assign(gtk_entry_get_text(GTK_ENTRY(entries[i])));
        gtk_entry_set_text(GTK_ENTRY(entries[i]), "");
    }
    gtk_widget_destroy(dialog);
    return ok;
}

// The new wallet's words, shown this once: the person writes them down.
void show_words_once(const std::string& id, const core::SecretString& words) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons("Write these words down", GTK_WINDOW(ui().window),
                                                    GTK_DIALOG_MODAL, "_I have written them down",
                                                    GTK_RESPONSE_OK, nullptr);
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_box_set_spacing(GTK_BOX(box), 8);
    std::string intro = "Wallet " + id +
                        " is made. These twelve words are the only way to restore it: write them on paper "
                        "and keep them safe. They are not shown again.";
    GtkWidget* label = gtk_label_new(intro.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 50);
    GtkWidget* shown = gtk_label_new(words.data());
    gtk_label_set_line_wrap(GTK_LABEL(shown), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(shown), 40);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), shown, FALSE, FALSE, 0);
    track("dialog-ok", gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK));
    gtk_widget_show_all(dialog);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_label_set_text(GTK_LABEL(shown), "");
    gtk_widget_destroy(dialog);
}

// --- the selected wallet: address and balance ------------------------------------------

void start_balance();

gboolean balance_done(gpointer data) {
    std::unique_ptr<BalanceResult> r(static_cast<BalanceResult*>(data));
    Ui& u = ui();
    if (u.worker.joinable()) u.worker.join();
    u.worker_busy = false;
    if (r->id == u.selected && !u.selected_sealed) {
        std::string text = r->ok ? std::to_string(r->sats) + " sats" : "unknown (" + r->error + ")";
        gtk_label_set_text(GTK_LABEL(u.balance), shown_text(text).c_str());
        if (u.automation) {
            std::printf("balance %s %s\n", r->id.c_str(), r->ok ? std::to_string(r->sats).c_str() : "unknown");
            std::fflush(stdout);
        }
    }
    if (u.balance_again) {
        u.balance_again = false;
        start_balance();
    }
    return G_SOURCE_REMOVE;
}

// The network and the wallet-state lock are the worker's; the window goes on meanwhile.
void start_balance() {
    Ui& u = ui();
    if (u.selected.empty() || u.selected_sealed) return;
    if (u.worker_busy) {
        u.balance_again = true;
        return;
    }
    u.worker_busy = true;
    std::string id = u.selected;
    u.worker = std::thread([id] {
        auto* r = new BalanceResult;
        r->id = id;
        r->ok = fetch_balance(id, r->sats, r->address, r->error);
        g_idle_add(balance_done, r);
    });
}

gboolean balance_tick(gpointer) {
    start_balance();
    return G_SOURCE_CONTINUE;
}

void show_selected() {
    Ui& u = ui();
    u.selected_sealed = false;
    if (u.selected.empty()) {
        gtk_label_set_text(GTK_LABEL(u.address), "no wallet yet: make one with New wallet or Restore");
        gtk_label_set_text(GTK_LABEL(u.balance), "");
    } else {
        WalletView v;
        std::string error;
        if (!read_view(u.selected, v, nullptr, error)) {
            gtk_label_set_text(GTK_LABEL(u.address), shown_text(error).c_str());
        } else if (v.sealed) {
            u.selected_sealed = true;
            gtk_label_set_text(GTK_LABEL(u.address), "sealed: unseal it to use it");
        } else {
            gtk_label_set_text(GTK_LABEL(u.address), shown_text(v.address).c_str());
        }
        gtk_label_set_text(GTK_LABEL(u.balance), u.selected_sealed ? "" : "asking the network…");
    }
    gtk_widget_set_sensitive(u.seal, !u.selected.empty() && !u.selected_sealed);
    gtk_widget_set_sensitive(u.unseal, !u.selected.empty() && u.selected_sealed);
    start_balance();
}

// --- the wallet list --------------------------------------------------------------------

const char* row_wallet(GtkListBoxRow* row) {
    return static_cast<const char*>(g_object_get_data(G_OBJECT(row), "wallet-id"));
}

void on_wallet_selected(GtkListBox*, GtkListBoxRow* row, gpointer) {
    if (!row) return;
    const char* id = row_wallet(row);
    if (!id || ui().selected == id) return;
    ui().selected = id;
    show_selected();
}

bool same_rows(const std::vector<WalletRow>& a, const std::vector<WalletRow>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id || a[i].name != b[i].name || a[i].active != b[i].active) return false;
    return true;
}

void rebuild_requests();

// Re-reads the registry; the list is rebuilt only when it changed, keeping the selection.
void refresh_wallets(bool force) {
    Ui& u = ui();
    auto rows = wallet_rows();
    if (!force && same_rows(rows, u.wallets)) return;
    u.wallets = rows;
    GtkListBox* list = GTK_LIST_BOX(u.wallet_list);
    GList* children = gtk_container_get_children(GTK_CONTAINER(list));
    for (GList* c = children; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));
    g_list_free(children);
    std::string keep;
    for (const auto& w : rows)
        if (w.id == u.selected) keep = w.id;
    if (keep.empty())
        for (const auto& w : rows)
            if (w.active) keep = w.id;
    GtkListBoxRow* select = nullptr;
    for (const auto& w : rows) {
        std::string text = (w.active ? "● " : "   ") + shown_text(w.name) + (w.name == w.id ? "" : "   " + w.id) +
                           (w.active ? "   (active)" : "");
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_widget_set_margin_start(label, 6);
        gtk_widget_set_margin_top(label, 3);
        gtk_widget_set_margin_bottom(label, 3);
        GtkWidget* row = gtk_list_box_row_new();
        gtk_container_add(GTK_CONTAINER(row), label);
        g_object_set_data_full(G_OBJECT(row), "wallet-id", g_strdup(w.id.c_str()), g_free);
        gtk_list_box_insert(list, row, -1);
        track("wallet:" + w.id, row);
        if (w.id == keep) select = GTK_LIST_BOX_ROW(row);
    }
    gtk_widget_show_all(u.wallet_list);
    bool changed = keep != u.selected;
    u.selected = keep;
    // Selecting fires on_wallet_selected, which sees the same id and does nothing.
    if (select) gtk_list_box_select_row(list, select);
    if (changed || force) show_selected();
    rebuild_requests();  // their wallet choices follow the list
}

// --- connect requests ---------------------------------------------------------------------

void refresh_requests(bool force);

gboolean requests_again(gpointer) {
    refresh_requests(true);
    return G_SOURCE_REMOVE;
}

void answer(GtkWidget* button, bool approve) {
    std::string request = static_cast<const char*>(g_object_get_data(G_OBJECT(button), "request-id"));
    std::string error;
    if (approve) {
        auto* combo = GTK_COMBO_BOX(g_object_get_data(G_OBJECT(button), "wallet-choice"));
        const char* chosen = gtk_combo_box_get_active_id(combo);
        std::string wallet_id = chosen ? chosen : "";
        if (approve_request(request, wallet_id, error))
            set_status("Approved " + request + " with wallet " + wallet_id + ".");
        else
            set_status("error: " + error);
    } else if (deny_request(request, error)) {
        set_status("Denied " + request + ".");
    } else {
        set_status("error: " + error);
    }
    // Not now: the button whose click this is would go with its row.
    g_idle_add(requests_again, nullptr);
}

void on_approve(GtkWidget* button, gpointer) { answer(button, true); }
void on_deny(GtkWidget* button, gpointer) { answer(button, false); }

GtkWidget* request_row(const ConnectRequest& r) {
    Ui& u = ui();
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 6);
    std::string who = shown_text(r.app.empty() ? "An app" : r.app) + " asks to connect";
    if (!r.instance.empty()) who += "\nfrom " + shown_text(r.instance);
    GtkWidget* label = gtk_label_new(who.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_pack_start(GTK_BOX(line), gtk_label_new("with wallet"), FALSE, FALSE, 0);
    GtkWidget* combo = gtk_combo_box_text_new();
    std::string active;
    for (const auto& w : u.wallets) {
        gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(combo), w.id.c_str(), shown_text(w.name).c_str());
        if (w.active) active = w.id;
    }
    if (!active.empty()) gtk_combo_box_set_active_id(GTK_COMBO_BOX(combo), active.c_str());
    gtk_box_pack_start(GTK_BOX(line), combo, TRUE, TRUE, 0);
    GtkWidget* approve = gtk_button_new_with_label("Approve");
    GtkWidget* deny = gtk_button_new_with_label("Deny");
    gtk_widget_set_sensitive(approve, !u.wallets.empty());
    for (GtkWidget* b : {approve, deny})
        g_object_set_data_full(G_OBJECT(b), "request-id", g_strdup(r.id.c_str()), g_free);
    g_object_set_data(G_OBJECT(approve), "wallet-choice", combo);
    g_signal_connect(approve, "clicked", G_CALLBACK(on_approve), nullptr);
    g_signal_connect(deny, "clicked", G_CALLBACK(on_deny), nullptr);
    gtk_box_pack_start(GTK_BOX(line), approve, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(line), deny, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), line, FALSE, FALSE, 0);
    track("approve:" + r.id, approve);
    track("deny:" + r.id, deny);
    track("choice:" + r.id, combo);
    return box;
}

void show_requests(const std::vector<ConnectRequest>& pending) {
    Ui& u = ui();
    GList* children = gtk_container_get_children(GTK_CONTAINER(u.requests));
    for (GList* c = children; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));
    g_list_free(children);
    u.request_ids.clear();
    for (const auto& r : pending) {
        gtk_list_box_insert(GTK_LIST_BOX(u.requests), request_row(r), -1);
        u.request_ids.push_back(r.id);
    }
    gtk_widget_show_all(u.requests);
    if (!pending.empty()) gtk_window_present(GTK_WINDOW(u.window));
}

// The rows are rebuilt only when the set of waiting requests changed, so a wallet chosen
// in a row stays chosen while the folder is polled.
void refresh_requests(bool force) {
    auto pending = pending_requests();
    std::vector<std::string> ids;
    for (const auto& r : pending) ids.push_back(r.id);
    if (!force && ids == ui().request_ids) return;
    show_requests(pending);
}

void rebuild_requests() { refresh_requests(true); }

gboolean poll_tick(gpointer) {
    // The folder was removed (an uninstall, a test's temporary folder): there is nothing
    // left to show, and reading on would create it again.
    if (!core::is_directory(ui().folder)) {
        std::fprintf(stderr, "wendrel: %s is gone; the wallet window closes\n", ui().folder.c_str());
        gtk_widget_destroy(ui().window);
        return G_SOURCE_REMOVE;
    }
    refresh_wallets(false);
    refresh_requests(false);
    if (ui().automation) report_positions();
    return G_SOURCE_CONTINUE;
}

// --- wallet buttons ------------------------------------------------------------------------

void on_new(GtkWidget*, gpointer) {
    std::vector<Field> fields;
    fields.push_back({"Name (may stay empty)", false, {}});
    if (!ask("New wallet", "A new wallet with fresh words. It becomes the active wallet.", fields, "_Make it"))
        return;
    std::string id, error;
    core::SecretString words;
    if (!create_wallet(std::string(fields[0].value.view()), id, words, error)) {
        set_status("error: " + error);
        return;
    }
    ui().selected = id;  // the new wallet is the active one: show it
    refresh_wallets(true);
    set_status("Made wallet " + id + ".");
    show_words_once(id, words);
}

void on_restore(GtkWidget*, gpointer) {
    std::vector<Field> fields;
    fields.push_back({"The twelve words, separated by spaces", false, {}});
    fields.push_back({"Name (may stay empty)", false, {}});
    if (!ask("Restore a wallet", "A wallet from the words you wrote down. It becomes the active wallet.", fields,
             "_Restore"))
        return;
    std::string id, error;
    bool ok = restore_wallet(fields[0].value.str(), std::string(fields[1].value.view()), id, error);
    fields[0].value.clear();
    if (!ok) {
        set_status("error: " + error);
        return;
    }
    ui().selected = id;  // the new wallet is the active one: show it
    refresh_wallets(true);
    set_status("Restored wallet " + id + ".");
}

void on_seal(GtkWidget*, gpointer) {
    std::string id = ui().selected;
    if (id.empty()) return;
    std::vector<Field> fields;
    fields.push_back({"Password", true, {}});
    fields.push_back({"The same password again", true, {}});
    std::string intro = "Seal wallet " + id + ": its file is encrypted with this password. An app cannot use a "
                        "sealed wallet until it is unsealed again.";
    if (!ask("Seal wallet", intro.c_str(), fields, "_Seal")) return;
    std::string error;
    if (fields[0].value.view() != fields[1].value.view()) {
        set_status("error: the two passwords differ; wallet " + id + " was left as it was");
    } else if (!seal_wallet(id, fields[0].value.str(), error)) {
        set_status("error: " + error);
    } else {
        set_status("Sealed wallet " + id + ".");
    }
    fields[0].value.clear();
    fields[1].value.clear();
    show_selected();
}

void on_unseal(GtkWidget*, gpointer) {
    std::string id = ui().selected;
    if (id.empty()) return;
    std::vector<Field> fields;
    fields.push_back({"Password", true, {}});
    std::string intro = "Unseal wallet " + id + " so that apps can use it.";
    if (!ask("Unseal wallet", intro.c_str(), fields, "_Unseal")) return;
    std::string error;
    if (!unseal_wallet(id, fields[0].value.str(), error))
        set_status("error: " + error);
    else
        set_status("Unsealed wallet " + id + ".");
    fields[0].value.clear();
    show_selected();
}

// --- the window ---------------------------------------------------------------------------

GtkWidget* heading(const char* text) {
    GtkWidget* label = gtk_label_new(nullptr);
    std::string markup = std::string("<b>") + text + "</b>";
    gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    return label;
}

GtkWidget* value_label() {
    GtkWidget* label = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    return label;
}

GtkWidget* button(const char* text, const char* name, GCallback on_click) {
    GtkWidget* b = gtk_button_new_with_mnemonic(text);
    g_signal_connect(b, "clicked", on_click, nullptr);
    track(name, b);
    return b;
}

void build_window() {
    Ui& u = ui();
    u.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(u.window), "Wendrel wallet");
    gtk_window_set_default_size(GTK_WINDOW(u.window), 560, 600);
    gtk_window_set_icon_name(GTK_WINDOW(u.window), "quenvale");
    g_signal_connect(u.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_container_add(GTK_CONTAINER(u.window), box);

    gtk_box_pack_start(GTK_BOX(box), heading("Wallets"), FALSE, FALSE, 0);
    u.wallet_list = gtk_list_box_new();
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(u.wallet_list), GTK_SELECTION_BROWSE);
    g_signal_connect(u.wallet_list, "row-selected", G_CALLBACK(on_wallet_selected), nullptr);
    GtkWidget* wallets_scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(wallets_scroll), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(wallets_scroll), 110);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(wallets_scroll), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(wallets_scroll), u.wallet_list);
    gtk_box_pack_start(GTK_BOX(box), wallets_scroll, FALSE, TRUE, 0);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    u.address = value_label();
    u.balance = value_label();
    GtkWidget* address_name = gtk_label_new("Receive address");
    GtkWidget* balance_name = gtk_label_new("Balance");
    gtk_label_set_xalign(GTK_LABEL(address_name), 0);
    gtk_label_set_xalign(GTK_LABEL(balance_name), 0);
    gtk_widget_set_hexpand(u.address, TRUE);
    gtk_grid_attach(GTK_GRID(grid), address_name, 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), u.address, 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), balance_name, 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), u.balance, 1, 1, 1, 1);
    gtk_box_pack_start(GTK_BOX(box), grid, FALSE, FALSE, 0);

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_pack_start(GTK_BOX(buttons), button("_New wallet", "new", G_CALLBACK(on_new)), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), button("_Restore…", "restore", G_CALLBACK(on_restore)), FALSE, FALSE, 0);
    u.seal = button("_Seal…", "seal", G_CALLBACK(on_seal));
    u.unseal = button("_Unseal…", "unseal", G_CALLBACK(on_unseal));
    gtk_box_pack_end(GTK_BOX(buttons), u.unseal, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(buttons), u.seal, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(box), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 4);
    gtk_box_pack_start(GTK_BOX(box), heading("Connect requests"), FALSE, FALSE, 0);
    u.requests = gtk_list_box_new();
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(u.requests), GTK_SELECTION_NONE);
    GtkWidget* none = gtk_label_new("No app is asking to connect.");
    gtk_widget_show(none);
    gtk_list_box_set_placeholder(GTK_LIST_BOX(u.requests), none);
    GtkWidget* requests_scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(requests_scroll), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(requests_scroll), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(requests_scroll), u.requests);
    gtk_box_pack_start(GTK_BOX(box), requests_scroll, TRUE, TRUE, 0);

    u.status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(u.status), 0);
    gtk_label_set_line_wrap(GTK_LABEL(u.status), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(u.status), PANGO_WRAP_WORD_CHAR);
    gtk_box_pack_start(GTK_BOX(box), u.status, FALSE, FALSE, 0);
}

}  // namespace

int run_window(bool automation) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return fail("no display for the wallet window (DISPLAY is not set); the commands work without one: "
                    "wendrel --help");
    if (std::string profile_error = core::profile_error(); !profile_error.empty()) return fail(profile_error);
    // One window: a second start brings the first forward, as the gallery's Connect does.
    if (platform::raise_window_by_class(wallet::WALLET_APP_CLASS)) {
        std::printf("the wallet window is already open; brought it to the front\n");
        return 0;
    }
    // X11 only: the gallery finds the window by its X class.
    gdk_set_allowed_backends("x11");
    g_set_prgname("wendrel");
    char name[] = "wendrel";
    char* words[] = {name, nullptr};
    char** argv = words;
    int argc = 1;
    if (!gtk_init_check(&argc, &argv))
        return fail(std::string("cannot open the display \"") + display + "\" for the wallet window");
    gdk_set_program_class(wallet::WALLET_APP_CLASS);

    Ui& u = ui();
    u.automation = automation;
    u.folder = wallet::platform_dir();
    if (automation) std::setvbuf(stdout, nullptr, _IOLBF, 0);
    build_window();
    gtk_widget_show_all(u.window);
    refresh_wallets(true);
    refresh_requests(true);
    g_timeout_add(POLL_MS, poll_tick, nullptr);
    g_timeout_add_seconds(BALANCE_EVERY_S, balance_tick, nullptr);
    gtk_main();
    // A balance fetch still under way ends within the network time-outs.
    if (u.worker.joinable()) u.worker.join();
    return 0;
}

}  // namespace wendrel
