// The console around the command-line front end: the terminal that shows its progress
// line and the interrupt key. Kept apart from the platform object, since only a console
// program has them.
#pragma once

#include <cstddef>

// Whether the error stream is an interactive terminal that understands the progress
// line's control sequences ("\r", ESC [ K).
bool ConsoleIsTerminal();
// Columns of that terminal; 80 when not known.
size_t ConsoleColumns();
// The first interrupt (Ctrl+C, or a request to end) calls Handler, which must only set
// a flag; any later one ends the process at once.
void ConsoleOnInterrupt(void (*Handler)());
