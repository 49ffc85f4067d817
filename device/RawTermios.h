// The raw line both ends of a serial link use: every byte passed unchanged, 8 data bits,
// no parity, 1 stop bit, no hardware or driver flow control, reads that never block.
#pragma once

#ifndef _WIN32
#include <termios.h>

namespace zemb {

inline void MakeRawTermios(termios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      INPCK | IXON | IXOFF | IXANY | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

}  // namespace zemb
#endif
