#include "discovery/host_probe.h"

#include <array>
#include <cstring>
#include <iostream>

#include "discovery/network_platform.h"
#include "discovery/sweep_pacing.h"
#include "encoding/console_line.h"

namespace {

// One echo-reply record (40 bytes on 64-bit Windows) and 8 bytes to spare.
constexpr size_t kReplyBufferSize = 48;

class IcmpHandleOwner {
 public:
  IcmpHandleOwner() : handle_(network_platform::OpenIcmp()) {}
  ~IcmpHandleOwner() { Close(); }
  IcmpHandleOwner(const IcmpHandleOwner&) = delete;
  IcmpHandleOwner& operator=(const IcmpHandleOwner&) = delete;

  bool valid() const { return handle_ != nullptr; }
  network_platform::IcmpHandle get() const { return handle_; }

  void Close() {
    if (handle_ == nullptr) return;
    network_platform::CloseIcmp(handle_);
    handle_ = nullptr;
  }

 private:
  network_platform::IcmpHandle handle_;
};

// The address bytes in network order read as a little-endian number: the
// value a Windows IPAddr holds.
uint32_t AsLittleEndian(const network_platform::Ipv4Address& address) {
  return static_cast<uint32_t>(address[0]) | static_cast<uint32_t>(address[1]) << 8 |
         static_cast<uint32_t>(address[2]) << 16 | static_cast<uint32_t>(address[3]) << 24;
}

bool EchoAnswered(const std::string& address) {
  IcmpHandleOwner icmp;
  if (!icmp.valid()) return false;
  network_platform::Ipv4Address destination{};
  if (network_platform::ParseIpv4(address.c_str(), &destination) != 1) {
    console_line::WriteLine(std::cerr, "Invalid IP address format: ", address);
    return false;
  }
  console_line::WriteLine(std::cout, "IP as unsigned long: ", AsLittleEndian(destination));
  std::array<uint8_t, kReplyBufferSize> reply{};
  const uint32_t replies = network_platform::SendEcho(icmp.get(), destination, reply.data(),
                                                      reply.size(), sweep_pacing::kEchoTimeoutMs);
  icmp.Close();
  // The record starts with the replying address, then its status.
  uint32_t status = 0;
  std::memcpy(&status, reply.data() + 4, sizeof(status));
  return replies != 0 && status == 0;
}

}  // namespace

std::string HostAddress(const std::string& prefix, int32_t host_number) {
  return prefix + std::to_string(host_number);
}

void DeliverHostEvent(const std::string& address, bool reachable, HostEventSink& sink) {
  const flutter::EncodableValue event(flutter::EncodableMap{
      {flutter::EncodableValue("ip"), flutter::EncodableValue(address)},
      {flutter::EncodableValue("success"), flutter::EncodableValue(reachable)},
  });
  sink.Success(&event);
}

void PingHost(int32_t host_number, const std::string& prefix,
              std::unique_ptr<HostEventSink>& sink) {
  const std::string address = HostAddress(prefix, host_number);
  DeliverHostEvent(address, EchoAnswered(address), *sink);
}
