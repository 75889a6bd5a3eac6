#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// The started program is our child; a detached thread collects its exit status so it
// never lingers as a zombie, however long it runs.
void reap_when_done(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child is collected when this process ends.
    }
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    bool actions_ready = false;
    bool attr_ready = false;
    ~SpawnSetup() {
        if (actions_ready) posix_spawn_file_actions_destroy(&actions);
        if (attr_ready) posix_spawnattr_destroy(&attr);
    }
};

}  // namespace

bool start_program(const std::string& program, const std::vector<std::string>& args,
                   const std::string& working_dir) {
    // Everything the child needs is built here, before the spawn: nothing is allocated
    // between the fork and the exec.
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (posix_spawn_file_actions_init(&setup.actions) != 0) return false;
    setup.actions_ready = true;
    if (posix_spawnattr_init(&setup.attr) != 0) return false;
    setup.attr_ready = true;
    // Detached: its own session, no terminal, standard streams on /dev/null.
    if (posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSID) != 0) return false;
    for (int fd = 0; fd <= 2; ++fd)
        if (posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0) != 0)
            return false;
    if (!working_dir.empty() && posix_spawn_file_actions_addchdir_np(&setup.actions, working_dir.c_str()) != 0)
        return false;

    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr, argv.data(), environ) != 0) return false;
    reap_when_done(pid);
    return true;
}

long process_id() { return static_cast<long>(::getpid()); }

}  // namespace platform
