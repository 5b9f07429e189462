#pragma once
// The local IPv4 interface addresses a multicast browser can join the mDNS
// group on.
#include <string>
#include <vector>

namespace Orix::Utility {

// Dotted IPv4 addresses of the interfaces that are up, in the system's order,
// loopback included (a responder on this machine is found through it),
// without duplicates. Empty when the system cannot tell.
std::vector<std::string> enumerateNetworkInterfaceAddresses();

} // namespace Orix::Utility
