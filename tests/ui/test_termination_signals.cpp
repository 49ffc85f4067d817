// The window's termination signals next to a signal its starter ignored (nohup, trap '' HUP):
// the ignored one stays ignored, before, while and after the window lives.
#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>
#include <QWidget>

#include "TerminationSignals.h"

namespace zemb::ui {
namespace {

using Handler = void (*)(int);

Handler Disposition(int sig) {
  struct sigaction current {};
  sigaction(sig, nullptr, &current);
  return current.sa_handler;
}

TEST(TerminationSignals, ASignalIgnoredAtStartStaysIgnored) {
  ::signal(SIGHUP, SIG_IGN);
  ::signal(SIGINT, SIG_DFL);
  auto* window = new QWidget;
  window->show();
  CloseOnTerminationSignals(window);
  EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
  EXPECT_NE(Disposition(SIGINT), SIG_DFL);

  ::raise(SIGHUP);
  QTest::qWait(100);
  EXPECT_TRUE(window->isVisible()) << "the ignored hang-up closed the window";

  ::raise(SIGINT);
  for (int i = 0; i < 100 && window->isVisible(); ++i) QTest::qWait(10);
  EXPECT_FALSE(window->isVisible());

  delete window;
  EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
  EXPECT_EQ(Disposition(SIGINT), SIG_DFL);
  ::signal(SIGHUP, SIG_DFL);
}

}  // namespace
}  // namespace zemb::ui
