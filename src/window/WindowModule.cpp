// The window as a loadable module: the one symbol the executable looks up.
#include "ui/shell/SorvelApp.h"

extern "C" __attribute__((visibility("default"))) int sorvel_window_main(int argc, char** argv) {
    return sorvel::ui::SorvelApp::main(argc, argv);
}
