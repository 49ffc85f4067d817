#include "CliSignals.h"

#include <algorithm>
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
#ifdef _WIN32
    g_previous[i] = std::signal(kSignals[i], OnTerminationSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait in poll() or nanosleep() returns, and the channel looks again.
    action.sa_flags = 0;
    sigaction(kSignals[i], &action, &g_previous[i]);
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

void InterruptibleChannel::ThrowIfCaught() {
  if (g_caught != 0) Abort();
}

bool InterruptibleChannel::Open(const std::string& name) {
  ThrowIfCaught();
  return inner_->Open(name);
}

void InterruptibleChannel::SetTimeouts(const CommTimeouts& timeouts) {
  requested_ = timeouts;
  inner_->SetTimeouts(timeouts);
}

bool InterruptibleChannel::ReadByte(uint8_t& byte) {
  ThrowIfCaught();
  const uint32_t total = requested_.ReadTotalTimeoutConstant;
  if (requested_.ReadTotalTimeoutMultiplier != 0 || total <= kSliceMs) {
    return inner_->ReadByte(byte);
  }
  CommTimeouts slice = requested_;
  bool got = false;
  for (uint32_t remaining = total; remaining > 0 && !got;) {
    const uint32_t wait = std::min(remaining, kSliceMs);
    slice.ReadTotalTimeoutConstant = wait;
    inner_->SetTimeouts(slice);
    got = inner_->ReadByte(byte);
    remaining -= wait;
    // A port closed by a hang-up answers at once: no use waiting out the rest.
    if (!got && !inner_->IsOpen()) break;
    if (!got) ThrowIfCaught();
  }
  inner_->SetTimeouts(requested_);
  return got;
}

int InterruptibleChannel::WriteByte(uint8_t byte) {
  ThrowIfCaught();
  return inner_->WriteByte(byte);
}

void InterruptibleChannel::Sleep(uint32_t ms) {
  ThrowIfCaught();
  inner_->Sleep(ms);
}

}  // namespace zemb::cli
