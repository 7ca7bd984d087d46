// The few system calls tessaly-cli needs beyond the engine: is standard
// error a terminal and how wide is it, and the signals that stop a run.
#pragma once

namespace tessaly::cli {

// Opens the null device on standard input, output or error where one is
// closed, so that no file the run opens takes that number and later
// receives what was meant for the terminal. Writes to a standard output
// that was closed keep failing.
void keepStandardStreamsOpen();

bool standardErrorIsTerminal();
// Columns of the terminal on standard error; 80 when it cannot be told.
int terminalWidth();

// From now on SIGINT and SIGTERM (and SIGHUP where there is one) only note
// that a stop was asked for, so the run ends through the engine and cleans
// up after itself. SIGPIPE and SIGXFSZ are ignored where they exist: a write
// that fails then says so instead of killing the program mid-run.
void catchStopSignals();
// The signal that asked for a stop; 0 while none has.
int stopSignal();

} // namespace tessaly::cli
