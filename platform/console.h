#pragma once
// What a command-line program needs to know of the terminal it writes to.

namespace rm7 {

// True when standard error is a terminal, where a progress line may redraw itself.
bool StderrIsTerminal();

}  // namespace rm7
