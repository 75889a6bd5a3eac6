#include "bridge/handlers.h"

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "bridge/approval.h"
#include "bridge/operations.h"
#include "bridge/price.h"
#include "bridge/protocol.h"
#include "bridge/state.h"
#include "bridge/workers.h"
#include "core/clock.h"
#include "core/hex.h"
#include "core/pool.h"
#include "core/result.h"
#include "ledger/admission.h"
#include "platform/folders.h"

namespace bridge {

namespace {

// Pictures of a walls reply fetched at the same time.
constexpr std::size_t PICTURE_FETCH_WIDTH = 4;

const std::array<const char*, 8> FACING_WORDS = {"North", "North-east", "East", "South-east",
                                                 "South", "South-west", "West", "North-west"};

ShellPort* port() { return bridge_state().port.load(); }

bool valid_frame(int spot) { return spot >= 1 && spot <= ledger::FRAME_COUNT; }

std::string frame_name(int spot) { return "AP" + std::to_string(spot); }

void post_busy() { post_page_reply({{"op", "place-error"}, {"text", BUSY_TEXT}}); }

void post_place_error(const std::string& text) {
    post_page_reply({{"op", "place-error"}, {"text", text}, {"status", text}});
}

// Takes the busy flag; false when another operation holds it.
bool claim_busy() { return !bridge_state().busy.exchange(true); }

void release_busy() { bridge_state().busy.store(false); }

void post_need_connect(int spot) {
    post_page_reply({{"op", "need-connect"}, {"spot", spot}, {"status", CONNECT_FIRST_TEXT}});
}

// The user-interface thread's look at the wallet: loaded, or at least bound and perhaps
// still loading (a page can ask before the start-up load has finished); the worker then
// makes sure.
bool may_be_ready() {
    const Operations& ops = operations();
    return ops.ready() || ops.bound();
}

// First step of a worker whose handler let a wallet that may still be loading pass.
bool worker_ready(int spot) {
    if (operations().load_ready()) return true;
    release_busy();
    post_need_connect(spot);
    return false;
}

// Starts an operation's worker; when no thread can start, the flag is given back and the
// page told, so it does not wait for a reply that never comes.
void run_operation(std::function<void()> job, const std::string& fallback) {
    if (start_worker(std::move(job))) return;
    release_busy();
    post_place_error(fallback);
}

std::string picture_url(int frame, const std::string& origin) {
    const Operations& ops = operations();
    return ops.store_picture(frame, origin, ops.fetch_picture(frame, origin));
}

std::string unreadable_text(int spot) {
    return frame_name(spot) + " could not be read from the chain. Try again in a moment.";
}

// Rows the user can place: artworks not reserved on a frame and not shown on one.
core::Json free_arts(const Walls& walls, std::string& list_error) {
    const Operations& ops = operations();
    std::vector<ordinals::OvWendrelOrdRow> rows;
    list_error = ops.list_arts(rows);
    core::Json arts = core::Json::array();
    for (auto& row : rows) {
        if (row.kind.empty()) row.kind = ops.kind_of(row.origin);
        if (row.kind != "Artwork" || !ops.reserve_status(row.origin).empty()) continue;
        // Shown from another installation, or its reserve entry was lost.
        const std::string id = ledger::inscription_id(row.origin);
        bool shown = false;
        for (const auto& s : walls) shown = shown || (s.shown && !id.empty() && s.pic == id);
        if (shown) continue;
        arts.push_back({{"origin", row.origin}, {"name", row.name}});
    }
    return arts;
}

void select_worker(int spot) {
    if (!worker_ready(spot)) return;
    const Operations& ops = operations();
    std::string status;
    Walls walls;
    ops.load_walls(status, walls);
    const ledger::SpotLoad& s = walls[spot - 1];
    if (!s.shown && !s.error.empty()) {
        // Offering an unread frame as free would clear its picture on the page.
        release_busy();
        post_place_error(unreadable_text(spot));
        return;
    }
    core::Json m = {{"op", "place-list"}, {"spot", spot}, {"taken", s.shown}, {"arts", core::Json::array()}};
    if (s.shown) {
        describe_frame(m, s, ops.my_key(), core::now_seconds());
        m["status"] = frame_name(spot) + " is taken.";
    } else {
        std::string list_error;
        m["arts"] = free_arts(walls, list_error);
        if (!m["arts"].empty())
            m["status"] = "Select an artwork, then 1 week or 2 weeks.";
        else
            // A listing that failed is not the same as owning nothing.
            m["status"] = list_error.empty() ? "No artwork is free to place."
                                             : clean_error(list_error, "No artwork is free to place.");
    }
    release_busy();
    post_page_reply(m);
}

struct PictureTask {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    SpotPic pic;
};

void place_worker(int spot, const std::string& origin, std::int64_t sats, int weeks) {
    const Operations& ops = operations();
    // The picture is fetched beside the chain work, so it is usually ready with "placed".
    auto task = std::make_shared<PictureTask>();
    auto finish = [task](SpotPic pic) {
        std::lock_guard<std::mutex> lock(task->mutex);
        task->pic = std::move(pic);
        task->done = true;
        task->done_cv.notify_all();
    };
    if (!start_worker([spot, origin, finish] { finish(operations().fetch_picture(spot, origin)); })) finish({});

    const std::string result = ops.place(spot, origin, sats, weeks);
    if (!core::is_success(result)) {
        release_busy();
        post_place_error(clean_error(result, "Place did not finish."));
        return;
    }
    core::Json m = {{"op", "placed"}, {"spot", spot}, {"status", "Placed on " + frame_name(spot) + "."}};
    bool ready = false;
    SpotPic pic;
    {
        std::lock_guard<std::mutex> lock(task->mutex);
        ready = task->done;
        if (ready) pic = task->pic;
    }
    if (ready) {
        const std::string url = ops.store_picture(spot, origin, pic);
        if (!url.empty()) m["url"] = url;
    }
    release_busy();
    post_page_reply(m);
    if (ready) return;
    {
        std::unique_lock<std::mutex> lock(task->mutex);
        task->done_cv.wait(lock, [&task] { return task->done; });
        pic = task->pic;
    }
    const std::string url = ops.store_picture(spot, origin, pic);
    if (!url.empty()) post_page_reply({{"op", "spot-pic"}, {"spot", spot}, {"url", url}});
}

void remove_worker(int spot) {
    if (!worker_ready(spot)) return;
    const std::string result = operations().remove(spot);
    if (!core::is_success(result)) {
        release_busy();
        post_place_error(clean_error(result, "Remove did not finish."));
        return;
    }
    const core::Json m = {{"op", "removed"}, {"spot", spot}, {"status", "Removed from " + frame_name(spot) + "."}};
    send_walls();
    release_busy();
    post_page_reply(m);
}

std::string step_success_text(const std::string& op) {
    if (op == "ask") return "Asked. The owner accepts next.";
    if (op == "accept") return "Accepted. The buyer pays next.";
    return "Paid. The owner completes the sale.";
}

void sale_worker(const std::string& op, int spot, const std::string& buyer) {
    if (!worker_ready(spot)) return;
    const Operations& ops = operations();
    const std::string result = ops.sale_step(op, spot, op == "accept" ? buyer : "");
    if (!core::is_success(result)) {
        release_busy();
        post_place_error(clean_error(result, "That step did not finish."));
        return;
    }
    core::Json m;
    if (op == "complete") {
        m = {{"op", "removed"}, {"spot", spot}, {"status", "Completed. The frame is empty."}};
    } else {
        std::string status;
        Walls walls;
        ops.load_walls(status, walls);
        const ledger::SpotLoad& s = walls[spot - 1];
        const std::string done = step_success_text(op);
        if (!s.shown && !s.error.empty()) {
            // The step went through; only the fresh look at the frame failed, and an
            // unread frame must not be shown as cleared.
            const std::string text = done + " " + unreadable_text(spot);
            m = {{"op", "place-error"}, {"text", text}, {"status", text}};
        } else {
            m = {{"op", "place-list"}, {"spot", spot}, {"taken", s.shown}, {"arts", core::Json::array()}};
            if (s.shown)
                describe_frame(m, s, ops.my_key(), core::now_seconds());
            else
                m["clear"] = true;
            m["status"] = done;
        }
    }
    release_busy();
    post_page_reply(m);
    if (ShellPort* p = port()) p->start_notes_refresh();
}

// Frame requests that need a wallet and the busy flag; false when the handler answered.
bool frame_request_allowed(int spot) {
    if (!may_be_ready()) {
        post_need_connect(spot);
        return false;
    }
    if (!taking_operations() || !claim_busy()) {
        post_busy();
        return false;
    }
    return true;
}

}  // namespace

void start_bridge(ShellPort* shell) {
    set_shell_port(shell);
    start_worker([] { operations().load_ready(); });
}

std::string clean_error(const std::string& text, const std::string& fallback) {
    std::string t = text.rfind("error:", 0) == 0 ? text.substr(6) : text;
    const std::size_t first = t.find_first_not_of(' ');
    t = first == std::string::npos ? std::string() : t.substr(first);
    return t.empty() ? fallback : t;
}

void send_look() {
    ShellPort* p = port();
    const LookSettings look = p ? p->look_settings() : LookSettings{};
    const int fps = look.fps == 30 || look.fps == 60 || look.fps == 90 || look.fps == 120 ? look.fps : 60;
    post_page_reply({{"op", "look"}, {"scale", look.quick ? 1.7 : 1.0}, {"fps", fps}});
}

void send_walls() {
    const Operations& ops = operations();
    std::string status;
    Walls walls;
    ops.load_walls(status, walls);
    std::array<std::string, ledger::FRAME_COUNT> urls;
    std::string pool_error;
    core::run_bounded(walls.size(), PICTURE_FETCH_WIDTH, [&](std::size_t i) {
        if (walls[i].shown && !walls[i].pic.empty()) urls[i] = picture_url(static_cast<int>(i) + 1, walls[i].pic);
    }, pool_error);  // without threads no picture is ready; the frames stay empty
    core::Json shows = core::Json::array();
    for (std::size_t i = 0; i < walls.size(); ++i)
        if (!urls[i].empty())
            shows.push_back({{"spot", static_cast<int>(i) + 1}, {"url", urls[i]}, {"title", walls[i].title}});
    core::Json m = {{"op", "walls"}, {"shows", shows}};
    if (!status.empty()) m["status"] = status;
    post_page_reply(m);
}

void describe_frame(core::Json& m, const ledger::SpotLoad& s, const std::string& my_key, std::int64_t now) {
    m["title"] = s.title;
    m["price"] = s.price;
    m["exp"] = s.exp;
    int weeks = 0;
    if (s.shown_at > 0 && s.shown_at < s.exp) weeks = s.exp - s.shown_at < TWO_WEEKS_FROM_S ? 1 : 2;
    m["weeks"] = weeks;
    const bool mine = !my_key.empty() && my_key == core::lower_ascii(s.owner);
    const bool ended = s.exp > 0 && now >= s.exp;
    m["mine"] = mine;
    m["ended"] = ended;
    std::string action, buyer;
    auto live_offer = [&s] {
        for (const auto& f : s.funded) {
            const int st = operations().offer_status(f.offer);
            if (st != 2 && st != 3) return true;
        }
        return false;
    };
    auto names_me = [&my_key](const auto& list) {
        for (const auto& e : list)
            if (!my_key.empty() && core::lower_ascii(e.buyer) == my_key) return true;
        return false;
    };
    if (s.sold) {
    } else if (mine) {
        if (live_offer())
            action = "complete";
        else if (!s.accepts.empty())
            action = "accepted";
        else if (!s.asks.empty() && s.price > 0) {
            action = "accept";
            buyer = s.asks.back().buyer;
        }
    } else if (s.price > 0) {
        if (live_offer())
            action = "paid";
        else if (names_me(s.accepts))
            action = "pay";
        else if (!ended)
            action = names_me(s.asks) ? "asked" : "ask";
    }
    m["action"] = action;
    m["buyer"] = buyer;
}

void on_hello() {
    send_look();
    // Whether a wallet is bound and loads is a question for a worker: loading reads and
    // derives, and the wallet-state lock may be held across a broadcast.
    start_worker([] {
        if (!operations().load_ready()) return;
        post_page_reply({{"op", "connected"}, {"status", CONNECTED_TEXT}});
        send_walls();
    });
}

void on_connect() {
    if (!taking_operations()) {
        post_busy();
        return;
    }
    if (!claim_busy()) return;
    if (start_worker([] {
            const std::string result = operations().connect();
            release_busy();
            if (!core::is_success(result)) {
                post_page_reply(
                    {{"op", "need-connect"}, {"status", clean_error(result, "Connect did not finish.")}});
                return;
            }
            post_page_reply({{"op", "connected"}, {"status", CONNECTED_TEXT}});
            send_walls();
        }))
        return;
    release_busy();
    post_page_reply({{"op", "need-connect"}, {"status", "Connect did not finish."}});
}

void on_select(int spot) {
    if (!valid_frame(spot)) return;
    if (!may_be_ready()) {
        post_need_connect(spot);
        return;
    }
    if (!taking_operations()) {
        post_busy();
        return;
    }
    if (!claim_busy()) return;
    run_operation([spot] { select_worker(spot); }, "That step did not finish.");
}

void on_place(const core::Json& message) {
    const int spot = spot_member(message);
    const std::string origin = core::json_string(message, "origin");
    const std::int64_t weeks_member = core::json_int(message, "weeks", 0);
    const int weeks = weeks_member == 1 || weeks_member == 2 ? static_cast<int>(weeks_member) : 0;
    const PriceEntry price = parse_price(core::json_string(message, "price"), core::json_string(message, "unit", "sats"));
    if (!price.accepted) {
        post_place_error(price.message);
        return;
    }
    if (!taking_operations()) {
        post_busy();
        return;
    }
    if (!claim_busy()) return;
    run_operation([spot, origin, sats = price.sats, weeks] { place_worker(spot, origin, sats, weeks); },
                  "Place did not finish.");
}

void on_remove(int spot) {
    if (!valid_frame(spot) || !frame_request_allowed(spot)) return;
    run_operation([spot] { remove_worker(spot); }, "Remove did not finish.");
}

void on_sale_step(const std::string& op, int spot, const std::string& buyer) {
    if (!valid_frame(spot) || !frame_request_allowed(spot)) return;
    run_operation([op, spot, buyer] { sale_worker(op, spot, buyer); }, "That step did not finish.");
}

void on_enter() {
    BridgeState& st = bridge_state();
    if (st.entered.load() || st.entering.exchange(true)) return;
    if (!may_be_ready()) {
        entry_result("error: no wendrel");
        return;
    }
    if (payment_needs_question(platform::platform_dir(), ledger::ADMISSION_SATS)) {
        ShellPort* p = port();
        const std::string question = "Pay " + std::to_string(ledger::ADMISSION_SATS) + " sats to enter the gallery?";
        if (!p || !p->ask_yes_no(question, "Quenvale")) {
            entry_result("error: cancelled");
            return;
        }
    }
    if (start_worker([] {
            const std::string result = operations().load_ready() ? operations().enter() : "error: no wendrel";
            if (ShellPort* p = port()) p->post_entry_result(result);
        }))
        return;
    entry_result("error: the payment could not start.");
}

void entry_result(const std::string& text) {
    BridgeState& st = bridge_state();
    if (core::is_success(text)) {
        st.entered.store(true);
        st.entering.store(false);
        post_page_reply({{"op", "entered"}});
        return;
    }
    // entering stays set: no second admission while the program closes.
    post_page_reply({{"op", "unpaid"}});
    if (ShellPort* p = port()) p->start_quit_timer(QUIT_DELAY_MS);
}

void on_face(const std::string& word, int deg) {
    if (deg < 0 || deg >= 360) return;
    bool known = false;
    for (const char* w : FACING_WORDS) known = known || word == w;
    if (!known) return;
    BridgeState& st = bridge_state();
    if (word == st.facing_word && deg == st.facing_deg) return;
    int delta = deg - st.facing_deg;
    if (delta > 180) delta -= 360;
    if (delta < -180) delta += 360;
    st.facing_word = word;
    st.facing_deg = deg;
    if (ShellPort* p = port()) p->facing_changed(word, deg, delta);
}

}  // namespace bridge
