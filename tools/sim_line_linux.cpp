#include "tools/sim_line.h"

#include <sys/prctl.h>

void UseFineTimers() {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}
