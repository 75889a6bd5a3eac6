#pragma once
// Test support: a fresh platform folder per test (LOCALAPPDATA pointed at a temporary
// directory), a fake clock, and running programs of the build.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/json.h"

namespace testing_support {

class TempPlatform {
public:
    TempPlatform();
    ~TempPlatform();
    TempPlatform(const TempPlatform&) = delete;
    TempPlatform& operator=(const TempPlatform&) = delete;

    const std::string& root() const { return root_; }  // the LOCALAPPDATA value
    std::string dir() const { return root_ + "/Orvane"; }  // the platform folder
    std::string path(const std::string& rel) const { return dir() + "/" + rel; }
    void write(const std::string& rel, const std::string& text) const;
    std::string read(const std::string& rel) const;

private:
    std::string root_;
    std::string saved_local_;
    bool had_local_ = false;
};

// Sets or removes an environment variable of this process (and of programs it starts).
void set_env(const char* name, const std::string& value);
void unset_env(const char* name);

// A clock whose time moves only when told or when code sleeps. Threads of the code
// under test read and move it at once (retries sleep on worker threads); sleeps is
// read once they have finished.
struct FakeClock {
    std::atomic<std::int64_t> wall{1733650000000};  // ms since 1970
    std::atomic<std::int64_t> mono{1000000};
    std::vector<std::int64_t> sleeps;
    std::mutex sleeps_mutex;
    void install();
    void advance(std::int64_t ms) {
        wall += ms;
        mono += ms;
    }
    ~FakeClock();
};

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};
// A program's JSON output; null when it is not JSON.
core::Json json_of(const std::string& text);

// Runs a program of the build (bin/NAME) with args and the current environment.
RunResult run_program(const std::string& name, const std::vector<std::string>& args);
std::string bin_path(const std::string& name);
std::string source_path(const std::string& rel);

}  // namespace testing_support
