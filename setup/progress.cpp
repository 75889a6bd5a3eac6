#include "setup/progress.h"

namespace setup {

Progress& progress() {
    static Progress p;
    return p;
}

void reset_progress() { progress() = Progress{}; }

Options& options() {
    static Options o;
    return o;
}

void reset_options() { options() = Options{}; }

}  // namespace setup
