// The network platform on Windows: WS2_32 for the socket library, host name,
// resolution and address text, IPHLPAPI for the adapter list and ICMP echo.
// Each function forwards to one platform call (resolution also releases its
// result list) and translates types; nothing here retries or chooses.
#include "discovery/network_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <memory>

namespace network_platform {
namespace {

struct AddrInfoRelease {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoRelease>;

// The adapter list's text fields are 16-byte arrays; bound the read in case a
// field arrives without its NUL.
std::string FieldText(const char (&field)[16]) {
  return std::string(field, strnlen(field, sizeof(field)));
}

}  // namespace

int StartSockets() {
  WSADATA data{};
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void StopSockets() { WSACleanup(); }

int ReadHostName(char* buffer, size_t size) {
  return gethostname(buffer, static_cast<int>(size));
}

bool ResolveIpv4(const char* name, std::vector<Ipv4Address>* addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* raw = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &raw) != 0) return false;
  AddrInfoList list(raw);
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr ||
        entry->ai_addrlen < sizeof(sockaddr_in)) {
      continue;
    }
    sockaddr_in socket_address{};
    std::memcpy(&socket_address, entry->ai_addr, sizeof(socket_address));
    Ipv4Address address{};
    std::memcpy(address.data(), &socket_address.sin_addr, address.size());
    addresses->push_back(address);
  }
  return true;
}

bool FormatIpv4(const Ipv4Address& address, char* buffer, size_t size) {
  in_addr raw{};
  std::memcpy(&raw, address.data(), address.size());
  return inet_ntop(AF_INET, &raw, buffer, size) != nullptr;
}

int ParseIpv4(const char* text, Ipv4Address* address) {
  in_addr raw{};
  const int result = inet_pton(AF_INET, text, &raw);
  if (result == 1) std::memcpy(address->data(), &raw, address->size());
  return result;
}

uint32_t QueryAdapterListSize() {
  ULONG size = 0;
  GetAdaptersInfo(nullptr, &size);
  return size;
}

bool ReadAdapterList(uint8_t* buffer, uint32_t size, std::vector<Adapter>* adapters) {
  ULONG length = size;
  // The buffer comes from operator new, which aligns for any fundamental type.
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer);
  if (GetAdaptersInfo(first, &length) != ERROR_SUCCESS) return false;
  for (const IP_ADAPTER_INFO* adapter = first; adapter != nullptr; adapter = adapter->Next) {
    Adapter entry;
    for (const IP_ADDR_STRING* address = &adapter->IpAddressList; address != nullptr;
         address = address->Next) {
      entry.addresses.push_back(
          {FieldText(address->IpAddress.String), FieldText(address->IpMask.String)});
    }
    adapters->push_back(std::move(entry));
  }
  return true;
}

IcmpHandle OpenIcmp() {
  const HANDLE handle = IcmpCreateFile();
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

uint32_t SendEcho(IcmpHandle handle, const Ipv4Address& destination, uint8_t* reply,
                  uint32_t reply_size, uint32_t timeout_ms) {
  IPAddr raw = 0;
  std::memcpy(&raw, destination.data(), destination.size());
  return IcmpSendEcho(handle, raw, nullptr, 0, nullptr, reply, reply_size, timeout_ms);
}

void CloseIcmp(IcmpHandle handle) { IcmpCloseHandle(handle); }

}  // namespace network_platform
