// Core throughput: messages through an instance's sink to a native no-op
// callback, and creating plus tearing down an instance with the logger.

#include <atomic>
#include <ctime>
#include <string>

#include <benchmark/benchmark.h>

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"
#include "tests/support/instance_context_peer.hpp"

namespace {

using ovcore::ext::ovlog::LogCreateInfoEXT;
using ovcore::ext::ovlog::LogLevelEXT;
using ovcore::ext::ovlog::LogMessageEXT;

ovcore::base::api::InstanceCreateInfo logger_info() {
  ovcore::base::api::InstanceCreateInfo info;
  info.application_info.application_name = "bench";
  info.application_info.engine_name = "bench";
  info.enabled_extensions = {"__EXT_orvantis_logger"};
  // A no-op takes the message by reference: a by-value parameter would add
  // the callable's own move of it to every message.
  info.ext.push_back(LogCreateInfoEXT::create(
      LogLevelEXT::Trace, [](LogMessageEXT&& message) { benchmark::DoNotOptimize(message.message.data()); }));
  return info;
}

void BM_MessageThroughSink(benchmark::State& state) {
  auto context = *ovcore::base::api::create_instance(logger_info());
  for (auto _ : state) {
    ovtest::LogThrough::emit_log(*context, LogLevelEXT::Info, "a message of ordinary length for a log line");
  }
  state.SetItemsProcessed(state.iterations());
  ovcore::base::release(std::move(context));
}
BENCHMARK(BM_MessageThroughSink);
BENCHMARK(BM_MessageThroughSink)->Threads(2);

// What every message must do whatever the code around it: read the
// wall clock, hold a reader lock (at the least, one atomic add and one
// subtract), and own its text and file name. The sink's figure less this
// one is the core's own cost.
void BM_SinkFloor(benchmark::State& state) {
  std::atomic<unsigned> readers{0};
  for (auto _ : state) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    benchmark::DoNotOptimize(now);
    std::string text("a message of ordinary length for a log line");
    std::string file("ovcore/src/base/instance_context.cpp");
    readers.fetch_add(1, std::memory_order_acquire);
    benchmark::DoNotOptimize(text.data());
    benchmark::DoNotOptimize(file.data());
    readers.fetch_sub(1, std::memory_order_release);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SinkFloor);

void BM_CreateAndTeardownWithLogger(benchmark::State& state) {
  for (auto _ : state) {
    auto context = *ovcore::base::api::create_instance(logger_info());
    ovcore::base::release(std::move(context));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreateAndTeardownWithLogger);

}  // namespace

BENCHMARK_MAIN();
