// The discovery service as the host window sees it: RegisterScanChannel
// installs the stream handler of kScanChannelName on the engine's messenger
// and returns the ScanService that owns every sweep the channel starts from
// then on.
//
// Ownership: the host window keeps the ScanService and calls Stop() before it
// releases the engine (the destructor stops too). The channel registration in
// the messenger shares the service's sweep bookkeeping, so the messenger may
// outlive the ScanService and the ScanService may outlive the messenger.
//
// Threads: RegisterScanChannel, Stop and the destructor run on the platform
// thread, never on a sweep thread. Sweeps run on threads of their own.
#ifndef RIVELO_DISCOVERY_SCAN_CHANNEL_H_
#define RIVELO_DISCOVERY_SCAN_CHANNEL_H_

#include <memory>

namespace flutter {
class BinaryMessenger;
}

class SweepRegistry;

// The channel's name, as the Dart side knows it.
constexpr char kScanChannelName[] = "com.tarnok.rivelo/scanForPingableDevices";

class ScanService {
 public:
  explicit ScanService(std::shared_ptr<SweepRegistry> sweeps);
  ~ScanService();

  ScanService(const ScanService&) = delete;
  ScanService& operator=(const ScanService&) = delete;

  // Blocks until every sweep thread has ended: each running sweep finishes the
  // batch it is probing (at most about one echo timeout), then skips its
  // remaining batches and pauses and does not end its stream. Once Stop
  // returns no sink is touched again, and a later "listen" is answered with an
  // error envelope. The messenger is not touched, so Stop may run after it is
  // gone. Idempotent.
  void Stop();

 private:
  std::shared_ptr<SweepRegistry> sweeps_;
};

// Call once per messenger, after the plug-ins are registered.
std::unique_ptr<ScanService> RegisterScanChannel(flutter::BinaryMessenger* messenger);

#endif  // RIVELO_DISCOVERY_SCAN_CHANNEL_H_
