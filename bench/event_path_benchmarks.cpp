// The event path of a sweep: a host event encoded by an event sink and sent
// through the binary messenger into the engine double, from 1, 8 and
// 50 threads at once (a sweep probes fifty hosts at a time, each on its own
// thread). Reported as events per second of wall time.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "discovery/scan_channel.h"
#include "encoding/encodable_value.h"
#include "encoding/standard_method_codec.h"
#include "engine/binary_messenger_impl.h"
#include "engine/event_sink_implementation.h"
#include "engine/flutter_windows.h"
#include "testing/fake_engine.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// One engine, messenger and sink per benchmark run, shared by its threads.
struct EventPath {
  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger;
  std::unique_ptr<flutter::EventSinkImplementation<EncodableValue>> sink;
};

std::unique_ptr<EventPath> path;
std::atomic<int64_t> events_sent{0};

void SetUpPath(const benchmark::State&) {
  fake_engine::FakeEngine::Get().Reset();
  FlutterDesktopEngineProperties properties{};
  properties.dart_entrypoint = "";
  path = std::make_unique<EventPath>();
  path->engine = FlutterDesktopEngineCreate(&properties);
  path->messenger = std::make_unique<flutter::BinaryMessengerImpl>(
      FlutterDesktopEngineGetMessenger(path->engine));
  path->sink = std::make_unique<flutter::EventSinkImplementation<EncodableValue>>(
      path->messenger.get(), kScanChannelName, &flutter::StandardMethodCodec::GetInstance());
  events_sent = 0;
}

// The fake must have seen every event, and no misuse of the library.
void TearDownPath(const benchmark::State&) {
  fake_engine::FakeEngine& fake = fake_engine::FakeEngine::Get();
  const size_t seen = fake.SentOn(kScanChannelName).size();
  path->sink.reset();
  FlutterDesktopEngineDestroy(path->engine);
  path.reset();
  bool sound = seen == static_cast<size_t>(events_sent.load());
  if (!sound) {
    std::fprintf(stderr, "event path: %zu events sent, the engine saw %zu\n",
                 static_cast<size_t>(events_sent.load()), seen);
  }
  for (const std::string& problem : fake.Problems()) {
    std::fprintf(stderr, "event path: fake engine: %s\n", problem.c_str());
    sound = false;
  }
  fake.Reset();
  if (!sound) {
    std::abort();
  }
}

void EventPathBenchmark(benchmark::State& state) {
  const EncodableValue event(EncodableMap{
      {EncodableValue("ip"), EncodableValue("192.168.1.5")},
      {EncodableValue("success"), EncodableValue(true)}});
  for (auto _ : state) {
    path->sink->Success(event);
  }
  events_sent += static_cast<int64_t>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(EventPathBenchmark)
    ->Name("EventPath")
    ->Setup(SetUpPath)
    ->Teardown(TearDownPath)
    ->UseRealTime()
    ->Threads(1)
    ->Threads(8)
    ->Threads(50);

}  // namespace
