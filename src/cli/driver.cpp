#include "cli/driver.h"

int kelvane_main(int, char**) { return 0; }
