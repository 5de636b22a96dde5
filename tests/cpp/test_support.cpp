#include "tests/cpp/test_support.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "ovcore/src/utils/named_thread.hpp"

namespace ovtest {

StdoutCapture::StdoutCapture() {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  fflush(stdout);
  saved_ = dup(STDOUT_FILENO);
  dup2(fds[1], STDOUT_FILENO);
  close(fds[1]);
  read_end_ = fds[0];
}

std::string StdoutCapture::finish() {
  if (finished_) return {};
  finished_ = true;
  fflush(stdout);
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(read_end_, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
  close(read_end_);
  return out;
}

StdoutCapture::~StdoutCapture() { finish(); }

void on_named_threads(const std::string& prefix, int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.push_back(ovcore::utils::spawn_named_thread(prefix + std::to_string(i), [&body, i] { body(i); }));
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace ovtest
