// The setup program's command line; the input is split into arguments at NUL bytes.
// Checks the folder switch: a folder is only set by it and keeps no trailing "/".
#include <cstddef>
#include <cstdint>

#include "setup/command_line.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (char c : fuzz_support::text_of(data, size)) {
        if (c == '\0')
            args.emplace_back();
        else
            args.back().push_back(c);
    }
    const setup::CommandLine c = setup::parse_command_line(args);
    if (c.has_folder && !c.folder.empty() && c.folder.back() == '/') fuzz_support::fail("a folder kept its trailing /");
    if (!c.has_folder && !c.folder.empty()) fuzz_support::fail("a folder without the switch");
    return 0;
}
