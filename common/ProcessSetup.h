// What every program does first, before it opens a port or a file.
#pragma once

namespace zemb {

// Opens /dev/null on any of the descriptors 0, 1 and 2 that is closed, so that no port,
// image or settings file can be opened as standard input, output or error, and ignores
// SIGXFSZ, so that a file size limit is an ordinary write error instead of a silent death.
// False when a closed standard descriptor could not be filled; the program should then
// exit at once. Does nothing on Windows, where handles are not reused that way.
bool PrepareProcess();

// True when descriptor fd (0, 1 or 2) was closed when PrepareProcess ran, so that what is
// written there now goes nowhere; a program whose output matters treats it as unwritable.
bool StandardDescriptorWasClosed(int fd);

}  // namespace zemb
