#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/profile.h"

namespace fuzz_support {

namespace {

struct TempRoot {
    std::string root;
    std::string platform;
    TempRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenvale-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) fail("cannot make a temporary folder");
        root = pattern;
        platform = root + "/Orvane";
        std::filesystem::create_directories(platform);
        setenv("LOCALAPPDATA", root.c_str(), 1);
    }
    ~TempRoot() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

}  // namespace

const std::string& platform_dir() {
    static TempRoot temp;
    return temp.platform;
}

void go_offline() {
    core::Profile p;
    std::string error;
    if (!core::parse_profile(core::MAINNET_PROFILE_JSON, p, error)) fail("the main-net profile does not parse");
    p.woc_api.clear();
    p.ord_api.clear();
    p.ord_host.clear();
    p.arc_tx.clear();
    p.service_root.clear();
    p.service_host.clear();
    p.service_pin_ip.clear();
    p.update_site.clear();
    core::set_profile(p);
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        setenv(name, "http://127.0.0.1:9", 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
}

void write_file(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) fail("cannot write the input file");
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz_support
