#include "cli/SorvelMain.h"

#include <cstdio>

namespace sorvel::SorvelMain {

int main(int, char**) {
    std::fputs("sorvel: not available in this build\n", stderr);
    return 2;
}

} // namespace sorvel::SorvelMain
