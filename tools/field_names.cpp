// Prints the names that tripconf-cli get and set take, one a line, in the
// record's order: the build fills the shell completion with them.

#include "model/settings_fields.h"

#include <cstdio>

int main() {
#define TRIPCONF_PRINT_NAME(name, ...) std::puts(#name);
#define TRIPCONF_NO_NAME(...)
    TRIPCONF_SETTINGS_FIELDS(TRIPCONF_PRINT_NAME, TRIPCONF_PRINT_NAME, TRIPCONF_NO_NAME)
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
