#include <netkit/rtsp/RtspTransportHeader.h>

#include <gtest/gtest.h>

#include <tuple>

using namespace Orix::Utility::rtsp;

TEST(RtspTransportHeader, BuildsTheRequestOfEachTransport)
{
    struct Case {
        const char* name;
        TransportSpec spec;
        const char* expected;
    };
    TransportSpec tcp;
    tcp.tcp = true;
    tcp.interleaved = PortPair(2, 3);
    TransportSpec udp;
    udp.clientPort = PortPair(45678, 45679);
    TransportSpec multicast;
    multicast.multicast = true;
    TransportSpec answer;
    answer.clientPort = PortPair(45678, 45679);
    answer.serverPort = PortPair(50000, 50001);
    answer.ssrc = 0x315460DA;
    answer.mode = "PLAY";
    const Case cases[] = {
        {"interleaved second track", tcp, "RTP/AVP/TCP;unicast;interleaved=2-3"},
        {"udp pair", udp, "RTP/AVP;unicast;client_port=45678-45679"},
        {"multicast", multicast, "RTP/AVP;multicast"},
        // The SETUP answer of the 2020 Axis capture, rebuilt field by field.
        {"server answer", answer,
         "RTP/AVP;unicast;client_port=45678-45679;server_port=50000-50001;ssrc=315460DA;mode=\"PLAY\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(buildTransportHeader(c.spec), c.expected);
    }
}

TEST(RtspTransportHeader, ParsesServerAnswers)
{
    using P = std::optional<PortPair>;
    const struct {
        const char* name;
        const char* header;
        bool tcp, multicast;
        P interleaved, clientPort, serverPort, port;
        std::string destination, source;
        std::optional<unsigned> ttl;
        std::optional<std::uint32_t> ssrc;
        std::string mode;
    } cases[] = {
        {"axis udp 2020", "RTP/AVP;unicast;client_port=45678-45679;server_port=50000-50001;ssrc=315460DA;mode=\"PLAY\"", false, false,
         {}, PortPair(45678, 45679), PortPair(50000, 50001), {}, "", "", {}, 0x315460DAu, "PLAY"},
        {"gstreamer interleaved", "RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=8B1E4F0C;mode=\"PLAY\"", true, false, PortPair(0, 1), {},
         {}, {}, "", "", {}, 0x8B1E4F0Cu, "PLAY"},
        {"multicast group", "RTP/AVP;multicast;destination=239.192.10.4;port=50000-50001;ttl=5;mode=\"PLAY\"", false, true, {}, {},
         {}, PortPair(50000, 50001), "239.192.10.4", "", 5u, {}, "PLAY"},
        {"single port means a pair", "RTP/AVP/UDP;unicast;client_port=6970;server_port=6000;source=10.0.0.5", false, false, {},
         PortPair(6970, 6971), PortPair(6000, 6001), {}, "", "10.0.0.5", {}, {}, ""},
        {"spaces, case and a second choice", " rtp/avp/tcp ; Interleaved=4-5 , RTP/AVP;unicast;client_port=1-2", true, false,
         PortPair(4, 5), {}, {}, {}, "", "", {}, {}, ""},
        {"short ssrc and unknown parameter", "RTP/AVP;unicast;x-dynamic-rate=1;ssrc=1A2;client_port=5000-5001", false, false, {},
         PortPair(5000, 5001), {}, {}, "", "", {}, 0x1A2u, ""},
        // A quoted IPv6 group is an address; quotes or blanks inside are not (found by fuzzing).
        {"addresses only", "RTP/AVP;multicast;destination=\"[ff15::1]\";source=\"a\" \"b\";port=5000-5001", false, true, {}, {},
         {}, PortPair(5000, 5001), "[ff15::1]", "", {}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransportSpec spec;
        ASSERT_TRUE(parseTransportHeader(c.header, spec));
        EXPECT_EQ(std::make_tuple(spec.tcp, spec.multicast, spec.interleaved, spec.clientPort, spec.serverPort, spec.port),
                  std::make_tuple(c.tcp, c.multicast, c.interleaved, c.clientPort, c.serverPort, c.port));
        EXPECT_EQ(std::make_tuple(spec.destination, spec.source, spec.ttl, spec.ssrc, spec.mode),
                  std::make_tuple(c.destination, c.source, c.ttl, c.ssrc, c.mode));
    }
}

TEST(RtspTransportHeader, RejectsWhatCannotBeUsed)
{
    const char* cases[] = {
        "", "MP2T/H2221/UDP;unicast;destination=10.0.0.1;client_port=5000", "RTP/SAVP;unicast;client_port=5000-5001",
        "RTP/AVP/TCP;unicast;interleaved=256-257", "RTP/AVP;unicast;client_port=70000-70001", "RTP/AVP;unicast;client_port=abc",
        "RTP/AVP;unicast;client_port=65535", "RTP/AVP;unicast;ssrc=123456789", "RTP/AVP;unicast;ssrc=XYZ",
        "RTP/AVP;multicast;ttl=999",
    };
    for (const char* header : cases) {
        SCOPED_TRACE(header);
        TransportSpec spec;
        EXPECT_FALSE(parseTransportHeader(header, spec));
    }
}
