// zembromw-sim: serves the simulated ROM writer on a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ChipImage.h"
#include "FileIO.h"
#include "ProcessSetup.h"
#include "RawTermios.h"
#include "SimConfig.h"
#include "SimEngine.h"
#include "WireTranscript.h"
#include "ZembromwVersion.h"

namespace {

using zemb::sim::SimConfig;
using zemb::sim::SimEngine;

constexpr const char* kProgram = "zembromw-sim";

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // Nothing to do when the pipe is full: a wake-up is already pending.
  [[maybe_unused]] const ssize_t ignored = write(signalPipe[1], &byte, 1);
  errno = saved;
}

void SetFlags(int fd, int add) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | add) < 0) Fail("fcntl");
}

void SetCloseOnExec(int fd) {
  const int flags = fcntl(fd, F_GETFD);
  if (flags < 0 || fcntl(fd, F_SETFD, flags | FD_CLOEXEC) < 0) Fail("fcntl");
}

void SetRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) < 0) Fail("tcgetattr");
  zemb::MakeRawTermios(t);
  if (tcsetattr(fd, TCSANOW, &t) < 0) Fail("tcsetattr");
}

std::string ReadFileBytes(const std::string& path) {
  std::string data;
  const zemb::ReadResult read = zemb::ReadUserFile(path, data);
  if (!read) throw std::runtime_error("cannot read " + path + ": " + read.reason);
  return data;
}

void WriteFileReplacing(const std::string& path, const std::string& data) {
  const zemb::WriteOutcome written = zemb::WriteUserFile(path, data);
  if (!written) throw std::runtime_error("cannot write " + path + ": " + written.reason);
}

// Everything that must be undone at exit, whichever way the run ends.
struct Resources {
  int master = -1;
  int ownSlave = -1;
  int watch = -1;
  FILE* log = nullptr;
  std::string ttyPath;
  std::string link;

  ~Resources() {
    if (!link.empty()) {
      // Only our own link: someone may have replaced it meanwhile.
      char target[4096];
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n >= 0 && std::string(target, static_cast<size_t>(n)) == ttyPath) {
        if (unlink(link.c_str()) < 0) std::perror("zembromw-sim: unlink");
      }
    }
    if (log && std::fclose(log) != 0) std::perror("zembromw-sim: log");
    for (int fd : {watch, ownSlave, master}) {
      if (fd >= 0) close(fd);
    }
  }
};

class Log {
 public:
  Log(FILE* file, bool lf) : file_(file), formatter_(lf) {}
  void Add(char direction, std::string_view bytes, int64_t timeUs) {
    if (file_) Write(formatter_.Add(direction, bytes, timeUs));
  }
  void Flush() {
    if (file_) Write(formatter_.Flush());
  }

 private:
  void Write(const std::string& text) {
    if (text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
      Fail("cannot write the log");
    }
  }
  FILE* file_;
  zemb::TranscriptFormatter formatter_;
};

void MakeLink(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      errno = EEXIST;
      Fail("will not replace " + link + ", which is not a symbolic link");
    }
    if (unlink(link.c_str()) < 0) Fail("cannot remove the old link " + link);
  } else if (errno != ENOENT) {
    Fail("cannot examine " + link);
  }
  if (symlink(target.c_str(), link.c_str()) < 0) Fail("cannot link " + link);
}

// Handles the host's opens and closes of the terminal end (Linux only; elsewhere the host
// must leave exclusive mode itself).
void DrainWatch(const Resources& r) {
#ifdef __linux__
  if (r.watch < 0) return;
  alignas(inotify_event) char buffer[4096];
  bool closed = false;
  for (;;) {
    const ssize_t n = read(r.watch, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      Fail("inotify read");
    }
    if (n == 0) break;
    for (ssize_t pos = 0; pos < n;) {
      inotify_event event;
      std::memcpy(&event, buffer + pos, sizeof event);
      if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) closed = true;
      if (event.mask & IN_OPEN) closed = false;
      pos += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
    }
  }
  if (closed) {
    // Our own descriptor keeps the terminal alive, so the exclusive mode a host set would
    // outlast its close and lock out the next non-root host; and what the host left unread
    // is gone, as on a real line whose port was closed.
    if (ioctl(r.ownSlave, TIOCNXCL) < 0) Fail("TIOCNXCL");
    if (tcflush(r.ownSlave, TCIFLUSH) < 0) Fail("tcflush");
  }
#else
  (void)r;
#endif
}

// After the last answer of --once, gives the host up to two seconds to read it: closing
// the master hangs the terminal up and would throw unread bytes away.
void WaitForHostToRead(int ownSlave) {
  for (int i = 0; i < 400; ++i) {
    int unread = 0;
    if (ioctl(ownSlave, FIONREAD, &unread) < 0) Fail("FIONREAD");
    if (unread == 0) return;
    usleep(5000);
  }
}

int Run(const SimConfig& config) {
  SimEngine engine(config.engine);
  if (!config.image.empty()) {
    std::string error;
    if (!zemb::sim::LoadImage(ReadFileBytes(config.image), engine.Memory(engine.CurrentType()),
                              error)) {
      throw std::runtime_error(config.image + ": " + error);
    }
  }

  // Both files are checked as the one write path checks them, before the session: the log
  // is opened as a stream and would truncate a write-protected file, and a dump refused at
  // exit would lose the whole session's chip.
  for (const std::string* path : {&config.log, &config.dump}) {
    if (path->empty()) continue;
    const zemb::WriteOutcome target = zemb::CheckWriteTarget(*path);
    if (!target) throw std::runtime_error("cannot write " + *path + ": " + target.reason);
  }

  Resources r;
  if (!config.log.empty()) {
    r.log = std::fopen(config.log.c_str(), "w");
    if (!r.log) Fail("cannot create " + config.log);
  }
  Log log(r.log, config.engine.lf);

  r.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (r.master < 0) Fail("posix_openpt");
  SetCloseOnExec(r.master);
  if (grantpt(r.master) < 0) Fail("grantpt");
  if (unlockpt(r.master) < 0) Fail("unlockpt");
  const char* name = ptsname(r.master);
  if (!name) Fail("ptsname");
  r.ttyPath = name;
  // Holding the terminal end open ourselves keeps the master free of EIO/HUP while the host
  // closes and reopens the port between commands, and keeps the raw mode set here.
  r.ownSlave = open(r.ttyPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (r.ownSlave < 0) Fail("cannot open " + r.ttyPath);
  SetRaw(r.ownSlave);
  SetFlags(r.master, O_NONBLOCK);
#ifdef __linux__
  r.watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (r.watch < 0) Fail("inotify_init1");
  if (inotify_add_watch(r.watch, r.ttyPath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
    Fail("inotify_add_watch");
  }
#endif

  if (pipe(signalPipe) < 0) Fail("pipe");
  for (int fd : signalPipe) {
    SetFlags(fd, O_NONBLOCK);
    SetCloseOnExec(fd);
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    if (sigaction(sig, &action, nullptr) < 0) Fail("sigaction");
  }
  action.sa_handler = SIG_IGN;
  if (sigaction(SIGPIPE, &action, nullptr) < 0) Fail("sigaction");

  if (!config.link.empty()) {
    MakeLink(config.link, r.ttyPath);
    r.link = config.link;
  }
  if (std::printf("%s\n", r.ttyPath.c_str()) < 0 || std::fflush(stdout) != 0) {
    Fail("cannot write to standard output");
  }

  const auto start = std::chrono::steady_clock::now();
  auto now = [&start]() -> int64_t {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };

  std::string pending;  // due bytes the terminal did not take yet
  int64_t lastTrafficUs = 0;
  std::string input(65536, '\0');
  for (;;) {
    int64_t t = now();
    pending += engine.TakeOutput(t);
    if (engine.Disconnected()) break;
    if (!pending.empty()) {
      const ssize_t n = write(r.master, pending.data(), pending.size());
      if (n > 0) {
        log.Add('>', std::string_view(pending).substr(0, static_cast<size_t>(n)), t);
        pending.erase(0, static_cast<size_t>(n));
        lastTrafficUs = t;
      } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Fail("write to the terminal");
      }
    }
    if (config.once && engine.OperationsAnswered() > 0 && pending.empty() &&
        !engine.OutputPending()) {
      log.Flush();
      WaitForHostToRead(r.ownSlave);
      break;
    }

    const int64_t wake = engine.NextWakeUs();
    int64_t timeoutMs = 1000;
    if (wake != zemb::sim::kNever) {
      timeoutMs = std::min<int64_t>(timeoutMs, std::max<int64_t>(0, (wake - t + 999) / 1000));
    }
    // A partial line in the log is written once the line has been quiet for a while.
    if (t - lastTrafficUs > 50'000) {
      log.Flush();
    } else {
      timeoutMs = std::min<int64_t>(timeoutMs, 51);
    }

    pollfd fds[3] = {{r.master, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0},
                     {signalPipe[0], POLLIN, 0},
                     {r.watch, POLLIN, 0}};
    const nfds_t count = r.watch >= 0 ? 3 : 2;
    if (poll(fds, count, static_cast<int>(timeoutMs)) < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    if (fds[1].revents & POLLIN) break;
    // Before reading the master: a close must be seen before the next host's bytes.
    DrainWatch(r);
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      errno = EIO;
      Fail("the terminal hung up");
    }
    if (fds[0].revents & POLLIN) {
      for (int rounds = 0; rounds < 16; ++rounds) {
        const ssize_t n = read(r.master, input.data(), input.size());
        if (n < 0) {
          if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
          Fail("read from the terminal");
        }
        if (n == 0) break;
        t = now();
        const std::string_view bytes(input.data(), static_cast<size_t>(n));
        log.Add('<', bytes, t);
        engine.Receive(bytes, t);
        lastTrafficUs = t;
        if (static_cast<size_t>(n) < input.size()) break;
      }
    }
  }
  log.Flush();

  if (!config.dump.empty()) {
    WriteFileReplacing(config.dump, zemb::sim::DumpIntelHex(engine.Memory(engine.CurrentType())));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!zemb::PrepareProcess()) return 125;
  SimConfig config;
  std::string error;
  if (!zemb::sim::ParseSimArgs(argc - 1, argv + 1, config, error)) {
    std::fprintf(stderr, "%s: %s (try --help)\n", kProgram, error.c_str());
    return 2;
  }
  if (config.help) {
    std::fputs(zemb::sim::SimUsage(kProgram).c_str(), stdout);
    return 0;
  }
  if (config.version) {
    std::printf("%s %s\n", kProgram, ZEMBROMW_VERSION);
    return 0;
  }
  try {
    return Run(config);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 1;
  }
}
