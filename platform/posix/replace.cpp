#include "platform/replace.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace platform {

bool move_into_place(const std::string& from, const std::string& to, bool replace) {
    if (replace) return std::rename(from.c_str(), to.c_str()) == 0;
    // A hard link fails when the target exists, which rename(2) would not.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

}  // namespace platform
