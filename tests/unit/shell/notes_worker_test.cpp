// The notes worker on real threads, with the wallet snapshot and the wall read standing
// in for the wallet and the chain: what it posts, and how requests during a run are
// served.
#include "shell/notes_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string ME = "02" + std::string(64, 'a');
const std::string OTHER = "03" + std::string(64, 'b');

// Records the notes lists; every other call of the port is not the worker's business.
class RecordingPort : public bridge::ShellPort {
public:
    void post_page_reply(std::string) override { ADD_FAILURE() << "page reply from the notes worker"; }
    void post_notes(std::vector<bridge::NoteItem> notes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lists_.push_back(std::move(notes));
        changed_.notify_all();
    }
    void post_entry_result(std::string) override { ADD_FAILURE() << "entry result from the notes worker"; }
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
    void start_quit_timer(int) override {}
    void facing_changed(const std::string&, int, int) override {}
    void start_notes_refresh() override {}
    bridge::LookSettings look_settings() override { return {}; }

    // Waits (bounded: a hang is a failure, not a stuck test) for n lists.
    bool wait_for(std::size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return lists_.size() >= n; });
    }
    std::vector<std::vector<bridge::NoteItem>> lists() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lists_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<bridge::NoteItem>> lists_;
};

// A door the wall read waits at until the test opens it.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = true;
    int entered = 0;
    void close() {
        std::lock_guard<std::mutex> lock(mutex);
        open = false;
    }
    void pass() {
        std::unique_lock<std::mutex> lock(mutex);
        ++entered;
        cv.notify_all();
        cv.wait_for(lock, 10s, [&] { return open; });
    }
    bool wait_entered(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, 10s, [&] { return entered >= n; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        cv.notify_all();
    }
};

wallet::WalletSnapshot connected(const std::string& identity, std::uint64_t generation = 1) {
    wallet::WalletSnapshot s;
    s.loaded = true;
    s.hd = true;
    s.address = "1Addr";
    s.identity = identity;
    s.generation = generation;
    return s;
}

// Frame 3 holds my piece with an open ask: one note for its owner.
shell::Walls walls_with_my_ask() {
    shell::Walls walls;
    walls[2].shown = true;
    walls[2].owner = ME;
    walls[2].price = 700;
    walls[2].asks.resize(1);
    walls[2].asks[0].buyer = OTHER;
    return walls;
}

struct Sources {
    std::mutex mutex;
    wallet::WalletSnapshot snapshot;
    std::atomic<int> reads{0};
    Gate gate;

    shell::NotesSources make() {
        shell::NotesSources s;
        s.snapshot = [this] {
            std::lock_guard<std::mutex> lock(mutex);
            return snapshot;
        };
        s.read_walls = [this](std::string& error, shell::Walls& walls) {
            ++reads;
            gate.pass();
            error.clear();
            walls = walls_with_my_ask();
        };
        s.offer_status = [](const std::string&) { return 1; };
        return s;
    }
    void set(const wallet::WalletSnapshot& s) {
        std::lock_guard<std::mutex> lock(mutex);
        snapshot = s;
    }
};

TEST(NotesWorker, PostsTheListOfTheConnectedWalletAndNothingWithoutOne) {
    RecordingPort port;
    Sources sources;
    shell::NotesWorker worker(port, sources.make());

    ASSERT_TRUE(worker.start());  // no wallet: an empty list, and no wall read
    ASSERT_TRUE(port.wait_for(1));
    worker.wait();
    EXPECT_TRUE(port.lists()[0].empty());
    EXPECT_EQ(sources.reads.load(), 0);

    auto legacy = connected(ME);
    legacy.hd = false;
    sources.set(legacy);
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(2));
    worker.wait();
    EXPECT_TRUE(port.lists()[1].empty());
    EXPECT_EQ(sources.reads.load(), 0);

    sources.set(connected(ME));
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(3));
    worker.wait();
    const auto list = port.lists()[2];
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].spot, 3);
    EXPECT_EQ(list[0].text, "AP3. Accept the ask.");

    sources.set(connected(OTHER));  // someone else's wallet: frame 3 is not theirs to act on
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(4));
    worker.wait();
    EXPECT_TRUE(port.lists()[3].empty());
    EXPECT_EQ(port.lists().size(), 4u);
}

TEST(NotesWorker, RequestsDuringARunAreServedByExactlyOneMoreRun) {
    RecordingPort port;
    Sources sources;
    sources.set(connected(ME));
    shell::NotesWorker worker(port, sources.make());

    sources.gate.close();
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(sources.gate.wait_entered(1));  // the first run is reading the walls
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(worker.start());
    sources.gate.release();
    ASSERT_TRUE(port.wait_for(2));
    worker.wait();
    EXPECT_EQ(sources.reads.load(), 2);
    EXPECT_EQ(port.lists().size(), 2u);

    // Idle again: the next request is a run of its own.
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(3));
    worker.wait();
    EXPECT_EQ(sources.reads.load(), 3);
}

// Many threads ask at once; the last list posted always comes from a run that began
// after the last request, so no request is ever lost between a run's end and a start.
TEST(NotesWorker, NoRequestIsLostWhileRunsEnd) {
    RecordingPort port;
    std::atomic<int> requested{0};
    std::atomic<int> last_seen{-1};
    shell::NotesSources s;
    s.snapshot = [] { return connected(ME); };
    s.read_walls = [&](std::string& error, shell::Walls& walls) {
        last_seen = requested.load();
        error.clear();
        walls = shell::Walls{};
    };
    s.offer_status = [](const std::string&) { return 1; };
    shell::NotesWorker worker(port, s);

    for (int round = 0; round < 200; ++round) {
        std::vector<std::thread> askers;
        for (int t = 0; t < 4; ++t)
            askers.emplace_back([&] {
                ++requested;
                worker.start();
            });
        for (auto& a : askers) a.join();
        worker.wait();
        ASSERT_EQ(last_seen.load(), requested.load()) << "round " << round;
    }
}

TEST(NotesWorker, AWalletSwappedDuringTheReadIsNotGivenTheOldNotes) {
    RecordingPort port;
    Sources sources;
    sources.set(connected(ME, 1));
    auto base = sources.make();
    shell::NotesSources s = base;
    s.read_walls = [&](std::string& error, shell::Walls& walls) {
        base.read_walls(error, walls);
        if (sources.reads.load() == 1) sources.set(connected(OTHER, 2));  // swapped while reading
    };
    shell::NotesWorker worker(port, s);
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(1));
    worker.wait();
    EXPECT_EQ(sources.reads.load(), 2);  // read again for the wallet now connected
    EXPECT_TRUE(port.lists()[0].empty());

    // A wallet that never holds still gets no list of anyone's.
    int generation = 10;
    s.read_walls = [&](std::string& error, shell::Walls& walls) {
        base.read_walls(error, walls);
        sources.set(connected(ME, static_cast<std::uint64_t>(++generation)));
    };
    shell::NotesWorker restless(port, s);
    ASSERT_TRUE(restless.start());
    ASSERT_TRUE(port.wait_for(2));
    restless.wait();
    EXPECT_TRUE(port.lists()[1].empty());
    EXPECT_EQ(sources.reads.load(), 2 + shell::MAX_STALE_RETRIES + 1);
}

TEST(NotesWorker, AFailingReadPostsNoNotesAndTheWorkerCarriesOn) {
    RecordingPort port;
    Sources sources;
    sources.set(connected(ME));
    auto s = sources.make();
    bool fail = true;
    auto read = s.read_walls;
    s.read_walls = [&](std::string& error, shell::Walls& walls) {
        if (fail) throw std::runtime_error("no network");
        read(error, walls);
    };
    shell::NotesWorker worker(port, s);
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(1));
    worker.wait();
    EXPECT_TRUE(port.lists()[0].empty());

    fail = false;
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(port.wait_for(2));
    worker.wait();
    EXPECT_EQ(port.lists()[1].size(), 1u);
}

}  // namespace
