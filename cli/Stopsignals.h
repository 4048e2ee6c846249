// SIGINT and SIGTERM (Ctrl-C and a kill; on Windows the console's Ctrl-C,
// Ctrl-Break and close) taken as requests to stop the run: the host asks for
// them between events instead of being interrupted at any point.
#pragma once

// Sets the stop signals up for TakeStopSignal. Call before any thread
// exists: on Linux they are blocked in every thread and read from a
// signalfd, so that they never interrupt a system call of the worker.
void BlockStopSignals();
// The stop signal that arrived since the last call (SIGINT or SIGTERM), or 0.
int TakeStopSignal();
