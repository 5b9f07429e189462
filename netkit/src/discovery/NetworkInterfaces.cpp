#include <netkit/discovery/NetworkInterfaces.h>

#include <algorithm>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#pragma comment(lib, "iphlpapi.lib")
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

namespace Orix::Utility {

namespace {

void addUnique(std::vector<std::string>& list, const std::string& address)
{
    if (!address.empty() && std::find(list.begin(), list.end(), address) == list.end())
        list.push_back(address);
}

} // namespace

#ifdef _WIN32

std::vector<std::string> enumerateNetworkInterfaceAddresses()
{
    std::vector<std::string> result;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                                   GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                      &size);
    }
    if (status != NO_ERROR)
        return result;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
            if (in == nullptr || in->sin_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr)
                addUnique(result, text);
        }
    }
    return result;
}

#else

std::vector<std::string> enumerateNetworkInterfaceAddresses()
{
    std::vector<std::string> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr)
            addUnique(result, text);
    }
    freeifaddrs(list);
    return result;
}

#endif

} // namespace Orix::Utility
