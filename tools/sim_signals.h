#pragma once

class TSimulator;

// SIGTERM, SIGINT and SIGHUP stop the simulator, SIGUSR1 asks it for a dump;
// a reader of the log that went away does not end the program. nullptr:
// the signals find no simulator and do nothing.
void RouteSignalsTo(TSimulator* sim);
