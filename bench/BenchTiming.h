// What the image benchmarks share: the --runs argument and a timer that prints the best and
// the median of several runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace zemb::bench {

// Runs work `runs` times and prints its best and median time and the size it returned.
inline void Time(const char* what, int runs, const std::function<size_t()>& work) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> ms;
  size_t size = 0;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    size = work();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-52s best %7.2f ms  median %7.2f ms  (%zu)\n", what, ms.front(), ms[ms.size() / 2],
              size);
}

// "[--runs N]": false with exit set (0 for --help, 2 for a wrong argument) when the program
// should stop.
inline bool ParseRuns(int argc, char** argv, const char* name, int& runs, int& exit) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("usage: %s [--runs N]\n", name);
      exit = 0;
      return false;
    }
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", name, argv[i]);
      exit = 2;
      return false;
    }
  }
  return true;
}

}  // namespace zemb::bench
