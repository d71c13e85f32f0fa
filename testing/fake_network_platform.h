// A scriptable network platform for tests: links in place of the Windows one
// and defines every function of discovery/network_platform.h against the one
// FakeNetwork instance. Tests script the host name, resolution, the adapter
// list (also one that changes between the size query and the read), the echo
// outcome per address and the failure of any call, then read back a log of
// the calls with the buffers they were given and the balance of every
// resource: socket-library starts and stops per thread, ICMP handles open.
//
// Nothing here touches a real network: address text is parsed and formatted
// by the fake itself.
//
// Threads: the seam functions may run on any number of threads at once;
// scripting and reading back belong to the test's thread while no discovery
// code runs, except the call hook, which runs on the calling thread.
#ifndef RIVELO_TESTING_FAKE_NETWORK_PLATFORM_H_
#define RIVELO_TESTING_FAKE_NETWORK_PLATFORM_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "discovery/network_platform.h"

namespace fake_network {

enum class Call {
  kStartSockets,
  kReadHostName,
  kResolveIpv4,
  kFormatIpv4,
  kParseIpv4,
  kQueryAdapterListSize,
  kReadAdapterList,
  kOpenIcmp,
  kSendEcho,
};

// How one address answers an echo request.
struct Echo {
  bool replies = false;  // false: no reply record, SendEcho returns 0
  uint32_t status = 0;   // status of the reply record; 0 = success
  std::chrono::milliseconds delay{0};
  bool raises = false;  // SendEcho throws, as a platform failure escaping a probe would
};
Echo Reply(uint32_t status = 0);
Echo Silent(std::chrono::milliseconds delay = std::chrono::milliseconds(0));

// Status of a reply that reports an unreachable destination.
constexpr uint32_t kDestinationHostUnreachable = 11003;

class FakeNetwork {
 public:
  // Runs inside every seam call, on the calling thread, with no lock held:
  // the call and its main argument (name, address text) or "".
  using CallHook = std::function<void(Call call, const std::string& subject)>;

  static FakeNetwork& Instance();

  // Back to the defaults: host name "rivelo-host", resolution to nothing,
  // no adapters, every echo silent, nothing failing, counters and log empty.
  void Reset();

  void SetHostName(const std::string& name);
  void SetResolution(const std::vector<std::string>& addresses);
  void SetAdapters(const std::vector<network_platform::Adapter>& adapters);
  // The list that the read sees from the next size query on.
  void ChangeAdaptersAfterSizeQuery(const std::vector<network_platform::Adapter>& adapters);
  void SetEcho(const std::string& address, const Echo& echo);
  void SetDefaultEcho(const Echo& echo);
  // The call reports failure the way the platform does.
  void Fail(Call call);
  // The call throws std::runtime_error.
  void Raise(Call call);
  void SetCallHook(CallHook hook);

  // One entry per call in call order, e.g. "ReadHostName(256, zeroed)".
  std::vector<std::string> log() const;
  int startups() const;
  int cleanups() const;
  // Stops on a thread that had no start of its own outstanding.
  int unmatched_cleanups() const;
  int open_icmp_handles() const;
  int peak_open_icmp_handles() const;
  int icmp_handles_opened() const;
  // Closes of handles that were not open, and echoes sent on such handles.
  int icmp_misuses() const;

  // The seam's functions, one to one.
  int StartSockets();
  void StopSockets();
  int ReadHostName(char* buffer, size_t size);
  bool ResolveIpv4(const char* name, std::vector<network_platform::Ipv4Address>* addresses);
  bool FormatIpv4(const network_platform::Ipv4Address& address, char* buffer, size_t size);
  int ParseIpv4(const char* text, network_platform::Ipv4Address* address);
  uint32_t QueryAdapterListSize();
  bool ReadAdapterList(uint8_t* buffer, uint32_t size,
                       std::vector<network_platform::Adapter>* adapters);
  network_platform::IcmpHandle OpenIcmp();
  uint32_t SendEcho(network_platform::IcmpHandle handle,
                    const network_platform::Ipv4Address& destination, uint8_t* reply,
                    uint32_t reply_size, uint32_t timeout_ms);
  void CloseIcmp(network_platform::IcmpHandle handle);

 private:
  FakeNetwork();

  // Records the call and returns how it is scripted to go: false when it must
  // fail. Throws when it is scripted to raise. Runs the hook.
  bool Enter(Call call, const std::string& subject, const std::string& entry);
  void Append(const std::string& entry);

  mutable std::mutex mutex_;
  std::string host_name_;
  std::vector<network_platform::Ipv4Address> resolution_;
  std::vector<network_platform::Adapter> adapters_;
  std::vector<network_platform::Adapter> adapters_after_size_query_;
  bool adapters_change_ = false;
  std::map<std::string, Echo> echoes_;
  Echo default_echo_;
  std::set<Call> failing_;
  std::set<Call> raising_;
  CallHook hook_;
  std::vector<std::string> log_;
  int startups_ = 0;
  int cleanups_ = 0;
  int unmatched_cleanups_ = 0;
  std::map<std::thread::id, int> sessions_per_thread_;
  std::set<uintptr_t> open_handles_;
  uintptr_t next_handle_ = 0;
  int peak_open_handles_ = 0;
  int handles_opened_ = 0;
  int icmp_misuses_ = 0;
};

// Strict dotted decimal: four parts of 1 to 3 digits, each at most 255.
bool ParseDottedDecimal(const std::string& text, network_platform::Ipv4Address* address);

}  // namespace fake_network

#endif  // RIVELO_TESTING_FAKE_NETWORK_PLATFORM_H_
