// skimlet's command line and main flow: options, output set-up, the request received on
// the results port, definitions, tables, one source scan, and the end of the results.
#pragma once

// Runs the program; returns its exit code.
int skimletMain(int argc, char **argv);

// Parses the options into the run state. Returns 0 to go on, 1 when the help text was
// printed (the program then ends with 0).
int parseOptions(int argc, char **argv);

// Receives the request on the results port into gSearchBuffer until it contains
// "EndQuery:". 0, or 1 after an error (too much data, the client closed a WebSocket,
// 30 seconds passed).
int receiveRequest();
