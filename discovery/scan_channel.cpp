#include "discovery/scan_channel.h"

#include <utility>

#include "discovery/sweep_registry.h"
#include "encoding/standard_method_codec.h"
#include "engine/event_channel.h"
#include "engine/stream_handler_functions.h"

namespace {

using Value = flutter::EncodableValue;
using HandlerError = std::unique_ptr<flutter::StreamHandlerError<Value>>;

}  // namespace

ScanService::ScanService(std::shared_ptr<SweepRegistry> sweeps) : sweeps_(std::move(sweeps)) {}

ScanService::~ScanService() { Stop(); }

void ScanService::Stop() { sweeps_->Stop(); }

std::unique_ptr<ScanService> RegisterScanChannel(flutter::BinaryMessenger* messenger) {
  return RegisterScanChannel(messenger, StandardLauncher(), SteadySweepClock());
}

std::unique_ptr<ScanService> RegisterScanChannel(flutter::BinaryMessenger* messenger,
                                                 const Launcher& launcher,
                                                 const SweepClock& clock) {
  auto sweeps = std::make_shared<SweepRegistry>(launcher, clock);
  flutter::EventChannel<Value> channel(messenger, kScanChannelName,
                                       &flutter::StandardMethodCodec::GetInstance());
  // The arguments of "listen" and "cancel" carry nothing for us. A "cancel"
  // is acknowledged without touching a running sweep; only Stop cuts sweeps
  // short.
  channel.SetStreamHandler(std::make_unique<flutter::StreamHandlerFunctions<Value>>(
      [sweeps](const Value*, std::unique_ptr<flutter::EventSink<Value>>&& events) {
        return sweeps->Start(std::move(events));
      },
      [](const Value*) -> HandlerError { return nullptr; }));
  return std::make_unique<ScanService>(sweeps);
}
