// Shared pieces of the window tests: a scripted ROM writer on the test channel, an error
// reporter that records instead of showing a box, and a settings store in a temporary
// folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ErrorHandler.h"
#include "ScriptedChannel.h"
#include "TStrings.h"
#include "UromW.h"

namespace zemb::ui::test {

using zemb::test::ScriptedChannel;

class RecordingReporter : public ErrorReporter {
 public:
  void ShowError(const std::string& caption, const std::string& message) override {
    captions.push_back(caption);
    messages.push_back(message);
  }
  std::vector<std::string> captions;
  std::vector<std::string> messages;
};

// Answers the host's command lines the way the ROM writer does. Uploaded lines are counted
// against the lines of `uploadSource` at the time of the command, and the final answer goes
// out after the last one.
class FakeRomWriter {
 public:
  explicit FakeRomWriter(ScriptedChannel& channel);

  std::string rtAnswer = "RT OK";
  std::string rbAnswer = "RB OK";
  std::vector<std::string> readData;  // data lines sent on "RR"
  std::string rrAnswer = "RR OK";
  std::string rcAnswer = "RC OK";
  std::string rpFirst = "RB OK";
  std::string rpFinal = "RP OK";
  std::string rwAnswer = "RW OK";
  bool silent = false;
  const TStrings* uploadSource = nullptr;

  // Every command line the host sent, uploaded data lines left out.
  std::vector<std::string> commands;
  std::vector<std::string> uploaded;
  // Runs when a command line has arrived, before it is answered.
  std::function<void(const std::string&)> onCommand;

 private:
  void OnLine(ScriptedChannel& channel, const std::string& line);
  void Answer(const std::string& text) { channel_.Deliver(text + "\r"); }

  ScriptedChannel& channel_;
  int uploadRemaining_ = 0;
  std::string finalAnswer_;
};

// Whether srec_cat, the oracle for S-record and binary files, is on the PATH.
bool HaveSrecCat();

// A window on a scripted channel with the settings store in a temporary folder.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the window; the channel stays reachable through channel().
  TForm1& MakeForm(std::vector<std::string> arguments = {});
  // Closes and destroys the window and writes the settings file, as the program does at exit.
  void CloseAndShutdown();
  void DestroyForm() { form_.reset(); }

  TForm1& form() { return *form_; }
  ScriptedChannel& channel() { return *channel_; }
  FakeRomWriter& device() { return *device_; }

  std::string WriteFile(const std::string& name, const std::string& bytes);
  std::string ReadFile(const std::string& path);
  std::string SettingsFile() const { return (dir_ / "zembromw.sys").string(); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // Scripts the next runs of a dialog: each entry is a name to confirm, or "" to cancel.
  void ScriptDialog(TFileDialog* dialog, std::vector<std::string> answers);
  std::vector<std::string> MemoLines();

  RecordingReporter reporter_;
  std::filesystem::path dir_;
  std::unique_ptr<TForm1> form_;
  ScriptedChannel* channel_ = nullptr;
  std::unique_ptr<FakeRomWriter> device_;
  int dialogRuns_ = 0;
};

}  // namespace zemb::ui::test
