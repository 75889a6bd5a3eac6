#include "tests/support/temp_platform.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/clock.h"
#include "core/profile.h"
#include "platform/folders.h"
#ifdef _WIN32
#include "platform/win32/wide.h"
#endif
#include "wallet/registry.h"
#include "wallet/state.h"

namespace testing_support {

namespace {

#ifdef _WIN32
// A fresh folder under the temporary folder; the name is taken with CreateDirectoryW,
// which fails when it exists, so two tests never share one.
std::string make_temp_root() {
    wchar_t base[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
    std::filesystem::path dir = n ? std::filesystem::path(std::wstring(base, n)) : std::filesystem::path(L".");
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        auto name = L"quenvale-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        auto candidate = dir / name;
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            auto u8 = candidate.generic_u8string();
            return std::string(u8.begin(), u8.end());
        }
    }
    return "quenvale-test-fallback";
}
#else
std::string make_temp_root() {
    char tmpl[] = "/tmp/quenvale-test-XXXXXX";
    char* made = ::mkdtemp(tmpl);
    return made ? made : "/tmp/quenvale-test-fallback";
}
#endif

}  // namespace

#ifdef _WIN32
// Both environments: the C runtime's (std::getenv) and the process's (what
// platform::env and child programs see).
void set_env(const char* name, const std::string& value) {
    ::_putenv_s(name, value.c_str());
    ::SetEnvironmentVariableW(std::filesystem::path(name).c_str(),
                              std::filesystem::path(std::u8string(value.begin(), value.end())).c_str());
}
void unset_env(const char* name) {
    ::_putenv_s(name, "");
    ::SetEnvironmentVariableW(std::filesystem::path(name).c_str(), nullptr);
}
#else
void set_env(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }
void unset_env(const char* name) { ::unsetenv(name); }
#endif

TempPlatform::TempPlatform() {
    root_ = make_temp_root();
    if (const char* v = std::getenv("LOCALAPPDATA")) {
        had_local_ = true;
        saved_local_ = v;
    }
    set_env("LOCALAPPDATA", root_);
    wallet::reset_registry_state();
    wallet::clear_wallet_state();
}

TempPlatform::~TempPlatform() {
    wallet::clear_wallet_state();
    wallet::reset_registry_state();
    if (had_local_)
        set_env("LOCALAPPDATA", saved_local_);
    else
        unset_env("LOCALAPPDATA");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void TempPlatform::write(const std::string& rel, const std::string& text) const {
    std::filesystem::path p(path(rel));
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::string TempPlatform::read(const std::string& rel) const {
    std::ifstream in(path(rel), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

core::Json json_of(const std::string& text) {
    core::Json j;
    core::parse_json(text, j);
    return j;
}

void FakeClock::install() {
    core::ClockHooks h;
    h.wall_ms = [this] { return wall.load(); };
    h.monotonic_ms = [this] { return mono.load(); };
    h.sleep_ms = [this](std::int64_t ms) {
        {
            std::lock_guard<std::mutex> lock(sleeps_mutex);
            sleeps.push_back(ms);
        }
        advance(ms);
    };
    core::set_clock(h);
}

FakeClock::~FakeClock() { core::reset_clock(); }

std::string bin_path(const std::string& name) { return std::string(QUENVALE_BIN_DIR) + "/" + name; }
std::string source_path(const std::string& rel) { return std::string(QUENVALE_SOURCE_DIR) + "/" + rel; }

#ifdef _WIN32
namespace {
// One argument as the C runtime of the child splits its command line back.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}
// An inheritable temporary file that goes when its last handle closes.
HANDLE temp_output() {
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (!::GetTempPathW(MAX_PATH + 1, dir) || !::GetTempFileNameW(dir, L"qvo", 0, name)) return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}
std::string read_all(HANDLE h) {
    std::string out;
    if (::SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return out;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    return out;
}
}  // namespace

// The programs sit beside unit_tests.exe; NAME gets ".exe".
RunResult run_program(const std::string& name, const std::vector<std::string>& args) {
    RunResult r;
    const std::wstring exe = platform::win32::widen_path(platform::executable_dir() + "/" + name + ".exe");
    std::wstring line = quoted(exe);
    for (const auto& a : args) line += L" " + quoted(platform::win32::widen(a));
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    HANDLE out = temp_output();
    HANDLE err = temp_output();
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
        ::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        r.exit_code = static_cast<int>(code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        r.out = read_all(out);
        r.err = read_all(err);
    }
    for (HANDLE h : {in, out, err})
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    return r;
}
#else
namespace {
std::string slurp(int fd) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    return out;
}
}  // namespace

RunResult run_program(const std::string& name, const std::vector<std::string>& args) {
    RunResult r;
    std::string prog = bin_path(name);
    char out_tmpl[] = "/tmp/quenvale-out-XXXXXX";
    char err_tmpl[] = "/tmp/quenvale-err-XXXXXX";
    int out_fd = ::mkstemp(out_tmpl);
    int err_fd = ::mkstemp(err_tmpl);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_fd, 1);
        ::dup2(err_fd, 2);
        int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(prog.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(prog.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::lseek(out_fd, 0, SEEK_SET);
    ::lseek(err_fd, 0, SEEK_SET);
    r.out = slurp(out_fd);
    r.err = slurp(err_fd);
    ::close(out_fd);
    ::close(err_fd);
    ::unlink(out_tmpl);
    ::unlink(err_tmpl);
    return r;
}

#endif

}  // namespace testing_support
