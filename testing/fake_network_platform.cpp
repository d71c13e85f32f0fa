#include "testing/fake_network_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace fake_network {
namespace {

using network_platform::Ipv4Address;

constexpr char kHostName[] = "rivelo-host";
// What one adapter record takes in the platform's buffer; only the ratio
// between list length and buffer size matters to the code under test.
constexpr uint32_t kAdapterRecordSize = 704;

// The script is only read while discovery code runs; the log and the counts
// are written from any thread under the mutex.
struct State {
  Script script;
  std::mutex mutex;
  std::vector<std::string> log;
  Counts counts;
  std::set<network_platform::IcmpHandle> open_handles;
};

State& state() {
  static State instance;
  return instance;
}

std::string Dotted(const Ipv4Address& address) {
  char text[16];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
  return text;
}

// Four decimal parts, each at most 255, and nothing after them.
bool ParseDotted(const std::string& text, Ipv4Address* address) {
  unsigned parts[4];
  char rest = 0;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                  &rest) != 4 ||
      *std::max_element(parts, parts + 4) > 255) {
    return false;
  }
  std::copy(parts, parts + 4, address->begin());
  return true;
}

// Logs the call, runs the hook and returns false when the call must fail.
bool Enter(Call call, const std::string& entry, const std::string& subject = "") {
  {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().log.push_back(entry);
  }
  if (state().script.hook) state().script.hook(call, subject);
  return state().script.failing.count(call) == 0;
}

}  // namespace

void Reset(Script script) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().script = std::move(script);
  state().log.clear();
  state().counts = Counts{};
  state().open_handles.clear();
}

std::vector<std::string> Log() {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().log;
}

Counts GetCounts() {
  std::lock_guard<std::mutex> lock(state().mutex);
  Counts counts = state().counts;
  counts.icmp_open = static_cast<int>(state().open_handles.size());
  return counts;
}

}  // namespace fake_network

namespace network_platform {

using fake_network::Call;
using fake_network::Enter;
using fake_network::state;

int StartSockets() {
  const bool succeeds = Enter(Call::kStartSockets, "StartSockets");
  std::lock_guard<std::mutex> lock(state().mutex);
  // Counted even when it fails: the caller pairs every start with a stop.
  ++state().counts.startups;
  return succeeds ? 0 : 10091;
}

void StopSockets() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().log.push_back("StopSockets");
  ++state().counts.cleanups;
}

int ReadHostName(char* buffer, size_t size) {
  // Windows refuses a buffer too small for the name and its NUL.
  if (!Enter(Call::kReadHostName, "ReadHostName(" + std::to_string(size) + ")") ||
      sizeof(fake_network::kHostName) > size) {
    return -1;
  }
  std::memcpy(buffer, fake_network::kHostName, sizeof(fake_network::kHostName));
  return 0;
}

bool ResolveIpv4(const char* name, std::vector<Ipv4Address>* addresses) {
  if (!Enter(Call::kResolveIpv4, "ResolveIpv4(" + std::string(name) + ")", name)) return false;
  for (const std::string& text : state().script.resolution) {
    fake_network::ParseDotted(text, &addresses->emplace_back());
  }
  return true;
}

bool FormatIpv4(const Ipv4Address& address, char* buffer, size_t size) {
  const std::string text = fake_network::Dotted(address);
  if (!Enter(Call::kFormatIpv4, "FormatIpv4(" + text + ", " + std::to_string(size) + ")", text) ||
      text.size() >= size) {
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

int ParseIpv4(const char* text, Ipv4Address* address) {
  if (!Enter(Call::kParseIpv4, "ParseIpv4(" + std::string(text) + ")", text)) return 0;
  return fake_network::ParseDotted(text, address) ? 1 : 0;
}

uint32_t QueryAdapterListSize() {
  if (!Enter(Call::kQueryAdapterListSize, "QueryAdapterListSize")) return 0;
  return static_cast<uint32_t>(state().script.adapters.size()) * fake_network::kAdapterRecordSize;
}

bool ReadAdapterList(uint8_t* buffer, uint32_t size, std::vector<Adapter>* adapters) {
  const uint32_t needed =
      static_cast<uint32_t>(state().script.adapters.size()) * fake_network::kAdapterRecordSize;
  if (!Enter(Call::kReadAdapterList, "ReadAdapterList(" + std::to_string(size) + ")") ||
      needed == 0 || !buffer || size < needed) {
    return false;
  }
  // The platform writes the records into the buffer: a buffer shorter than
  // claimed shows up under AddressSanitizer.
  std::memset(buffer, 0xA5, needed);
  *adapters = state().script.adapters;
  return true;
}

IcmpHandle OpenIcmp() {
  if (!Enter(Call::kOpenIcmp, "OpenIcmp")) return nullptr;
  std::lock_guard<std::mutex> lock(state().mutex);
  fake_network::Counts& counts = state().counts;
  const auto handle = reinterpret_cast<IcmpHandle>(uintptr_t{0x1000} + counts.icmp_opened++);
  state().open_handles.insert(handle);
  counts.icmp_peak = std::max(counts.icmp_peak, static_cast<int>(state().open_handles.size()));
  return handle;
}

uint32_t SendEcho(IcmpHandle handle, const Ipv4Address& destination, uint8_t* reply,
                  uint32_t reply_size, uint32_t timeout_ms) {
  const std::string address = fake_network::Dotted(destination);
  const bool succeeds = Enter(Call::kSendEcho,
                              "SendEcho(" + address + ", " + std::to_string(reply_size) + ", " +
                                  std::to_string(timeout_ms) + ")",
                              address);
  {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().open_handles.count(handle) == 0) ++state().counts.icmp_misuses;
  }
  const auto answer = state().script.answers.find(address);
  // The reply record: replying address, then the status in host order.
  if (!succeeds || answer == state().script.answers.end() || reply_size < 8) return 0;
  std::memcpy(reply, destination.data(), destination.size());
  std::memcpy(reply + destination.size(), &answer->second, sizeof(answer->second));
  return 1;
}

void CloseIcmp(IcmpHandle handle) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().log.push_back("CloseIcmp");
  if (state().open_handles.erase(handle) == 0) ++state().counts.icmp_misuses;
}

}  // namespace network_platform
