#pragma once
// The logger's records: severity, message, callback and settings object.

#include <cstdint>
#include <format>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ovcore/src/utils/local_time.hpp"
#include "ovcore/src/utils/opaque.hpp"

namespace ovcore::ext::ovlog {

enum class LogLevelEXT : std::uint32_t { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4 };

inline constexpr std::uint32_t kLogLevelCount = 5;

// "Trace", "Debug", "Info", "Warn", "Error".
std::string_view to_string(LogLevelEXT level) noexcept;

// One message; moved from the emitter through the sink to the callback,
// never copied.
struct LogMessageEXT {
  LogLevelEXT level = LogLevelEXT::Trace;
  utils::LocalDateTime timepoint;
  std::string message;
  std::string module;
  std::optional<std::string> file;
  std::optional<std::uint32_t> line;
  std::optional<std::string> thread_name;

  LogMessageEXT() = default;
  // Every field at once, from what an emitter has at hand.
  LogMessageEXT(LogLevelEXT level_of, utils::LocalDateTime at, std::string&& text, std::string_view module_path,
                const char* file_name, std::uint32_t line_number, const std::string* thread)
      : level(level_of),
        timepoint(at),
        message(std::move(text)),
        module(module_path),
        file(std::in_place, file_name),
        line(line_number),
        thread_name(thread != nullptr ? std::optional<std::string>(*thread) : std::nullopt) {}
  LogMessageEXT(LogMessageEXT&&) noexcept = default;
  LogMessageEXT& operator=(LogMessageEXT&&) noexcept = default;
  LogMessageEXT(const LogMessageEXT&) = delete;
  LogMessageEXT& operator=(const LogMessageEXT&) = delete;
};

// Receives delivered messages. Owned and move-only; called from any thread,
// possibly from several at once, so it must not mutate its own state.
// Called with the message as an rvalue: it is the callable's to move from or
// drop, and a callable that keeps it moves it once, into its own storage.
using LogCallbackEXT = std::move_only_function<void(LogMessageEXT&&) const>;

// The logger's settings object. It always carries a callback: the only way
// to build one refuses an empty callback.
class LogCreateInfoEXT final : public utils::opaque::Opaque<LogCreateInfoEXT> {
 public:
  // nullptr when `callback` is empty.
  static std::unique_ptr<LogCreateInfoEXT> create(LogLevelEXT level, LogCallbackEXT callback);

  LogLevelEXT level() const noexcept { return level_; }
  // Moves the callback out; the settings object is spent afterwards.
  LogCallbackEXT take_callback() noexcept { return std::move(callback_); }

 private:
  LogCreateInfoEXT(LogLevelEXT level, LogCallbackEXT callback) : level_(level), callback_(std::move(callback)) {}

  LogLevelEXT level_;
  LogCallbackEXT callback_;
};

}  // namespace ovcore::ext::ovlog

template <>
struct std::formatter<ovcore::ext::ovlog::LogLevelEXT> : std::formatter<std::string_view> {
  auto format(ovcore::ext::ovlog::LogLevelEXT level, std::format_context& ctx) const {
    return std::formatter<std::string_view>::format(ovcore::ext::ovlog::to_string(level), ctx);
  }
};
