#include "ProcessSetup.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zemb {

namespace {

bool closedAtStart[3] = {false, false, false};

}  // namespace

bool PrepareProcess() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closedAtStart[fd] = true;
    // The lowest free descriptor is this one, since the ones below it are open by now.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0) return false;
    if (opened != fd) {
      const bool moved = ::dup2(opened, fd) == fd;
      ::close(opened);
      if (!moved) return false;
    }
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (::sigaction(SIGXFSZ, &ignore, nullptr) != 0) return false;
#endif
  return true;
}

bool StandardDescriptorWasClosed(int fd) {
  return fd >= 0 && fd <= 2 && closedAtStart[fd];
}

}  // namespace zemb
