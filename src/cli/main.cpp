#include "qxa_app.h"

int main(int argc, char** argv) {
    return pixhaul::cli::RunQxa(argc, argv);
}
