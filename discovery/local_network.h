// What a sweep needs to know about the machine before it probes anything: its
// own IPv4 address, the mask of the adapter that carries it, and the subnet
// prefix under which host numbers are appended.
//
// Both functions are stateless and print nothing; the sweep prints what they
// return. Any thread may call them, also several at once: each lookup runs
// its own socket-library session.
#ifndef RIVELO_DISCOVERY_LOCAL_NETWORK_H_
#define RIVELO_DISCOVERY_LOCAL_NETWORK_H_

#include <string>

// Either field empty means the lookup failed.
struct LocalIpAndMask {
  std::string ip;
  std::string subnet_mask;
};

// The first IPv4 address that the host name resolves to, and the mask of the
// first adapter whose first address is exactly that text. Secondary adapter
// addresses are never matched, and there is no choosing by metric.
LocalIpAndMask GetLocalIpAndSubnetMask();

// The network address (ip AND subnet_mask) cut after its last dot, keeping the
// dot: always three octets, so a sweep covers one 256-address block whatever
// the mask. Expects the dotted-decimal texts of a successful lookup.
std::string GetSubnetPrefix(const std::string& ip, const std::string& subnet_mask);

#endif  // RIVELO_DISCOVERY_LOCAL_NETWORK_H_
