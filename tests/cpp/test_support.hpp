#pragma once
// Helpers shared by the core tests: a message recorder usable as a log
// callback, creation records, a capture of file descriptor 1, and threads
// that run one body each.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"

namespace ovtest {

struct Recorder {
  std::mutex mutex;
  std::vector<ovcore::ext::ovlog::LogMessageEXT> messages;

  std::vector<std::string> texts() {
    std::lock_guard lock(mutex);
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.message);
    return out;
  }
  std::size_t size() {
    std::lock_guard lock(mutex);
    return messages.size();
  }
};

inline ovcore::ext::ovlog::LogCallbackEXT recording_callback(std::shared_ptr<Recorder> recorder) {
  return [recorder](ovcore::ext::ovlog::LogMessageEXT message) {
    std::lock_guard lock(recorder->mutex);
    recorder->messages.push_back(std::move(message));
  };
}

// A creation record enabling `names`, with `settings` in its ext list.
inline ovcore::base::api::InstanceCreateInfo make_info(
    std::vector<std::string> names, std::vector<std::unique_ptr<ovcore::utils::opaque::OpaqueObject>> settings = {}) {
  ovcore::base::api::InstanceCreateInfo info;
  info.application_info.application_name = "demo";
  info.application_info.application_version = {1, 0, 12};
  info.application_info.engine_name = "engine";
  info.application_info.engine_version = {2, 3, 4};
  info.enabled_extensions = std::move(names);
  for (auto& s : settings) info.ext.push_back(std::move(s));
  return info;
}

inline std::unique_ptr<ovcore::utils::opaque::OpaqueObject> logger_settings(
    ovcore::ext::ovlog::LogLevelEXT level, ovcore::ext::ovlog::LogCallbackEXT callback) {
  return ovcore::ext::ovlog::LogCreateInfoEXT::create(level, std::move(callback));
}

// Redirects file descriptor 1 into a pipe until `finish` returns what was
// written.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  std::string finish();

 private:
  int saved_ = -1;
  int read_end_ = -1;
  bool finished_ = false;
};

}  // namespace ovtest

namespace ovtest {
inline std::vector<std::unique_ptr<ovcore::utils::opaque::OpaqueObject>> settings_list(
    std::unique_ptr<ovcore::utils::opaque::OpaqueObject> a,
    std::unique_ptr<ovcore::utils::opaque::OpaqueObject> b = nullptr) {
  std::vector<std::unique_ptr<ovcore::utils::opaque::OpaqueObject>> out;
  out.push_back(std::move(a));
  if (b) out.push_back(std::move(b));
  return out;
}
}  // namespace ovtest

namespace ovtest {
// Runs `body(i)` for i in 0..count-1, each on a thread of its own named
// `prefix` + i, and waits for all of them.
void on_named_threads(const std::string& prefix, int count, const std::function<void(int)>& body);
}  // namespace ovtest
