// Builds the setup executable: the window program followed by the payload of every file
// of the install table, taken from the build folder.
//   quenvale-setup-pack BASE BUILD_DIR OUT
#include <cstdio>
#include <string>
#include <vector>

#include "setup/payload.h"
#include "setup/table.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: quenvale-setup-pack BASE BUILD_DIR OUT\n");
        return 2;
    }
    const std::string build = argv[2];
    std::vector<setup::PackSource> sources;
    const auto files = setup::install_files();
    for (std::size_t i = 0; i < files.size(); ++i) {
        sources.push_back({static_cast<std::uint32_t>(i), files[i].name, build + "/" + files[i].source});
    }
    std::string error;
    if (!setup::write_setup_image(argv[1], sources, argv[3], error)) {
        std::fprintf(stderr, "quenvale-setup-pack: error: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
