#pragma once
// Where the setup image carries one file of the install table: in the payload appended
// to the executable on Linux (payload.h), as an RCDATA resource on Windows (the resource
// id of the table entry). Opened for one file at a time; closes itself.
#include <cstdint>
#include <string>

#include "platform/install_files.h"

namespace setup {

struct Carried {
    std::uint64_t size = 0;
#ifdef _WIN32
    void* module = nullptr;  // the image loaded as a data file (HMODULE)
    const void* bytes = nullptr;
#else
    platform::File image;
    std::uint64_t offset = 0;
#endif
    Carried() = default;
    Carried(const Carried&) = delete;
    Carried& operator=(const Carried&) = delete;
    ~Carried();
};

// Table entry index of image ("" is the running program). False when the image does not
// carry it, or carries it empty (or, in the appended payload, under another name).
bool open_carried(const std::string& image, std::uint32_t index, Carried& out);
// Writes all of its bytes at the current position of out; code is the system's error.
bool copy_carried(const Carried& carried, const platform::File& out, int& code);

}  // namespace setup
