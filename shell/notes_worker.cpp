#include "shell/notes_worker.h"

#include <exception>
#include <system_error>

#include "ledger/offers.h"
#include "shell/header.h"

namespace shell {

namespace {

bool same_wallet(const wallet::WalletSnapshot& a, const wallet::WalletSnapshot& b) {
    return header_connected(a) == header_connected(b) && a.generation == b.generation && a.identity == b.identity;
}

}  // namespace

NotesSources live_notes_sources() {
    NotesSources s;
    s.snapshot = [] { return wallet::wallet_snapshot(); };
    s.read_walls = [](std::string& error, Walls& walls) { ledger::load_walls(error, walls); };
    s.offer_status = [](const std::string& offer) { return ledger::offer_status(offer); };
    return s;
}

std::vector<bridge::NoteItem> notes_for_wallet(const NotesSources& sources) {
    for (int attempt = 0; attempt <= MAX_STALE_RETRIES; ++attempt) {
        const wallet::WalletSnapshot before = sources.snapshot();
        if (!header_connected(before) || before.identity.empty()) return {};
        Walls walls;
        std::string error;  // a frame that was not read carries its own error and gives no note
        sources.read_walls(error, walls);
        std::vector<bridge::NoteItem> notes = build_notes(walls, before.identity, sources.offer_status);
        if (same_wallet(before, sources.snapshot())) return notes;
    }
    return {};
}

NotesWorker::NotesWorker(bridge::ShellPort& port, NotesSources sources) : port_(port), sources_(std::move(sources)) {}

NotesWorker::~NotesWorker() {
    stopping_.store(true);
    wait();
}

bool NotesWorker::start() {
    if (stopping_.load()) return false;
    // Ask first, then try to become the runner: a runner that is finishing either sees
    // the request or has let go of running, so no request is lost between the two.
    again_.store(true);
    if (running_.exchange(true)) return true;
    std::lock_guard<std::mutex> lock(thread_mutex_);
    // The previous runner has let go of running and is returning; joining is brief.
    if (thread_.joinable()) thread_.join();
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        again_.store(false);
        running_.store(false);
        return false;
    }
    return true;
}

void NotesWorker::wait() {
    std::lock_guard<std::mutex> lock(thread_mutex_);
    if (thread_.joinable()) thread_.join();
}

void NotesWorker::post_one() {
    std::vector<bridge::NoteItem> notes;
    try {
        notes = notes_for_wallet(sources_);
    } catch (const std::exception&) {
        notes.clear();  // nothing readable: no notes, as when the walls cannot be read
    }
    port_.post_notes(std::move(notes));
}

void NotesWorker::run() {
    for (;;) {
        while (!stopping_.load() && again_.exchange(false)) post_one();
        running_.store(false);
        // A request that came after the last look above, while running was still set,
        // found a runner and left: serve it here unless a new runner took over.
        if (stopping_.load() || !again_.load()) return;
        if (running_.exchange(true)) return;
    }
}

}  // namespace shell
