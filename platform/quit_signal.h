#pragma once
// SIGTERM, SIGINT and SIGHUP as a readable descriptor, so a program that is asked to end can
// leave its event loop and save its settings instead of dying on the spot.
namespace rm7 {

// Installs the handlers once; returns the descriptor that becomes readable when a quit signal
// arrived (-1 when it could not be set up).
int QuitSignalFd();
// Reads what the descriptor holds: the number of quit signals since the last call.
int DrainQuitSignals();

}  // namespace rm7
