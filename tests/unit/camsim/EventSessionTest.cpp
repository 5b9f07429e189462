// An event session on the wire: DESCRIBE with the metadata track, SETUP
// over the RTSP connection, PLAY, then documents in interleaved RTP packets
// cut at the payload size the control route sets, the marker on the last
// packet of each; a drop from the control route closes the connection.
#include "Simulator.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

std::string httpExchange(unsigned short port, const std::string& method, const std::string& target,
                         const std::string& body)
{
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(socket, asio::buffer(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body));
    std::string out;
    boost::system::error_code ec;
    char buf[4096];
    while (!ec)
        out.append(buf, socket.read_some(asio::buffer(buf), ec));
    return out.substr(out.find("\r\n\r\n") + 4);
}

class RtspClient {
public:
    explicit RtspClient(unsigned short port) : socket_(io_) { socket_.connect({asio::ip::make_address("127.0.0.1"), port}); }

    // Status line, headers and body of the answer.
    std::string request(const std::string& method, const std::string& url, const std::string& headers = {})
    {
        asio::write(socket_, asio::buffer(method + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(++cseq_) +
                                          "\r\n" + headers + "\r\n"));
        const std::size_t n = asio::read_until(socket_, in_, "\r\n\r\n");
        std::string head(asio::buffers_begin(in_.data()), asio::buffers_begin(in_.data()) + n);
        in_.consume(n);
        const auto at = head.find("Content-Length: ");
        if (at == std::string::npos)
            return head;
        const std::size_t length = std::stoul(head.substr(at + 16));
        if (in_.size() < length)
            asio::read(socket_, in_, asio::transfer_exactly(length - in_.size()));
        std::string body(asio::buffers_begin(in_.data()), asio::buffers_begin(in_.data()) + length);
        in_.consume(length);
        return head + body;
    }

    // The next RTP packet on channel 0 (RTCP on channel 1 is skipped);
    // nullopt when the camera closed the connection.
    std::optional<std::string> packet()
    {
        boost::system::error_code ec;
        while (true) {
            if (in_.size() < 4)
                asio::read(socket_, in_, asio::transfer_exactly(4 - in_.size()), ec);
            if (ec)
                return std::nullopt;
            const auto* p = static_cast<const unsigned char*>(in_.data().data());
            EXPECT_EQ(p[0], '$');
            const unsigned channel = p[1];
            const std::size_t length = (p[2] << 8) | p[3];
            if (in_.size() < 4 + length)
                asio::read(socket_, in_, asio::transfer_exactly(4 + length - in_.size()), ec);
            if (ec)
                return std::nullopt;
            std::string frame(asio::buffers_begin(in_.data()) + 4, asio::buffers_begin(in_.data()) + 4 + length);
            in_.consume(4 + length);
            if (channel == 0)
                return frame;
        }
    }

private:
    asio::io_context io_;
    tcp::socket socket_;
    asio::streambuf in_;
    unsigned cseq_ = 0;
};

} // namespace

TEST(EventSession, DocumentsOverInterleavedRtpUntilDropped)
{
    Camsim::SimulatorConfig config;
    config.dataDir = CAMSIM_DATA_DIR;
    config.model = "M1065-LW";
    config.auth = Camsim::AuthMode::None;
    config.params = {{"Network.RTSP.ProtViewer", "anonymous"}};
    Camsim::Simulator sim(config);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const unsigned short http = sim.httpPort();
    httpExchange(http, "POST", "/camsim/events", "{\"maxPayload\":64}");

    RtspClient rtsp(*sim.rtspPort());
    const std::string query = "?video=0&audio=0&event=on&eventtopic=onvif:AudioSource/axis:TriggerLevel//.";
    const std::string url = "rtsp://127.0.0.1:" + std::to_string(*sim.rtspPort()) + "/axis-media/media.amp";
    const std::string sdp = rtsp.request("DESCRIBE", url + query);
    ASSERT_NE(sdp.find("m=application 0 RTP/AVP 98\r\nc=IN IP4 0.0.0.0\r\na=rtpmap:98 vnd.onvif.metadata/90000\r\n"),
              std::string::npos)
        << sdp;
    const std::string setup =
        rtsp.request("SETUP", url + "/stream=0" + query, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
    const auto at = setup.find("Session: ");
    ASSERT_NE(at, std::string::npos) << setup;
    const std::string session = setup.substr(at + 9, setup.find(';', at) - at - 9);
    ASSERT_EQ(rtsp.request("PLAY", url + query, "Session: " + session + "\r\n").rfind("RTSP/1.0 200 OK", 0), 0u);

    // Documents reassembled from their packets; the marker ends each.
    auto document = [&rtsp](std::size_t& packets) {
        std::string text;
        packets = 0;
        while (const auto p = rtsp.packet()) {
            EXPECT_EQ(static_cast<unsigned char>((*p)[1]) & 0x7f, 98);
            EXPECT_LE(p->size(), 12u + 64u);
            text += p->substr(12);
            ++packets;
            if (static_cast<unsigned char>((*p)[1]) & 0x80)
                return text;
        }
        return std::string();
    };
    std::size_t packets = 0;
    EXPECT_EQ(document(packets).find("</tt:MetadataStream>\n"), 104u); // the empty document
    EXPECT_NE(document(packets).find("PropertyOperation=\"Initialized\"><tt:Source><tt:SimpleItem Name=\"channel\" "
                                     "Value=\"1\"/></tt:Source><tt:Key></tt:Key><tt:Data><tt:SimpleItem "
                                     "Name=\"triggered\" Value=\"0\"/>"),
              std::string::npos);
    EXPECT_EQ(httpExchange(http, "POST", "/camsim/events", "{\"event\":\"audio\",\"channel\":1}"), "{\"sessions\":1}\n");
    const std::string changed = document(packets);
    EXPECT_NE(changed.find("PropertyOperation=\"Changed\""), std::string::npos) << changed;
    EXPECT_EQ(packets, (changed.size() + 63) / 64);

    const std::string state = httpExchange(http, "GET", "/camsim/events", "");
    EXPECT_NE(state.find("\"lastTopicFilter\":\"onvif:AudioSource/axis:TriggerLevel//.\""), std::string::npos);
    EXPECT_NE(state.find("\"sessions\":{\"open\":1,\"opened\":1}"), std::string::npos) << state;
    EXPECT_EQ(httpExchange(http, "POST", "/camsim/events", "{\"drop\":true}"), "{\"dropped\":1}\n");
    EXPECT_FALSE(rtsp.packet());
}
