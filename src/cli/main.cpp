#include "cli/driver.h"

int main(int argc, char** argv) { return kelvane_main(argc, argv); }
