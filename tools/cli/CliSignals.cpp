#include "CliSignals.h"

#include <csignal>
#include <iterator>

#include "Errors.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace zemb::cli {

namespace {

volatile std::sig_atomic_t g_caught = 0;

extern "C" void OnTerminationSignal(int signal) {
  if (g_caught == 0) g_caught = signal;
}

#ifdef _WIN32
constexpr int kSignals[] = {SIGINT, SIGTERM};
using Handler = void (*)(int);
Handler g_previous[2] = {SIG_DFL, SIG_DFL};
#else
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction g_previous[3];
#endif

}  // namespace

SignalCatcher::SignalCatcher() {
  g_caught = 0;
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    // A signal ignored when the program started (nohup, trap '' HUP) stays ignored, as
    // whoever started it asked: a hang-up must not cut an upload short.
#ifdef _WIN32
    g_previous[i] = std::signal(kSignals[i], OnTerminationSignal);
    if (g_previous[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
#else
    if (sigaction(kSignals[i], nullptr, &g_previous[i]) != 0 ||
        g_previous[i].sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait in poll() or nanosleep() returns, and the channel looks again.
    action.sa_flags = 0;
    sigaction(kSignals[i], &action, nullptr);
#endif
  }
}

SignalCatcher::~SignalCatcher() {
  for (size_t i = 0; i < std::size(kSignals); ++i) {
#ifdef _WIN32
    std::signal(kSignals[i], g_previous[i]);
#else
    sigaction(kSignals[i], &g_previous[i], nullptr);
#endif
  }
}

int SignalCatcher::Caught() {
  return g_caught;
}

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#ifndef _WIN32
    case SIGHUP:
      return "SIGHUP";
#endif
    default:
      return "signal " + std::to_string(signal);
  }
}

void InterruptibleChannel::Between() {
  if (g_caught != 0) Abort();
}

}  // namespace zemb::cli
