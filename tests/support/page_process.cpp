#include "tests/support/page_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "core/files.h"
#include "tests/support/temp_platform.h"

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

PageProcess::PageProcess(const std::string& folder, const std::string& instance, const std::vector<std::string>& args) {
    int in_pipe[2], out_pipe[2];
    if (::pipe(in_pipe) != 0) return;
    if (::pipe(out_pipe) != 0) {
        ::close(in_pipe[0]);
        ::close(in_pipe[1]);
        return;
    }
    err_path_ = folder + "/page-" + std::to_string(::getpid()) + "-" + std::to_string(out_pipe[0]) + ".err";
    const std::string prog = bin_path("quenvale-cli");
    std::vector<std::string> words = {prog};
    if (!instance.empty()) words.insert(words.end(), {"--instance", instance});
    words.push_back("page");
    words.insert(words.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("LOCALAPPDATA", folder.c_str(), 1);
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0) ::dup2(err, 2);
        ::close(in_pipe[1]);
        ::close(out_pipe[0]);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        ::execv(prog.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    in_fd_ = in_pipe[1];
    out_fd_ = out_pipe[0];
    pid_ = pid > 0 ? pid : -1;
}

PageProcess::~PageProcess() {
    if (pid_ > 0 && finish(20000) == -1 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (in_fd_ >= 0) ::close(in_fd_);
    if (out_fd_ >= 0) ::close(out_fd_);
}

void PageProcess::send(const core::Json& message) { send_text(message.dump()); }

void PageProcess::send_text(const std::string& line) {
    if (in_fd_ < 0) return;
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(in_fd_, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

bool PageProcess::read_line(std::string& line, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        if (out_fd_ < 0) return false;
        pollfd p{out_fd_, POLLIN, 0};
        if (::poll(&p, 1, remaining_ms(until)) <= 0) return false;
        char chunk[65536];
        const ssize_t n = ::read(out_fd_, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(out_fd_);
            out_fd_ = -1;
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

core::Json PageProcess::wait_for(const std::function<bool(const core::Json&)>& match, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    std::string line;
    while (read_line(line, remaining_ms(until))) {
        core::Json j = json_of(line);
        seen_.push_back(j);
        if (match(j)) return j;
    }
    return nullptr;
}

core::Json PageProcess::wait_for_op(const std::string& op, int ms) {
    return wait_for([&op](const core::Json& j) { return j.is_object() && j.value("op", "") == op; }, ms);
}

int PageProcess::finish(int ms, bool close_input) {
    if (pid_ <= 0) return -1;
    if (close_input && in_fd_ >= 0) {
        ::close(in_fd_);
        in_fd_ = -1;
    }
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        // Keep reading, so a host with much to say is not blocked on a full pipe.
        std::string line;
        while (read_line(line, 0)) seen_.push_back(json_of(line));
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            while (read_line(line, 0)) seen_.push_back(json_of(line));
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (remaining_ms(until) == 0) return -1;
        std::string more;
        if (read_line(more, 50)) seen_.push_back(json_of(more));
    }
}

std::string PageProcess::error_output() const {
    std::string text;
    core::read_file(err_path_, text);
    return text;
}

}  // namespace testing_support
