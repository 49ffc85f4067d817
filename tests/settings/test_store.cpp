#include <dirent.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SettingsLocation.h"
#include "uSetting.h"

using namespace zemb;
using std::string;

namespace {

string ReadFile(const string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const string& path, const string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<string> DirEntries(const string& dir) {
  std::vector<string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
  }
  return names;
}

// Each test runs as a fresh process would, with the executable in a temporary folder.
class SettingsStore : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zembromw-settings-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    SetExecutablePathForTesting(dir_ + "/zembromw");
    ResetSettingsForTesting();
    path_ = dir_ + "/zembromw.sys";
  }
  void TearDown() override {
    ResetSettingsForTesting();
    SetExecutablePathForTesting("");
    ::chmod(path_.c_str(), 0644);
    ::rmdir(path_.c_str());
    for (const string& name : DirEntries(dir_)) ::unlink((dir_ + "/" + name).c_str());
    ::rmdir(dir_.c_str());
  }
  // The list as it would be written.
  string ListText() const { return SettingsList ? SettingsList->Text() : string(); }

  string dir_;
  string path_;
};

}  // namespace

TEST(SettingsPath, ReplacesTheExtensionAfterTheLastSeparator) {
  const std::vector<std::pair<string, string>> cases = {
      {"/opt/zembromw/zembromw", "/opt/zembromw/zembromw.sys"},
      {"/opt/x.d/zembromw", "/opt/x.d/zembromw.sys"},
      {"/opt/zembromw.bin", "/opt/zembromw.sys"},
      {"/opt/a.b.c", "/opt/a.b.sys"},
      {"D:\\tools\\writer.exe", "D:\\tools\\writer.sys"},
      {"C:\\a.b\\writer", "C:\\a.b\\writer.sys"},
      {"C:a.b:writer", "C:a.b:writer.sys"},
  };
  for (const auto& [exe, expected] : cases) {
    EXPECT_EQ(PathBesideExecutable(exe, ".sys"), expected);
  }
  // Beside an executable in a writable folder (here the current one), computed once and kept.
  SetExecutablePathForTesting("C:a.b:writer");
  EXPECT_EQ(SettingsPath(), "C:a.b:writer.sys");
  SettingsFileExt = ".ini";
  EXPECT_EQ(SettingsPath(), "C:a.b:writer.sys");
  ResetSettingsForTesting();
  SetExecutablePathForTesting("");
}

TEST(SettingsPath, PlatformPathIsThisProgram) {
  SetExecutablePathForTesting("");
  ResetSettingsForTesting();
  const string path = SettingsPath();
  EXPECT_EQ(path.substr(path.find_last_of('/') + 1), "test_store.sys");
  ResetSettingsForTesting();
}

TEST(SortedStringList, AddKeepsOrderAndDropsEqualLines) {
  TSortedStringList list;
  for (const char* line : {"b=2", "A=1", "a=1", "", "c", "B=2", "a=10", ""}) list.Add(line);
  EXPECT_EQ(list.Lines(), (std::vector<string>{"", "A=1", "a=10", "b=2", "c"}));
  // Bulk loading gives what adding one line after the other gives.
  TSortedStringList bulk;
  bulk.SetText("b=2\nA=1\ra=1\r\n\r\nc\nB=2\na=10\n\n");
  EXPECT_EQ(bulk.Lines(), list.Lines());
}

TEST_F(SettingsStore, WorkedExampleReachesTheFileAndComesBack) {
  const string value("A=1, \"B\"\tC\\D\r\nE", 15);
  WriteValue("@Form1.Edit1", value);
  WriteIntValue("@Form1.RadioGroup1", -1);
  WriteIntValue("min", INT32_MIN);
  ShutdownSettings();
  EXPECT_EQ(ReadFile(path_),
            "@Form1.Edit1=A\\x3D1\\x2C \\x22B\\x22\\tC\\\\D\\nE\r\n@Form1.RadioGroup1=-1\r\n"
            "min=-2147483648\r\n");
  EXPECT_EQ(ReadValue("@Form1.Edit1"), value);
  EXPECT_EQ(ReadValue("@Form1.RadioGroup1"), "-1");
  ShutdownSettings();  // a second shutdown does nothing
}

TEST_F(SettingsStore, FileIsReadOnceOnFirstUse) {
  WriteFile(path_, "a=1\r\n");
  EXPECT_EQ(SettingsList, nullptr);
  EXPECT_EQ(ReadValue("a"), "1");
  WriteFile(path_, "a=2\r\nb=3\r\n");
  EXPECT_EQ(ReadValue("A"), "1");
  EXPECT_EQ(ReadValue("b"), "");
  EXPECT_EQ(ReadValue("never written"), "");
}

TEST_F(SettingsStore, KeysDifferingInCaseShareOneLine) {
  WriteValue("@Form1.Edit1", "x");
  WriteValue("@FORM1.EDIT1", "y");
  EXPECT_EQ(ListText(), "@FORM1.EDIT1=y\r\n");
  EXPECT_EQ(ReadValue("@form1.edit1"), "y");
}

TEST_F(SettingsStore, RewritingStoredValuesLeavesTheFileUntouched) {
  // Unsorted and LF-separated: any rewrite would show.
  const string original = "b=2\na=1\n";
  WriteFile(path_, original);
  struct stat before {};
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  WriteValue("a", "1");
  WriteIntValue("B", 2);
  WriteValue("missing", "");
  EXPECT_FALSE(SettingsChanged);
  ShutdownSettings();
  struct stat after {};
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(ReadFile(path_), original);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(SettingsStore, EmptyValues) {
  WriteValue("k", "");
  EXPECT_FALSE(SettingsChanged);
  EXPECT_EQ(ListText(), "");
  ShutdownSettings();
  EXPECT_FALSE(::access(path_.c_str(), F_OK) == 0) << "nothing written, no file";

  WriteValue("k", "v");
  WriteValue("k", "");
  EXPECT_EQ(ListText(), "k=\r\n");
  ShutdownSettings();
  EXPECT_EQ(ReadFile(path_), "k=\r\n");
}

TEST_F(SettingsStore, HandEditedFileComesOutSortedAndSingle) {
  WriteFile(path_, "b=2\r\nA=1\na=1\rb=2\r\n\r\nno equals\r\n\r\nz=9\r\n" + string(1, '\0') +
                       "x=ignored\r\n");
  EXPECT_EQ(ReadValue("a"), "1");
  EXPECT_EQ(ReadValue("x"), "");
  WriteValue("c", "3");
  ShutdownSettings();
  EXPECT_EQ(ReadFile(path_), "\r\nA=1\r\nb=2\r\nc=3\r\nno equals\r\nz=9\r\n");
}

TEST_F(SettingsStore, SecondLineForTheSameKeyAbsorbsTheWrite) {
  WriteFile(path_, "a=2\r\na=1\r\n");
  EXPECT_EQ(ReadValue("a"), "1");
  WriteValue("a", "2");  // deletes a=1; the new a=2 equals the line already held
  EXPECT_TRUE(SettingsChanged);
  EXPECT_EQ(ListText(), "a=2\r\n");
}

TEST_F(SettingsStore, NonCanonicalValueReadsRightAndIsRewrittenCanonically) {
  WriteFile(path_, "k=\\x41\\x0d\\x0a\\q\r\n");
  EXPECT_EQ(ReadValue("k"), "A\r\nq");
  WriteValue("k", "A\r\nq");
  EXPECT_TRUE(SettingsChanged);
  ShutdownSettings();
  EXPECT_EQ(ReadFile(path_), "k=A\\nq\r\n");
}

TEST_F(SettingsStore, ReadOnlyFileIsNeitherReadNorWritten) {
  WriteFile(path_, "a=1\r\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  EXPECT_FALSE(SettingsFileUsable());
  EXPECT_EQ(ReadValue("a"), "");
  WriteValue("a", "2");
  EXPECT_FALSE(SaveSettings());
  EXPECT_TRUE(SettingsChanged);
  ShutdownSettings();
  EXPECT_EQ(ReadFile(path_), "a=1\r\n");
  EXPECT_EQ(DirEntries(dir_).size(), 1u);
}

TEST_F(SettingsStore, DirectoryAtThePath) {
  ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);
  EXPECT_FALSE(SettingsFileUsable());
  EXPECT_FALSE(LoadSettings());
  WriteValue("a", "1");
  EXPECT_EQ(ReadValue("a"), "1");
  EXPECT_FALSE(SaveSettings());
  ShutdownSettings();
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(SettingsStore, MissingFolder) {
  // Without its folder the file goes to the user's configuration folder, which here cannot
  // be made either.
  const char* oldConfig = ::getenv("XDG_CONFIG_HOME");
  const string savedConfig = oldConfig ? oldConfig : "";
  ::setenv("XDG_CONFIG_HOME", "/proc/zembromw-nowhere", 1);
  SetExecutablePathForTesting(dir_ + "/gone/zembromw");
  EXPECT_FALSE(LoadSettings());
  WriteValue("a", "1");
  EXPECT_FALSE(SaveSettings());
  EXPECT_TRUE(SettingsChanged);
  ShutdownSettings();
  EXPECT_TRUE(DirEntries(dir_).empty());
  if (oldConfig) {
    ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

TEST_F(SettingsStore, FailedSaveKeepsTheOldFile) {
  WriteFile(path_, "a=old\r\n");
  WriteValue("a", string(100000, 'x'));
  // A file size limit makes the write fail part-way, as a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved_ok = SaveSettings();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved_ok);
  EXPECT_TRUE(SettingsChanged);
  EXPECT_EQ(ReadFile(path_), "a=old\r\n");
  EXPECT_EQ(DirEntries(dir_), std::vector<string>{"zembromw.sys"}) << "no temporary file left";
  EXPECT_TRUE(SaveSettings());
  EXPECT_EQ(ReadFile(path_).size(), 100000u + 4);
}

TEST_F(SettingsStore, LongMemoIsOneLine) {
  string memo;
  for (int i = 0; i < 2000; ++i) memo += ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
  WriteValue("@Form1.Memo1", memo);
  ShutdownSettings();
  const string file = ReadFile(path_);
  EXPECT_EQ(file.find("\r\n"), file.size() - 2);
  EXPECT_EQ(ReadValue("@Form1.Memo1"), memo);
}

TEST_F(SettingsStore, SaveKeepsALinkAndNeverOverwritesAFileItCouldNotRead) {
  // A link as the settings file: the file it names gets the values, the link stays.
  ASSERT_EQ(::mkdir((dir_ + "/real").c_str(), 0755), 0);
  WriteFile(dir_ + "/real/values", "a=1\r\n");
  ASSERT_EQ(::symlink("real/values", path_.c_str()), 0);
  EXPECT_EQ(ReadValue("a"), "1");
  WriteValue("a", "2");
  ShutdownSettings();
  struct stat st {};
  ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(dir_ + "/real/values"), "a=2\r\n");
  ::unlink((dir_ + "/real/values").c_str());
  ::rmdir((dir_ + "/real").c_str());
  ::unlink(path_.c_str());

  // A file its owner may write but not read: the run starts empty and must not save its
  // defaults over the remembered values. Only an ordinary user is stopped by the mode.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to user 65534";
  WriteFile(path_, "a=remembered\r\n");
  ASSERT_EQ(::chown(path_.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0200), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(100);
    int failures = 0;
    if (!ReadValue("a").empty()) failures |= 1;
    WriteValue("a", "default");
    if (SaveSettings()) failures |= 2;
    ShutdownSettings();
    _exit(failures);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(path_), "a=remembered\r\n");
  EXPECT_EQ(DirEntries(dir_), std::vector<string>{"zembromw.sys"});
}
