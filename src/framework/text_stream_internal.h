#pragma once
// What the input and output streams share. Private to the framework.

#include <pthread.h>
#include <signal.h>

#include <cstring>
#include <string>

namespace fw::detail {

// What a failed read or write reports: what failed, on which file, and why.
inline std::string IOText(int errorNumber, const char* what, const std::string& path) {
  char text[256];
  // The GNU strerror_r, which returns the text (thread-safe, unlike strerror).
  return std::string(what) + " \"" + path + "\": " + strerror_r(errorNumber, text, sizeof text);
}

// The signals on which the output streams' temporaries are removed.
inline constexpr int kTerminatingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// For the streams' own threads: the terminating signals are taken on the
// caller's thread, which makes, renames and removes the temporaries.
inline void BlockTerminatingSignals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signalNumber : kTerminatingSignals) sigaddset(&held, signalNumber);
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace fw::detail
