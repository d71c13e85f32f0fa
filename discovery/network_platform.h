// The only door from discovery to the operating system's network services:
// the socket library session, host name, name resolution, IPv4 text
// conversion, the adapter list and ICMP echo.
//
// This is a link-time seam. The functions are plain declarations in
// platform-neutral types; exactly one library defines them in a program:
// rivelo_network_windows (WS2_32 and IPHLPAPI) in the product, or the
// scriptable rivelo_fake_network in host tests. A link-time seam keeps the
// product free of virtual dispatch and of any object that must be set up
// before the first listen, and lets discovery compile on Linux without
// Windows headers.
//
// The seam is deliberately one step above the raw calls and no higher: the
// caller still supplies the buffers (host name, address text, adapter list,
// echo reply), issues the adapter size query and the read as two calls, and
// pairs every start with a stop and every open with a close. The call
// protocol and every choice of "the first entry" therefore live in discovery's
// own code, where tests against the fake can see them; the implementations
// report what the platform returned and decide nothing.
//
// Threads: every function may be called from any thread, concurrently.
#ifndef RIVELO_DISCOVERY_NETWORK_PLATFORM_H_
#define RIVELO_DISCOVERY_NETWORK_PLATFORM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace network_platform {

// Four bytes in network order: 192.168.1.5 is {192, 168, 1, 5}.
using Ipv4Address = std::array<uint8_t, 4>;

struct AdapterAddress {
  std::string address;  // dotted decimal, as the adapter list stores it
  std::string mask;
};

// One adapter of the list with its IPv4 address entries in list order. Every
// entry is reported; which ones matter is the caller's business.
struct Adapter {
  std::vector<AdapterAddress> addresses;
};

// Opaque; the null handle is never a valid one.
using IcmpHandle = void*;

// Starts the socket library asking for version 2.2. Returns the platform's
// result (0 = started). Each call needs exactly one StopSockets.
int StartSockets();
void StopSockets();

// Writes the NUL-terminated host name into buffer; on failure the buffer is
// left as it was. Returns 0 on success.
int ReadHostName(char* buffer, size_t size);

// Resolves name to its IPv4 addresses, in the resolver's order. Returns false
// when resolution fails; true with an empty list is possible.
bool ResolveIpv4(const char* name, std::vector<Ipv4Address>* addresses);

// Dotted-decimal text into buffer of size bytes, NUL-terminated. Returns false
// when the text does not fit.
bool FormatIpv4(const Ipv4Address& address, char* buffer, size_t size);

// Parses dotted-decimal text. Returns 1 for a valid address (written to
// *address), anything else for invalid text.
int ParseIpv4(const char* text, Ipv4Address* address);

// The buffer size, in bytes, that ReadAdapterList needs for the current list;
// 0 when the platform reports none.
uint32_t QueryAdapterListSize();

// Reads the adapter list once into buffer (size bytes; the buffer is the
// platform's scratch space and the caller's to zero). Returns true when the
// read succeeded, with the adapters in list order; false when it failed, for
// example because the list has grown since the size query.
bool ReadAdapterList(uint8_t* buffer, uint32_t size, std::vector<Adapter>* adapters);

// Returns nullptr when no ICMP handle can be opened.
IcmpHandle OpenIcmp();

// Sends one echo request without data and without request options and waits
// up to timeout_ms. Returns the number of replies stored in reply; a reply
// record starts with the replying address (4 bytes) and the status (uint32_t
// in host order, 0 = success).
uint32_t SendEcho(IcmpHandle handle, const Ipv4Address& destination, uint8_t* reply,
                  uint32_t reply_size, uint32_t timeout_ms);

void CloseIcmp(IcmpHandle handle);

}  // namespace network_platform

#endif  // RIVELO_DISCOVERY_NETWORK_PLATFORM_H_
