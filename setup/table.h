#pragma once
// The install file table: every file an installation holds, in the order they are
// written. An entry's index is also its id in the setup executable's payload.
#include <cstddef>
#include <span>
#include <string>

namespace setup {

inline constexpr const char* PRODUCT = "Quenvale";
inline constexpr const char* VERSION = "0.001";
inline constexpr const char* PUBLISHER = "Orvane";
inline constexpr const char* PROGRAM_PAGE = "https://www.orvane.app/quenvale/";
inline constexpr const char* WALLET_PAGE = "https://www.orvane.app/wendrel/";

// Names inside the install folder.
#ifdef _WIN32
inline constexpr const char* PROGRAM_FILE = "Quenvale.exe";
inline constexpr const char* SETUP_COPY_FILE = "QuenvaleSetup.exe";
#else
inline constexpr const char* PROGRAM_FILE = "quenvale";
inline constexpr const char* SETUP_COPY_FILE = "quenvale-setup";
inline constexpr const char* ICON_FILE = "quenvale.png";
inline constexpr const char* ENTRY_TEMPLATE_FILE = "quenvale.desktop";
#endif
inline constexpr const char* WEB_FOLDER = "QuenvaleWeb";
// The program's cache of frame pictures inside the web folder.
inline constexpr const char* SPOTS_FOLDER = "spots";

struct InstallFile {
    const char* name;    // relative to the install folder, "/" separated; shown while copying
    const char* source;  // relative to the build folder, where the pack step takes it
    bool executable;     // written with mode 0755, else 0644 (no modes on Windows)
    // Windows: the RCDATA resource of QuenvaleSetup.exe that carries the file.
    unsigned resource = 0;
};

std::span<const InstallFile> install_files();

}  // namespace setup
