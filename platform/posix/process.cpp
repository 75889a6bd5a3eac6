#include "platform/process.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

bool start_program(const std::string& program, const std::vector<std::string>& args,
                   const std::string& working_dir) {
    // Double fork so the started program is not our child and leaves no zombie.
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        if (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0) ::_exit(127);
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), environ);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && ::access(program.c_str(), X_OK) == 0;
}

long process_id() { return static_cast<long>(::getpid()); }

}  // namespace platform
