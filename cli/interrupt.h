// Ending a conversion when the user interrupts it (SIGINT or SIGTERM; Ctrl-C,
// Ctrl-Break or closing the console on Windows) without leaving a partial
// file. The interrupt itself only raises a flag: a read from a stream and
// every write to an output fail once it is up, so the conversion under way
// fails as on a full disk and its temporary file is removed by the same code,
// and the converter then ends with endInterrupted. Files already complete
// stay.
#pragma once

// Installs the handlers and makes writes through file_replace.h fail once
// interrupted.
void catchInterrupts();

// Whether an interrupt has arrived.
bool interrupted();

// Ends the process after an interrupt, stdout flushed: on POSIX killed by the
// signal itself, so that a shell sees 128 + its number (130 for SIGINT, 143
// for SIGTERM) and a script's loop stops; on Windows with exit status 130.
[[noreturn]] void endInterrupted();
