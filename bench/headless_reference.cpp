// The command line as it was before the window existed: the same entry without the window
// library linked, so window_startup can tell what linking Qt Widgets costs a headless start.
#include "cli/SorvelMain.h"

int main(int argc, char** argv) { return sorvel::SorvelMain::main(argc, argv); }
