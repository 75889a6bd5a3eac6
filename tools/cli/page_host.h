#pragma once
// quenvale-cli page: a headless page host. Page messages come in as JSON lines on
// standard input; every host message goes out as one JSON line on standard output,
// through the same dispatcher, handlers, workers and picture store as the windows.
#include <string>

namespace cli {

struct PageHostOptions {
    bool answer_yes = false;  // the answer to the admission question
    std::string web_dir;      // where the frame pictures go when it can be written
};

// Runs until standard input ends and every worker has finished, or until the quit
// timer of an unpaid admission fires. The process exit code.
int run_page_host(const PageHostOptions& options);

}  // namespace cli
