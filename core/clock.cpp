#include "core/clock.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace core {

namespace {
struct ClockState {
    std::mutex mutex;
    std::shared_ptr<const ClockHooks> hooks;
};

ClockState& clock_state() {
    static ClockState state;
    return state;
}

std::shared_ptr<const ClockHooks> current_hooks() {
    auto& s = clock_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.hooks;
}
}  // namespace

std::int64_t now_ms() {
    if (auto h = current_hooks(); h && h->wall_ms) return h->wall_ms();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t now_seconds() { return now_ms() / 1000; }

std::int64_t monotonic_ms() {
    if (auto h = current_hooks(); h && h->monotonic_ms) return h->monotonic_ms();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(std::int64_t ms) {
    if (ms < 0) ms = 0;
    if (auto h = current_hooks(); h && h->sleep_ms) {
        h->sleep_ms(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void set_clock(ClockHooks hooks) {
    auto& s = clock_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.hooks = std::make_shared<const ClockHooks>(std::move(hooks));
}

void reset_clock() {
    auto& s = clock_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.hooks.reset();
}

}  // namespace core
