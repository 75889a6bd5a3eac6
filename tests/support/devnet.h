#pragma once
// Test support: the project's local chain network (tools/devnet) started as a real
// server for one test binary, with its profile installed and its admin paths at hand.
#include <cstdint>
#include <string>

#include "core/json.h"

namespace testing_support {

class Devnet {
public:
    // Starts node tools/devnet/server.mjs on a free port and installs its profile.
    static Devnet& shared();
    ~Devnet();

    bool running() const { return pid_ > 0 && !root_.empty(); }
    const std::string& root() const { return root_; }  // http://127.0.0.1:PORT
    const std::string& profile_path() const { return profile_path_; }
    const core::Json& profile() const { return profile_; }

    // Admin paths; each returns the parsed reply (null on failure).
    core::Json post(const std::string& path, const core::Json& body);
    core::Json get(const std::string& path);
    std::string fund(const std::string& address, std::int64_t sats, bool confirmed = false);
    void mine(int blocks = 1);
    std::string inscribe(const std::string& address, const std::string& content_type, const std::string& bytes,
                         std::int64_t sats = 1);
    void fault(const core::Json& rule);
    void clear_faults();
    void reset();

private:
    Devnet();
    long pid_ = -1;
    std::string root_;
    std::string dir_;
    std::string profile_path_;
    core::Json profile_;
};

}  // namespace testing_support
