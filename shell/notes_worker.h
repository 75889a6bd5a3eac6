#pragma once
// The notes worker: builds the notes list off the user-interface thread and hands it to
// the shell through ShellPort::post_notes. One run at a time; a request during a run is
// served by exactly one more run, however many requests came.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/port.h"
#include "shell/notes.h"
#include "wallet/state.h"

namespace shell {

// Where a run gets its inputs; tests replace them so no network is needed.
struct NotesSources {
    std::function<wallet::WalletSnapshot()> snapshot;
    std::function<void(std::string& error, Walls& walls)> read_walls;
    OfferStatusFn offer_status;
};
// wallet::wallet_snapshot, ledger::load_walls and ledger::offer_status.
NotesSources live_notes_sources();

// A wallet swapped while the walls were read makes the list stale: it is built again at
// most this many times, then the list is empty rather than someone else's.
inline constexpr int MAX_STALE_RETRIES = 3;

// One list: empty when no HD wallet is connected or it has no identity key.
std::vector<bridge::NoteItem> notes_for_wallet(const NotesSources& sources);

class NotesWorker {
public:
    NotesWorker(bridge::ShellPort& port, NotesSources sources);
    // Stops asking for more runs and waits for the one in progress. Whoever calls start()
    // must have stopped doing so before the worker goes.
    ~NotesWorker();
    NotesWorker(const NotesWorker&) = delete;
    NotesWorker& operator=(const NotesWorker&) = delete;

    // Any thread: start a run, or ask the running one for one more. False when no thread
    // could be started or the worker is stopping.
    bool start();
    // Until no run is in progress (shutdown and tests).
    void wait();

private:
    void run();
    void post_one();

    bridge::ShellPort& port_;
    NotesSources sources_;
    std::atomic<bool> running_{false};
    std::atomic<bool> again_{false};
    std::atomic<bool> stopping_{false};
    std::mutex thread_mutex_;  // guards thread_
    std::thread thread_;
};

}  // namespace shell
