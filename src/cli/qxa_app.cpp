#include "qxa_app.h"

#include <cstdio>

namespace pixhaul::cli {

int RunQxa(int, char**) {
    std::fputs("qxa: not built yet\n", stderr);
    return kExitFailure;
}

}  // namespace pixhaul::cli
