// The settings store's Windows paths: the file beside the real executable (as
// GetModuleFileNameA names it), the extension rule on paths with "\" and ":", and the
// read-only attribute and folder checks of the Windows branch.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "SettingsLocation.h"
#include "uSetting.h"

namespace zemb {
namespace {

// Run with this as its only argument, the program prints its settings path and exits, so a
// copy of it under another name shows the rule on a real executable path.
constexpr const char* kPrintPathArgument = "--print-settings-path";

std::string ThisProgram() {
  char buf[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

// A new folder under the temporary folder, removed with its files at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH + 1];
    const DWORD n = ::GetTempPathA(sizeof base, base);
    path_ = std::string(base, n) + "zembromw-win-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(counter_++);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() { RemoveTree(path_); }
  const std::string& path() const { return path_; }

 private:
  static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path);
        } else {
          ::DeleteFileA(path.c_str());
        }
      } while (::FindNextFileA(h, &found));
      ::FindClose(h);
    }
    ::RemoveDirectoryA(folder.c_str());
  }

  static inline int counter_ = 0;
  std::string path_;
};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs program with the print argument and returns what it printed, without the line end.
std::string SettingsPathOfProgram(const std::string& program) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "(no pipe)";
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string commandLine = "\"" + program + "\" " + kPrintPathArgument;
  const BOOL started = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &si, &pi);
  ::CloseHandle(writeEnd);
  std::string out;
  if (started) {
    char buf[512];
    DWORD n = 0;
    while (::ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    ::WaitForSingleObject(pi.hProcess, 30000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
  } else {
    out = "(cannot start, error " + std::to_string(::GetLastError()) + ")";
  }
  ::CloseHandle(readEnd);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

TEST(SettingsPathOnWindows, FileBesideTheRealExecutable) {
  ResetSettingsForTesting();
  SetExecutablePathForTesting("");
  const std::string exe = ThisProgram();
  ASSERT_GT(exe.size(), 4u);
  ASSERT_EQ(_stricmp(exe.substr(exe.size() - 4).c_str(), ".exe"), 0) << exe;
  // Drive, folders and name as GetModuleFileNameA gives them; only the extension changes.
  EXPECT_EQ(SettingsPath(), exe.substr(0, exe.size() - 4) + ".sys");
  EXPECT_EQ(SettingsPath().find('/'), std::string::npos) << SettingsPath();
  ResetSettingsForTesting();
}

TEST(SettingsPathOnWindows, CopiesUnderOtherNamesFollowTheExtensionRule) {
  TempFolder temp;
  const std::string dotted = temp.path() + "\\tools.v2";
  ASSERT_TRUE(::CreateDirectoryA(dotted.c_str(), nullptr));
  const struct {
    const char* name;
    const char* settings;
  } cases[] = {
      {"writer.exe", "writer.sys"},
      {"writer.tool.exe", "writer.tool.sys"},
      {"WRITER.EXE", "WRITER.sys"},
      // No extension after the last "\": the folder's dot does not count.
      {"writer", "writer.sys"},
  };
  for (const auto& c : cases) {
    const std::string copy = dotted + "\\" + c.name;
    ASSERT_TRUE(::CopyFileA(ThisProgram().c_str(), copy.c_str(), FALSE)) << copy;
    EXPECT_EQ(SettingsPathOfProgram(copy), dotted + "\\" + c.settings) << c.name;
    ::DeleteFileA(copy.c_str());
  }
}

TEST(SettingsPathOnWindows, ExtensionRuleOnDriveAndFolderSeparators) {
  const struct {
    const char* exe;
    const char* settings;
  } cases[] = {
      {"D:\\tools\\writer.exe", "D:\\tools\\writer.sys"},
      {"D:\\tools.d\\writer", "D:\\tools.d\\writer.sys"},
      {"D:writer.exe", "D:writer.sys"},
      {"D:a.b:writer", "D:a.b:writer.sys"},
      {"\\\\server\\share.x\\writer.exe", "\\\\server\\share.x\\writer.sys"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathBesideExecutable(c.exe, ".sys"), c.settings) << c.exe;
  }
}

TEST(SettingsPathOnWindows, FolderThatCannotTakeTheFileFallsBackToAppData) {
  const char* appData = std::getenv("APPDATA");
  ASSERT_NE(appData, nullptr);
  ResetSettingsForTesting();
  SetExecutablePathForTesting("Q:\\no such folder\\writer.exe");
  EXPECT_EQ(SettingsPath(), std::string(appData) + "\\zembromw\\writer.sys");
  SetExecutablePathForTesting("");
  ResetSettingsForTesting();
}

class StoreOnWindows : public testing::Test {
 protected:
  void SetUp() override {
    SetExecutablePathForTesting(temp_.path() + "\\zembromw.exe");
    ResetSettingsForTesting();
    path_ = temp_.path() + "\\zembromw.sys";
  }
  void TearDown() override {
    ResetSettingsForTesting();
    SetExecutablePathForTesting("");
  }

  TempFolder temp_;
  std::string path_;
};

TEST_F(StoreOnWindows, SavesWithCrLfAndReadsBack) {
  WriteValue("@Form1.Memo1", ":00000001FF\r\nline2");
  WriteIntValue("@Form1.RadioGroup1", 2);
  EXPECT_TRUE(SaveSettings());
  EXPECT_EQ(ReadBytes(path_), "@Form1.Memo1=:00000001FF\\nline2\r\n@Form1.RadioGroup1=2\r\n");
  ResetSettingsForTesting();
  EXPECT_EQ(ReadValue("@FORM1.MEMO1"), ":00000001FF\r\nline2");
  EXPECT_EQ(ReadValue("@Form1.RadioGroup1"), "2");
}

TEST_F(StoreOnWindows, ReadOnlyAttributeBlocksReadingAndWriting) {
  { std::ofstream(path_, std::ios::binary) << "@Form1.Edit1=1234\r\n"; }
  ASSERT_TRUE(::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(SettingsFileUsable());
  EXPECT_EQ(ReadValue("@Form1.Edit1"), "");
  WriteValue("@Form1.Edit1", "5678");
  EXPECT_FALSE(SaveSettings());
  EXPECT_TRUE(SettingsChanged);
  ASSERT_TRUE(::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ReadBytes(path_), "@Form1.Edit1=1234\r\n");
}

TEST_F(StoreOnWindows, FolderAtTheSettingsPathIsNotUsable) {
  ASSERT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr));
  EXPECT_FALSE(SettingsFileUsable());
  WriteValue("@Form1.Edit1", "1");
  EXPECT_FALSE(SaveSettings());
  EXPECT_NE(::GetFileAttributesA(path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
}  // namespace zemb

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], zemb::kPrintPathArgument) == 0) {
    std::printf("%s\n", zemb::SettingsPath().c_str());
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
