#include "FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zemb {

bool ReadWholeFile(const std::string& path, std::string& bytes) {
#ifdef _WIN32
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  bytes = ss.str();
  return true;
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string out;
  if (st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  bytes = std::move(out);
  return true;
#endif
}

WriteResult WriteFileAtomically(const std::string& path, const std::string& bytes) {
#ifdef _WIN32
  const std::string tmp = path + ".tmp~";
  HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return WriteResult::CannotCreate;
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    done += written;
  }
  if (ok && !FlushFileBuffers(h)) ok = false;
  if (!CloseHandle(h)) ok = false;
  if (ok && !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) ok = false;
  if (!ok) {
    DeleteFileA(tmp.c_str());
    return WriteResult::WriteFailed;
  }
  return WriteResult::Ok;
#else
  // The temporary name must be unique in the folder and stay in it, so that rename()
  // replaces the target atomically.
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    return WriteResult::CannotCreate;
  }
  std::string tmpl = path + ".XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return WriteResult::CannotCreate;
  // Keep the permissions of the file being replaced; a new file gets the usual 0666 & ~umask.
  if (::stat(path.c_str(), &target) == 0) {
    ::fchmod(fd, target.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return WriteResult::WriteFailed;
  }
  return WriteResult::Ok;
#endif
}

}  // namespace zemb
