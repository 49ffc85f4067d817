// The location rule is tested with POSIX users and permissions.
#ifndef _WIN32
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "PortAssignments.h"
#include "SettingsLocation.h"
#include "uSetting.h"

namespace zemb {
namespace {

namespace fs = std::filesystem;
using std::string;

constexpr uid_t kNobody = 65534;

string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Sets or unsets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old, had_ = true;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  string name_;
  string old_;
  bool had_ = false;
};

// A program folder bin/ holding the executable's name, and a config home cfg/, in a fresh
// temporary folder that an ordinary user may enter.
class SettingsLocation : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zembromw-location-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ::chmod(root_.c_str(), 0755);
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "cfg");
    ResetSettingsForTesting();
  }
  void TearDown() override {
    ::chmod((root_ / "bin").c_str(), 0755);
    fs::remove_all(root_);
    ResetSettingsForTesting();
    SetExecutablePathForTesting("");
  }

  string Exe() const { return (root_ / "bin" / "zembromw").string(); }
  fs::path Beside() const { return root_ / "bin" / "zembromw.sys"; }
  fs::path InConfig() const { return root_ / "cfg" / "zembromw" / "zembromw.sys"; }

  // Runs body in a child process as an ordinary user who cannot write bin/ (root drops to
  // nobody; anyone else loses the write bit on bin/) and returns its exit status, or -1
  // when no such user can be had.
  int AsUserWhoCannotWriteBin(const std::function<int()>& body) {
    const bool root = ::geteuid() == 0;
    if (root) {
      if (::chown((root_ / "cfg").c_str(), kNobody, kNobody) != 0) return -1;
    } else {
      ::chmod((root_ / "bin").c_str(), 0555);
    }
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
      if (root &&
          (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(77);
      }
      ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -2;
    return WEXITSTATUS(status) == 77 ? -1 : WEXITSTATUS(status);
  }

  fs::path root_;
};

TEST_F(SettingsLocation, BesideTheExecutableWhenItsFolderIsWritable) {
  ScopedEnv config("XDG_CONFIG_HOME", (root_ / "cfg").c_str());
  SetExecutablePathForTesting(Exe());
  EXPECT_EQ(SettingsPath(), Beside().string());
  WriteValue("@Form1.Edit1", "0100");
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(ReadAll(Beside()), "@Form1.Edit1=0100\r\n");
  EXPECT_FALSE(fs::exists(root_ / "cfg" / "zembromw"));
}

// Exit statuses of the child below, so that a failure says which step it was.
enum Step { kOk = 0, kWrongPath = 10, kFolderTooEarly, kSaveFailed, kNotSaved, kNotRead };

TEST_F(SettingsLocation, UserConfigFolderWhenTheExecutablesFolderIsNotWritable) {
  ScopedEnv config("XDG_CONFIG_HOME", (root_ / "cfg").c_str());
  const int status = AsUserWhoCannotWriteBin([&] {
    SetExecutablePathForTesting(Exe());
    if (SettingsPath() != InConfig().string()) return kWrongPath;
    // Reading makes nothing; the folder appears with the first save.
    if (!ReadValue("@Form1.Edit1").empty() || fs::exists(InConfig().parent_path())) {
      return kFolderTooEarly;
    }
    WriteValue("@Form1.Edit1", "0100");
    if (!StorePortAssignment(1, "/dev/ttyUSB0")) return kSaveFailed;
    return kOk;
  });
  if (status == -1) GTEST_SKIP() << "no ordinary user to run as";
  ASSERT_EQ(status, kOk);
  EXPECT_EQ(ReadAll(InConfig()), "@Form1.Edit1=0100\r\nPorts.COM1=/dev/ttyUSB0\r\n");
  EXPECT_FALSE(fs::exists(Beside()));
  struct stat st {};
  ASSERT_EQ(::stat(InConfig().parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The next run finds the values there.
  const int again = AsUserWhoCannotWriteBin([&] {
    ResetSettingsForTesting();
    SetExecutablePathForTesting(Exe());
    return ReadValue("@Form1.Edit1") == "0100" && StoredPortAssignment(1) == "/dev/ttyUSB0"
               ? kOk
               : kNotRead;
  });
  EXPECT_EQ(again, kOk);
}

TEST_F(SettingsLocation, AnExistingFileBesideTheExecutableWins) {
  ScopedEnv config("XDG_CONFIG_HOME", (root_ / "cfg").c_str());
  std::ofstream(Beside(), std::ios::binary) << "@Form1.Edit1=0200\r\n";
  ::chmod(Beside().c_str(), 0644);
  const int status = AsUserWhoCannotWriteBin([&] {
    SetExecutablePathForTesting(Exe());
    if (SettingsPath() != Beside().string()) return kWrongPath;
    return ReadValue("@Form1.Edit1") == "0200" ? kOk : kNotRead;
  });
  if (status == -1) GTEST_SKIP() << "no ordinary user to run as";
  EXPECT_EQ(status, kOk);
  EXPECT_FALSE(fs::exists(root_ / "cfg" / "zembromw"));
}

TEST(UserSettingsFolder, FollowsXdgConfigHomeElseHome) {
  struct Case {
    const char* xdg;
    const char* home;
    string expected;
  };
  const std::vector<Case> cases = {
      {"/x/cfg", "/home/u", "/x/cfg/zembromw"},
      {nullptr, "/home/u", "/home/u/.config/zembromw"},
      {"", "/home/u", "/home/u/.config/zembromw"},
      // A relative value is ignored rather than taken from the current folder.
      {"cfg", "/home/u", "/home/u/.config/zembromw"},
  };
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(UserSettingsFolder(), c.expected) << (c.xdg ? c.xdg : "(unset)");
  }
}

TEST(EnsureFolderOf, CreatesMissingLevelsAndAcceptsExistingOnes) {
  char tmpl[] = "/tmp/zembromw-folder-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const fs::path root = tmpl;
  EXPECT_TRUE(EnsureFolderOf((root / "a" / "b" / "zembromw.sys").string()));
  EXPECT_TRUE(fs::is_directory(root / "a" / "b"));
  EXPECT_TRUE(EnsureFolderOf((root / "a" / "b" / "zembromw.sys").string()));
  // A file where a folder should be cannot be passed.
  std::ofstream(root / "file") << "x";
  EXPECT_FALSE(EnsureFolderOf((root / "file" / "sub" / "zembromw.sys").string()));
  fs::remove_all(root);
}

}  // namespace
}  // namespace zemb

#endif
