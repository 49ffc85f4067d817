// The user-file path: what a write does to each kind of target, what a read accepts, and
// the standard descriptors at start-up. Cases that depend on permissions run a second time
// as the unprivileged user 65534 in a child process when the tests run as root.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "FileIO.h"
#include "ProcessSetup.h"

namespace zemb {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr uid_t kNobody = 65534;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Runs body in a child as user and group 65534 and returns its exit status; -1 when the
// tests do not run as root, so the caller can skip.
int AsNobody(const std::function<int()>& body) {
  if (::geteuid() != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
      ::_exit(100);
    }
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 101;
  return WEXITSTATUS(status);
}

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zembromw_fileio_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Open to the unprivileged user of the cases that switch to it.
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

// A unix socket that takes one connection and keeps what it receives.
class SocketSink {
 public:
  explicit SocketSink(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 1)) {
      return;
    }
    reader_ = std::thread([this] {
      const int c = ::accept(fd_, nullptr, nullptr);
      char buf[4096];
      ssize_t n;
      while (c >= 0 && (n = ::read(c, buf, sizeof buf)) > 0) got_.append(buf, size_t(n));
      if (c >= 0) ::close(c);
    });
  }
  ~SocketSink() {
    // Wakes an accept that never got a connection.
    ::shutdown(fd_, SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    ::close(fd_);
  }
  std::string Take() {
    reader_.join();
    return got_;
  }

 private:
  int fd_ = -1;
  std::thread reader_;
  std::string got_;
};

TEST_F(FileIoTest, WritePathReplacesRegularFilesAndWritesThroughEverythingElse) {
  const std::string data = ":0100000042BD\r\n:00000001FF\r\n";
  const bool root = ::geteuid() == 0;
  struct Case {
    const char* name;
    std::function<std::string()> make;  // makes the target, returns the path to write
    WriteResult expected;
    std::function<void(const std::string&)> check;
  };
  const std::vector<Case> cases = {
      {"new file", [&] { return Path("new.hex"); }, WriteResult::Ok,
       [&](const std::string& p) {
         EXPECT_EQ(Slurp(p), data);
         const mode_t mask = ::umask(0);
         ::umask(mask);
         struct stat st {};
         ::stat(p.c_str(), &st);
         EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
       }},
      {"existing file keeps its mode",
       [&] {
         Put(Path("old.hex"), "old", 0640);
         return Path("old.hex");
       },
       WriteResult::Ok,
       [&](const std::string& p) {
         EXPECT_EQ(Slurp(p), data);
         struct stat st {};
         ::stat(p.c_str(), &st);
         EXPECT_EQ(st.st_mode & 07777, 0640u);
       }},
      {"link to a file: the link stays, its file changes",
       [&] {
         ::mkdir(Path("sub").c_str(), 0777);
         Put(Path("sub/real.hex"), "old");
         fs::create_symlink("sub/real.hex", Path("link.hex"));
         return Path("link.hex");
       },
       WriteResult::Ok,
       [&](const std::string& p) {
         EXPECT_TRUE(fs::is_symlink(p));
         EXPECT_EQ(Slurp(Path("sub/real.hex")), data);
         EXPECT_EQ(Entries(Path("sub")), std::set<std::string>{"real.hex"});
       }},
      {"dangling link: its file is created",
       [&] {
         fs::create_symlink("later.hex", Path("dangling.hex"));
         return Path("dangling.hex");
       },
       WriteResult::Ok,
       [&](const std::string& p) {
         EXPECT_TRUE(fs::is_symlink(p));
         EXPECT_EQ(Slurp(Path("later.hex")), data);
       }},
      {"write-protected file, refused even for root",
       [&] {
         Put(Path("ro.hex"), "keep", 0444);
         return Path("ro.hex");
       },
       WriteResult::CannotCreate, [&](const std::string& p) { EXPECT_EQ(Slurp(p), "keep"); }},
      {"folder", [&] { return dir_; }, WriteResult::CannotCreate,
       [&](const std::string& p) { EXPECT_TRUE(fs::is_directory(p)); }},
      {"missing folder", [&] { return Path("no/such.hex"); }, WriteResult::CannotCreate,
       [&](const std::string&) {}},
      {"FIFO nobody reads: refused at once",
       [&] {
         ::mkfifo(Path("fifo").c_str(), 0666);
         return Path("fifo");
       },
       WriteResult::CannotCreate, [&](const std::string& p) { EXPECT_TRUE(fs::is_fifo(p)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.make();
    const auto before = Entries(dir_);
    const WriteOutcome out = WriteUserFile(path, data);
    EXPECT_EQ(out.result, c.expected) << out.reason;
    EXPECT_EQ(out.reason.empty(), c.expected == WriteResult::Ok) << out.reason;
    c.check(path);
    // No temporary file is left behind, whatever happened.
    const auto after = Entries(dir_);
    for (const auto& name : after) {
      EXPECT_TRUE(before.count(name) || name == fs::path(path).filename().string() ||
                  name == "later.hex")
          << "left behind: " << name;
    }
  }

  // A FIFO with a reader gets the bytes in order and stays a FIFO.
  ::mkfifo(Path("fifo2").c_str(), 0666);
  std::string fromFifo;
  std::thread reader([&] { fromFifo = Slurp(Path("fifo2")); });
  WriteOutcome viaFifo;
  for (int i = 0; i < 500; ++i) {
    viaFifo = WriteUserFile(Path("fifo2"), data);
    if (viaFifo) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // until the reader opened it
  }
  reader.join();
  EXPECT_TRUE(viaFifo) << viaFifo.reason;
  EXPECT_EQ(fromFifo, data);
  EXPECT_TRUE(fs::is_fifo(Path("fifo2")));

  // A reader that leaves early makes a failed write, not a death by SIGPIPE.
  ::mkfifo(Path("fifo3").c_str(), 0666);
  std::thread quitter([&] {
    const int fd = ::open(Path("fifo3").c_str(), O_RDONLY);
    char few[16];
    EXPECT_GT(::read(fd, few, sizeof few), 0);
    ::close(fd);
  });
  WriteOutcome broken;
  for (int i = 0; i < 500; ++i) {
    broken = WriteUserFile(Path("fifo3"), std::string(1 << 20, 'x'));
    if (broken.result != WriteResult::CannotCreate) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  quitter.join();
  EXPECT_EQ(broken.result, WriteResult::WriteFailed);
  EXPECT_EQ(broken.reason, "Broken pipe");

  SocketSink sink(Path("sock"));
  EXPECT_TRUE(WriteUserFile(Path("sock"), data));
  EXPECT_EQ(sink.Take(), data);
  EXPECT_TRUE(fs::is_socket(Path("sock")));

  // Device nodes of our own, so that nothing of the system's is at stake.
  if (root && ::mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
      ::mknod(Path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
    EXPECT_TRUE(WriteUserFile(Path("null"), data));
    const WriteOutcome full = WriteUserFile(Path("full"), data);
    EXPECT_EQ(full.result, WriteResult::WriteFailed);
    EXPECT_NE(full.reason.find("No space"), std::string::npos) << full.reason;
    EXPECT_TRUE(fs::is_character_file(Path("null")));
    EXPECT_TRUE(fs::is_character_file(Path("full")));
  }

  if (root) {
    // Root replacing another user's file leaves it that user's file.
    Put(Path("theirs.hex"), "old", 0600);
    ASSERT_EQ(::chown(Path("theirs.hex").c_str(), kNobody, kNobody), 0);
    EXPECT_TRUE(WriteUserFile(Path("theirs.hex"), data));
    struct stat st {};
    ::stat(Path("theirs.hex").c_str(), &st);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
}

TEST_F(FileIoTest, WritePathStoppedShortLeavesTheOldFileWhole) {
  ASSERT_TRUE(PrepareProcess());  // SIGXFSZ ignored: the limit is a write error
  const std::string path = Path("old.hex");
  Put(path, "old contents\r\n");
  const auto before = Entries(dir_);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const WriteOutcome out = WriteUserFile(path, std::string(100000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(out.result, WriteResult::WriteFailed);
  EXPECT_NE(out.reason.find("too large"), std::string::npos) << out.reason;
  EXPECT_EQ(Slurp(path), "old contents\r\n");
  EXPECT_EQ(Entries(dir_), before);
}

TEST_F(FileIoTest, WritePathAsAnOrdinaryUserFollowsTheKernelsPermissions) {
  Put(Path("roots.hex"), "root's", 0644);
  Put(Path("shared.hex"), "shared", 0666);
  ::mkdir(Path("closed").c_str(), 0755);
  Put(Path("closed/open.hex"), "in a closed folder, longer than what replaces it", 0666);
  // A shared folder (sticky, like /tmp) takes the temporary file but no rename over
  // another user's file.
  ::mkdir(Path("sticky").c_str(), 0755);
  ::chmod(Path("sticky").c_str(), 01777);
  Put(Path("sticky/shared.sys"), "root's settings", 0666);
  Put(Path("mine.hex"), "mine", 0644);
  ::chown(Path("mine.hex").c_str(), kNobody, kNobody);
  const int rc = AsNobody([&] {
    int failures = 0;
    auto expect = [&](const std::string& path, WriteResult want, int bit) {
      if (WriteUserFile(path, "new").result != want) failures |= bit;
      if (CheckWriteTarget(path).result != want) failures |= bit;
    };
    expect(Path("roots.hex"), WriteResult::CannotCreate, 1);
    // The file may be written, but its folder takes no temporary file: written in place.
    expect(Path("closed/open.hex"), WriteResult::Ok, 2);
    expect(Path("shared.hex"), WriteResult::Ok, 4);
    expect(Path("mine.hex"), WriteResult::Ok, 8);
    expect(Path("sticky/shared.sys"), WriteResult::Ok, 16);
    // A new name in the closed folder has nowhere to go.
    expect(Path("closed/new.hex"), WriteResult::CannotCreate, 32);
    return failures;
  });
  if (rc == -1) GTEST_SKIP() << "needs root to switch to user 65534";
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Slurp(Path("roots.hex")), "root's");
  EXPECT_EQ(Slurp(Path("closed/open.hex")), "new");
  EXPECT_EQ(Slurp(Path("shared.hex")), "new");
  EXPECT_EQ(Slurp(Path("sticky/shared.sys")), "new");
  // In place: the same file, its owner and mode, and no temporary file left behind.
  struct stat st {};
  ASSERT_EQ(::stat(Path("sticky/shared.sys").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(Entries(Path("closed")), std::set<std::string>{"open.hex"});
  EXPECT_EQ(Entries(Path("sticky")), std::set<std::string>{"shared.sys"});
}

TEST_F(FileIoTest, ReadPathAcceptsOnlyRegularFilesWithinTheLimits) {
  Put(Path("image.hex"), ":0100000042BD\r\n");
  Put(Path("exact"), std::string(100, 'a'));
  Put(Path("over"), std::string(101, 'a'));
  ::mkfifo(Path("fifo").c_str(), 0666);  // nobody writes it: a blocking open would hang
  SocketSink sink(Path("sock"));
  fs::create_symlink("image.hex", Path("link.hex"));
  struct Case {
    std::string path;
    size_t cap;
    const char* reason;  // nullptr: accepted
  };
  const std::vector<Case> cases = {
      {Path("image.hex"), kMaxImageBytes, nullptr},
      {Path("link.hex"), kMaxImageBytes, nullptr},
      {Path("exact"), 100, nullptr},
      {Path("over"), 100, "is larger than 100 bytes"},
      {dir_, kMaxImageBytes, "is a directory"},
      {Path("fifo"), kMaxImageBytes, "is a FIFO"},
      {Path("sock"), kMaxImageBytes, "is a socket"},
      {"/dev/zero", kMaxImageBytes, "is a character device"},
      {Path("missing"), kMaxImageBytes, "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string bytes = "untouched";
    const ReadResult r = ReadUserFile(c.path, bytes, c.cap);
    EXPECT_EQ(static_cast<bool>(r), c.reason == nullptr);
    if (c.reason != nullptr) {
      EXPECT_EQ(r.reason, c.reason);
      EXPECT_EQ(bytes, "untouched");
    } else {
      EXPECT_EQ(bytes, Slurp(c.path));
    }
  }

  // A sparse file just past the image limit is refused by its size, before any reading.
  ASSERT_EQ(::truncate(Path("exact").c_str(), kMaxImageBytes + 1), 0);
  std::string bytes;
  EXPECT_EQ(ReadImageFile(Path("exact"), bytes).reason, "is larger than 16 MiB");

  // A file this user may not read.
  Put(Path("secret"), "x", 0200);
  const int rc = AsNobody([&] {
    std::string b;
    return ReadUserFile(Path("secret"), b).reason == "Permission denied" ? 0 : 1;
  });
  if (rc != -1) {
    EXPECT_EQ(rc, 0);
  }
}

TEST(ImageText, LineCapAndBinaryBytes) {
  EXPECT_TRUE(CheckImageLines(std::string(kMaxImageLines, '\n')));
  EXPECT_FALSE(CheckImageLines(std::string(kMaxImageLines, '\n') + "x"));
  // CR LF is one line end, LF CR two.
  EXPECT_TRUE(CheckImageLines(std::string(kMaxImageLines / 2, '\r') +
                              std::string(kMaxImageLines / 2, '\n')));

  struct Case {
    std::string text;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {";\x82\xb1\x82\xf1\r\n\t:00000001FF\f\x1a", nullptr},  // Shift-JIS, tab, FF, EOF mark
      {":0100000042BD\r\n;x\n\r:00\0"
       "00\r\n"s,
       "line 4 holds the binary byte 0x00 (NUL)"},
      {"a\r\nb\x1b", "line 2 holds the binary byte 0x1B"},
  };
  for (const auto& c : cases) {
    const ReadResult r = CheckTextImage(c.text);
    EXPECT_EQ(static_cast<bool>(r), c.reason == nullptr) << c.text;
    if (c.reason != nullptr) {
      EXPECT_EQ(r.reason.rfind(c.reason, 0), 0u) << r.reason;
    }
  }
}

TEST(StandardDescriptors, ClosedOnesAreFilledAndFileSizeSignalIgnored) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(0);
    ::close(1);
    int failures = 0;
    if (!PrepareProcess()) failures |= 1;
    if (::fcntl(0, F_GETFD) < 0 || ::fcntl(1, F_GETFD) < 0 || ::fcntl(2, F_GETFD) < 0) {
      failures |= 2;
    }
    // What the program opens next cannot become standard input or output.
    const int next = ::open("/dev/null", O_RDWR);
    if (next <= 2) failures |= 4;
    struct sigaction now {};
    ::sigaction(SIGXFSZ, nullptr, &now);
    if (now.sa_handler != SIG_IGN) failures |= 8;
    // Standard output is writable (the null device), so a write there is not an error.
    if (::write(1, "x", 1) != 1) failures |= 16;
    ::_exit(failures);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace zemb
