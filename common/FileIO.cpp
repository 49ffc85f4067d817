#include "FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zemb {

namespace {

std::string TooLargeReason(size_t maxBytes) {
  if (maxBytes % (1024 * 1024) == 0) {
    return "is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MiB";
  }
  return "is larger than " + std::to_string(maxBytes) + " bytes";
}

WriteOutcome Failed(WriteResult result, std::string reason) {
  WriteOutcome out;
  out.result = result;
  out.reason = std::move(reason);
  return out;
}

#ifdef _WIN32

std::string WinReason(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out =
      n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
    out.pop_back();
  }
  return out;
}

bool WriteAllHandle(HANDLE h, const std::string& bytes, std::string& reason) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) {
      reason = WinReason(GetLastError());
      return false;
    }
    if (written == 0) {
      reason = "short write";
      return false;
    }
    done += written;
  }
  return true;
}

// The crash-safe replace needs a temporary file in the folder; where the folder refuses one,
// a file this user may write is overwritten, cut to its new length and flushed.
WriteOutcome WriteInPlaceHandle(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return Failed(WriteResult::CannotCreate, WinReason(GetLastError()));
  std::string reason;
  bool ok = WriteAllHandle(h, bytes, reason);
  if (ok && (!SetEndOfFile(h) || !FlushFileBuffers(h))) {
    reason = WinReason(GetLastError());
    ok = false;
  }
  CloseHandle(h);
  if (!ok) {
    return Failed(WriteResult::WriteFailed,
                  reason + " (written in place, the file may now be incomplete)");
  }
  return WriteOutcome();
}

#else

std::string KindReason(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO";
  if (S_ISCHR(mode)) return "is a character device";
  if (S_ISBLK(mode)) return "is a block device";
  if (S_ISSOCK(mode)) return "is a socket";
  return "is not a regular file";
}

bool WriteAll(int fd, const std::string& bytes, bool isSocket, std::string& reason) {
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t chunk = std::min<size_t>(bytes.size() - done, size_t{1} << 20);
    // A socket whose reader went away must not raise SIGPIPE.
    const ssize_t n = isSocket ? ::send(fd, bytes.data() + done, chunk, MSG_NOSIGNAL)
                               : ::write(fd, bytes.data() + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      return false;
    }
    if (n == 0) {
      reason = "short write";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links one by one, so that a link to a file that does not exist yet
// still names where the file goes. Empty with reason set on a loop or an unreadable link.
std::string ResolveLinks(const std::string& path, std::string& reason) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    for (;;) {
      const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
      if (n < 0) {
        reason = std::strerror(errno);
        return std::string();
      }
      if (static_cast<size_t>(n) < target.size()) {
        target.resize(static_cast<size_t>(n));
        break;
      }
      target.resize(target.size() * 2);
    }
    if (target.empty()) break;
    current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
  }
  reason = std::strerror(ELOOP);
  return std::string();
}

// Blocks SIGPIPE for this thread while it lives, and takes back one raised meanwhile.
class PipeSignalHeld {
 public:
  PipeSignalHeld() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    // One already pending belongs to someone else and must not be taken.
    wasPending_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    blocked_ = ::pthread_sigmask(SIG_BLOCK, &pipe, &old_) == 0;
  }
  ~PipeSignalHeld() {
    if (!blocked_) return;
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    if (!wasPending_ && ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec none{0, 0};
      while (::sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

 private:
  sigset_t old_{};
  bool blocked_ = false;
  bool wasPending_ = false;
};

// Writes through a FIFO, character device or socket without ever replacing it.
WriteOutcome WriteThrough(const std::string& path, const struct stat& st,
                          const std::string& bytes) {
  int fd = -1;
  const bool isSocket = S_ISSOCK(st.st_mode);
  if (isSocket) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
      return Failed(WriteResult::CannotCreate, "is a socket with too long a name");
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Failed(WriteResult::CannotCreate, std::strerror(errno));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      return Failed(WriteResult::CannotCreate, "is a socket: " + why);
    }
  } else {
    // Non-blocking so that a FIFO without a reader fails at once (ENXIO) instead of
    // waiting for ever; the writes themselves block as usual.
    fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENXIO && S_ISFIFO(st.st_mode)) {
        return Failed(WriteResult::CannotCreate, "is a FIFO that nobody reads");
      }
      return Failed(WriteResult::CannotCreate, std::strerror(errno));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      return Failed(WriteResult::CannotCreate, why);
    }
  }
  std::string reason;
  bool ok = false;
  {
    // A FIFO whose reader goes away raises SIGPIPE, which would end the program; it is
    // held back here and the write fails with EPIPE instead.
    PipeSignalHeld held;
    ok = WriteAll(fd, bytes, isSocket, reason);
  }
  if (::close(fd) != 0 && ok) return Failed(WriteResult::WriteFailed, std::strerror(errno));
  if (!ok) return Failed(WriteResult::WriteFailed, reason);
  return WriteOutcome{};
}

// Whether this process may open the existing regular file for writing, the way the kernel
// decides for a direct open (effective ids, groups, ACLs, read-only mounts), and not when
// no write bit is set at all.
bool MayReplace(const std::string& path, const struct stat& st, std::string& reason) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    reason = "it is write-protected";
    return false;
  }
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  return true;
}

// Flushes a written file to the disk (when the writing went well) and closes it; the first
// failure's reason is kept. Returns whether everything went well.
bool SyncAndClose(int fd, bool ok, std::string& reason) {
  if (ok && ::fsync(fd) != 0) {
    reason = std::strerror(errno);
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  return ok;
}

// The folder refused what a crash-safe replace needs: a temporary file beside the target, or
// the rename over it (a sticky folder and another user's file). The file is this user's to
// write, so it is written where it is: room for the new contents is reserved first, so that
// a full disk is refused before a byte changes; then it is overwritten, cut to its new length
// and flushed. A failure after the first write can leave it incomplete, and says so.
WriteOutcome WriteInPlace(const std::string& path, const std::string& bytes) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Failed(WriteResult::CannotCreate, std::strerror(errno));
  struct stat st {};
  // The name may have come to mean something else since it was looked at.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Failed(WriteResult::CannotCreate, "is no longer a regular file");
  }
#ifdef __linux__
  if (!bytes.empty() &&
      ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size())) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    return Failed(WriteResult::CannotCreate, why);
  }
#endif
  std::string reason;
  bool ok = WriteAll(fd, bytes, false, reason);
  if (ok && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
    reason = std::strerror(errno);
    ok = false;
  }
  ok = SyncAndClose(fd, ok, reason);
  if (!ok) {
    return Failed(WriteResult::WriteFailed,
                  reason + " (written in place, the file may now be incomplete)");
  }
  return WriteOutcome{};
}

bool FolderRefused(int err) {
  return err == EACCES || err == EPERM;
}

WriteOutcome ReplaceRegular(const std::string& path, const struct stat* old,
                            const std::string& bytes) {
  const std::string folder = FolderOf(path);
  std::string temp = folder + "/.zembromw-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (old != nullptr && FolderRefused(err)) return WriteInPlace(path, bytes);
    return Failed(WriteResult::CannotCreate,
                  std::string("cannot create a file in its folder: ") + std::strerror(err));
  }
  std::string reason;
  bool ok = true;
  if (old != nullptr) {
    // Another owner's file keeps its owner when the rules allow it (always for root).
    if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
      if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
        [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
      }
    }
    if (::fchmod(fd, old->st_mode & 07777) != 0) {
      reason = std::strerror(errno);
      ok = false;
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) {
      reason = std::strerror(errno);
      ok = false;
    }
  }
  ok = ok && WriteAll(fd, bytes, false, reason);
  ok = SyncAndClose(fd, ok, reason);
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    if (old != nullptr && FolderRefused(err)) return WriteInPlace(path, bytes);
    return Failed(WriteResult::WriteFailed, std::strerror(err));
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return Failed(WriteResult::WriteFailed, reason);
  }
  // The rename itself reaches the disk with the folder; some file systems cannot sync a
  // folder, and the data is in place either way.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return WriteOutcome{};
}

#endif

}  // namespace

ReadResult ReadUserFile(const std::string& path, std::string& bytes, size_t maxBytes) {
  ReadResult result;
  auto fail = [&result](std::string reason) {
    result.ok = false;
    result.reason = std::move(reason);
    return result;
  };
#ifdef _WIN32
  const DWORD attr = GetFileAttributesA(path.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) {
    return fail("is a directory");
  }
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(WinReason(GetLastError()));
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return fail("is not a regular file");
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) {
    const DWORD code = GetLastError();
    CloseHandle(h);
    return fail(WinReason(code));
  }
  if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    CloseHandle(h);
    return fail(TooLargeReason(maxBytes));
  }
  std::string out(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  for (;;) {
    if (done == out.size()) out.resize(std::min(maxBytes + 1, out.size() + 65536));
    if (done == out.size()) break;
    DWORD n = 0;
    if (!ReadFile(h, out.data() + done, static_cast<DWORD>(out.size() - done), &n, nullptr)) {
      const DWORD code = GetLastError();
      CloseHandle(h);
      return fail(WinReason(code));
    }
    if (n == 0) break;
    done += n;
  }
  CloseHandle(h);
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    struct stat st {};
    // A socket cannot be opened at all; say what it is rather than "No such device".
    if (code == ENXIO && ::stat(path.c_str(), &st) == 0) return fail(KindReason(st.st_mode));
    return fail(std::strerror(code));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int code = errno;
    ::close(fd);
    return fail(std::strerror(code));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail(KindReason(st.st_mode));
  }
  if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    ::close(fd);
    return fail(TooLargeReason(maxBytes));
  }
  // Read straight into the result; one byte beyond the cap shows a file that grew past it.
  std::string out(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  for (;;) {
    if (done == out.size()) out.resize(std::min(maxBytes + 1, out.size() + 65536));
    if (done == out.size()) break;
    const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int code = errno;
      ::close(fd);
      return fail(std::strerror(code));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
#endif
  if (done > maxBytes) return fail(TooLargeReason(maxBytes));
  out.resize(done);
  bytes = std::move(out);
  return result;
}

ReadResult CheckImageLines(const std::string& bytes) {
  size_t lines = 0;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= n || bytes[i + 1] != '\n'))) ++lines;
  }
  if (n > 0 && bytes[n - 1] != '\n' && bytes[n - 1] != '\r') ++lines;
  ReadResult result;
  if (lines > kMaxImageLines) {
    result.ok = false;
    result.reason = "has more than " + std::to_string(kMaxImageLines) + " lines";
  }
  return result;
}

ReadResult CheckTextImage(const std::string& bytes) {
  size_t line = 1;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n' || (c == '\r' && (i + 1 >= n || bytes[i + 1] != '\n'))) {
      ++line;
      continue;
    }
    if (c >= 0x20 || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A) continue;
    ReadResult result;
    result.ok = false;
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", c);
    result.reason = "line " + std::to_string(line) + " holds the binary byte " + code +
                    (c == 0 ? " (NUL)" : "") + "; not a text image";
    return result;
  }
  return ReadResult{};
}

ReadResult ReadImageFile(const std::string& path, std::string& bytes) {
  std::string read;
  ReadResult result = ReadUserFile(path, read, kMaxImageBytes);
  if (!result) return result;
  result = CheckImageLines(read);
  if (result) bytes = std::move(read);
  return result;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  return static_cast<bool>(ReadUserFile(path, bytes));
}

WriteOutcome WriteUserFile(const std::string& path, const std::string& bytes) {
  if (path.empty()) return Failed(WriteResult::CannotCreate, "empty file name");
#ifdef _WIN32
  const DWORD attr = GetFileAttributesA(path.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return Failed(WriteResult::CannotCreate, "is a directory");
    if (attr & FILE_ATTRIBUTE_READONLY) {
      return Failed(WriteResult::CannotCreate, "it is write-protected");
    }
  }
  // Devices (NUL, COMn, pipes) are written through, never replaced.
  HANDLE existing = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    if (GetFileType(existing) != FILE_TYPE_DISK) {
      std::string reason;
      const bool ok = WriteAllHandle(existing, bytes, reason);
      CloseHandle(existing);
      return ok ? WriteOutcome() : Failed(WriteResult::WriteFailed, reason);
    }
    CloseHandle(existing);
  } else if (attr != INVALID_FILE_ATTRIBUTES) {
    return Failed(WriteResult::CannotCreate, WinReason(GetLastError()));
  }
  const size_t sep = path.find_last_of("\\/:");
  std::string folder = sep == std::string::npos ? "." : path.substr(0, sep + 1);
  if (folder.empty()) folder = ".";
  char temp[MAX_PATH + 1] = {};
  if (GetTempFileNameA(folder.c_str(), "zem", 0, temp) == 0) {
    const DWORD code = GetLastError();
    // A file this user may write, in a folder that takes no new file: written in place.
    if (attr != INVALID_FILE_ATTRIBUTES && code == ERROR_ACCESS_DENIED) {
      return WriteInPlaceHandle(path, bytes);
    }
    return Failed(WriteResult::CannotCreate,
                  "cannot create a file in its folder: " + WinReason(code));
  }
  HANDLE h =
      CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    DeleteFileA(temp);
    return Failed(WriteResult::CannotCreate, WinReason(code));
  }
  std::string reason;
  bool ok = WriteAllHandle(h, bytes, reason);
  if (ok && !FlushFileBuffers(h)) {
    reason = WinReason(GetLastError());
    ok = false;
  }
  CloseHandle(h);
  if (ok && !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    reason = WinReason(GetLastError());
    ok = false;
  }
  if (!ok) {
    DeleteFileA(temp);
    return Failed(WriteResult::WriteFailed, reason);
  }
  return WriteOutcome();
#else
  std::string reason;
  const std::string target = ResolveLinks(path, reason);
  if (target.empty()) return Failed(WriteResult::CannotCreate, reason);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return Failed(WriteResult::CannotCreate, std::strerror(errno));
    return ReplaceRegular(target, nullptr, bytes);
  }
  if (S_ISREG(st.st_mode)) {
    if (!MayReplace(target, st, reason)) return Failed(WriteResult::CannotCreate, reason);
    return ReplaceRegular(target, &st, bytes);
  }
  if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    return WriteThrough(target, st, bytes);
  }
  return Failed(WriteResult::CannotCreate, KindReason(st.st_mode));
#endif
}

WriteOutcome CheckWriteTarget(const std::string& path) {
  auto failed = [](std::string reason) {
    return Failed(WriteResult::CannotCreate, std::move(reason));
  };
  if (path.empty()) return failed("empty file name");
#ifdef _WIN32
  const DWORD attr = GetFileAttributesA(path.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return failed("is a directory");
    if (attr & FILE_ATTRIBUTE_READONLY) return failed("it is write-protected");
  }
  return WriteOutcome();
#else
  std::string reason;
  const std::string target = ResolveLinks(path, reason);
  if (target.empty()) return failed(reason);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return failed(std::strerror(errno));
    // A new file needs a folder that takes one.
    if (::faccessat(AT_FDCWD, FolderOf(target).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      return failed(std::string("cannot create a file in its folder: ") + std::strerror(errno));
    }
    return WriteOutcome();
  }
  if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return WriteOutcome();
  if (!S_ISREG(st.st_mode)) return failed(KindReason(st.st_mode));
  // A file this user may write is written in place where its folder takes no new file.
  if (!MayReplace(target, st, reason)) return failed(reason);
  return WriteOutcome();
#endif
}

WriteResult WriteFileAtomically(const std::string& path, const std::string& bytes) {
  return WriteUserFile(path, bytes).result;
}

}  // namespace zemb
