#include "UiTestSupport.h"

#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "uSetting.h"

namespace zemb::ui::test {

namespace {

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

}  // namespace

FakeRomWriter::FakeRomWriter(ScriptedChannel& channel) : channel_(channel) {
  channel_.onLine = [this](ScriptedChannel& ch, const std::string& line) { OnLine(ch, line); };
}

void FakeRomWriter::OnLine(ScriptedChannel& /*channel*/, const std::string& line) {
  if (uploadRemaining_ > 0) {
    uploaded.push_back(line);
    if (--uploadRemaining_ == 0) Answer(finalAnswer_);
    return;
  }
  commands.push_back(line);
  if (onCommand) onCommand(line);
  if (silent) return;
  auto startUpload = [this](const std::string& answer) {
    uploadRemaining_ = uploadSource ? uploadSource->Count() : 0;
    finalAnswer_ = answer;
    if (uploadRemaining_ == 0) Answer(answer);
  };
  if (line == "RA") {
    Answer("RA OK");
  } else if (StartsWith(line, "RT ")) {
    Answer(rtAnswer);
  } else if (StartsWith(line, "RB ")) {
    Answer(rbAnswer);
  } else if (StartsWith(line, "RR ")) {
    std::string data;
    for (const auto& l : readData) data += l + "\r";
    channel_.Deliver(data + rrAnswer + "\r");
  } else if (StartsWith(line, "RC ")) {
    startUpload(rcAnswer);
  } else if (StartsWith(line, "RP ")) {
    Answer(rpFirst);
    if (StartsWith(rpFirst, "RB OK")) {
      startUpload(rpFinal);
    } else {
      Answer(rpFinal);
    }
  } else if (StartsWith(line, "RW ")) {
    startUpload(rwAnswer);
  }
}

void WindowTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ =
      std::filesystem::temp_directory_path() / ("zembromw_ui_" + std::to_string(::getpid()) + "_" +
                                                info->test_suite_name() + "_" + info->name());
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  SetExecutablePathForTesting((dir_ / "zembromw").string());
  ResetSettingsForTesting();
  SetErrorReporter(&reporter_);
}

void WindowTest::TearDown() {
  form_.reset();
  device_.reset();
  SetErrorReporter(nullptr);
  ResetSettingsForTesting();
  SetExecutablePathForTesting("");
  std::filesystem::remove_all(dir_);
}

TForm1& WindowTest::MakeForm(std::vector<std::string> arguments) {
  form_.reset();
  auto channel = std::make_unique<ScriptedChannel>();
  channel_ = channel.get();
  device_ = std::make_unique<FakeRomWriter>(*channel_);
  form_ = std::make_unique<TForm1>(std::move(channel), std::move(arguments));
  device_->uploadSource = form_->Memo1->Lines();
  return *form_;
}

void WindowTest::CloseAndShutdown() {
  form_->close();
  form_.reset();
  ShutdownSettings();
}

std::string WindowTest::WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = Path(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string WindowTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WindowTest::ScriptDialog(TFileDialog* dialog, std::vector<std::string> answers) {
  auto queue = std::make_shared<std::vector<std::string>>(std::move(answers));
  dialog->SetRunner([this, queue](TFileDialog& d) {
    ++dialogRuns_;
    if (queue->empty()) return false;
    const std::string name = queue->front();
    queue->erase(queue->begin());
    if (name.empty()) return false;
    d.SetFileName(name);
    return true;
  });
}

bool HaveSrecCat() {
  return std::system("command -v srec_cat >/dev/null 2>&1") == 0;
}

std::vector<std::string> WindowTest::MemoLines() {
  std::vector<std::string> out;
  TStrings* lines = form_->Memo1->Lines();
  for (int i = 0; i < lines->Count(); ++i) out.push_back(lines->Get(i));
  return out;
}

}  // namespace zemb::ui::test
