#pragma once
// The Transport header of RFC 2326 §12.39, as the client asks for it in SETUP
// and as the server answers it. Pure text handling.
//
//   RTP/AVP/TCP;unicast;interleaved=0-1
//   RTP/AVP;unicast;client_port=45678-45679;server_port=50000-50001;ssrc=315460DA;mode="PLAY"
//   RTP/AVP;multicast;destination=239.192.10.4;port=50000-50001;ttl=5
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace Orix::Utility::rtsp {

using PortPair = std::pair<std::uint16_t, std::uint16_t>;

struct TransportSpec {
    bool tcp = false;       // RTP/AVP/TCP: interleaved on the RTSP connection
    bool multicast = false; // "multicast" instead of "unicast"
    std::optional<PortPair> interleaved; // channels, 0..255
    std::optional<PortPair> clientPort;
    std::optional<PortPair> serverPort;
    std::optional<PortPair> port;        // multicast group ports
    std::string destination;             // multicast group (or unicast target)
    std::string source;                  // where the server sends from
    std::optional<unsigned> ttl;
    std::optional<std::uint32_t> ssrc;
    std::string mode;                    // without quotes, e.g. "PLAY"
};

// The header value for a SETUP request; only the fields that are set.
std::string buildTransportHeader(const TransportSpec& spec);

// Parses the first transport of a (possibly comma-separated) list. Unknown
// parameters are skipped. False when it is not RTP/AVP or a port, channel or
// ssrc value is malformed. A single port "a" means "a-(a+1)".
bool parseTransportHeader(std::string_view value, TransportSpec& out);

} // namespace Orix::Utility::rtsp
