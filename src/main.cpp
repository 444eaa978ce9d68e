#include "cli/SorvelMain.h"

int main(int argc, char** argv) { return sorvel::SorvelMain::main(argc, argv); }
