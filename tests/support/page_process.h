#pragma once
// Test support: `quenvale-cli page` as a real process with its own platform folder:
// page messages written to its standard input, host messages read back one JSON line
// at a time.
#include <functional>
#include <string>
#include <vector>

#include "core/json.h"

namespace testing_support {

class PageProcess {
public:
    // Starts bin/quenvale-cli [--instance instance] page args… with LOCALAPPDATA = folder.
    PageProcess(const std::string& folder, const std::string& instance, const std::vector<std::string>& args);
    ~PageProcess();  // closes its input and, when it has not ended within 20 s, kills it
    PageProcess(const PageProcess&) = delete;
    PageProcess& operator=(const PageProcess&) = delete;

    bool running() const { return pid_ > 0; }
    void send(const core::Json& message);
    void send_text(const std::string& line);  // a line as it is, for hostile input
    // The first host message from now on for which match is true, within ms; null when
    // none came (or the process ended). Every message read is kept in seen().
    core::Json wait_for(const std::function<bool(const core::Json&)>& match, int ms = 60000);
    core::Json wait_for_op(const std::string& op, int ms = 60000);
    // Closes the input (unless told not to) and waits up to ms for the exit; the exit
    // code, -1 when it did not end within ms or not normally.
    int finish(int ms = 60000, bool close_input = true);
    const std::vector<core::Json>& seen() const { return seen_; }
    std::string error_output() const;

private:
    bool read_line(std::string& line, int ms);
    int pid_ = -1;
    int in_fd_ = -1;
    int out_fd_ = -1;
    std::string err_path_;
    std::string buffer_;
    std::vector<core::Json> seen_;
};

}  // namespace testing_support
