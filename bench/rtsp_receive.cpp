// The driver's receive path without a camera's HTTP interface: N sessions
// of NetKit's RTSP client, each with the video filter the driver installs
// (sequence tracker, depacketizer, frame sink), on ONE I/O thread as a
// device runs its video sources. bench/streaming_cpu.sh runs it next to
// ffmpeg and gst-launch on the same streams.
//
//   bench_rtsp_receive rtsp://127.0.0.1:PORT/PATH [--streams N] [--seconds S]
//                      [--transport tcp|udp|rtspoverhttp]
//
// Prints "FIRST" on stdout when the first frame of any session arrives (the
// harness times it from the process start), then, after S seconds (0: until
// killed), one line of JSON with the frames, key frames, bytes and session
// ends it saw, and exits 0 when every session delivered frames.
#include <netkit/rtp/StreamFilter.h>
#include <netkit/rtsp/RTSPClient.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace Orix::Utility;

namespace {

struct Options {
    std::string host;
    std::uint16_t port = 554;
    std::string path = "/";
    int streams = 1;
    int seconds = 20;
    RtspTransport transport = RtspTransport::Tcp;
};

bool parseUrl(const std::string& url, Options& o)
{
    const std::string scheme = "rtsp://";
    if (url.rfind(scheme, 0) != 0)
        return false;
    const auto hostEnd = url.find_first_of(":/", scheme.size());
    o.host = url.substr(scheme.size(), hostEnd - scheme.size());
    if (o.host.empty())
        return false;
    auto rest = hostEnd == std::string::npos ? std::string() : url.substr(hostEnd);
    if (!rest.empty() && rest[0] == ':') {
        const auto slash = rest.find('/');
        const long port = std::strtol(rest.substr(1, slash - 1).c_str(), nullptr, 10);
        if (port <= 0 || port > 65535)
            return false;
        o.port = static_cast<std::uint16_t>(port);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    o.path = rest.empty() ? "/" : rest;
    return true;
}

int usage(const char* why)
{
    std::cerr << "bench_rtsp_receive: " << why
              << "\nusage: bench_rtsp_receive rtsp://HOST:PORT/PATH [--streams N] [--seconds S] "
                 "[--transport tcp|udp|rtspoverhttp]\n";
    return 64;
}

struct Session {
    std::unique_ptr<RTSPClient> client;
    std::shared_ptr<RtpStreamFilter> filter;
    std::uint64_t frames = 0;
    std::uint64_t keyFrames = 0;
    std::uint64_t bytes = 0;
    bool ended = false;
    std::string endReason;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage("no URL");
    Options o;
    if (!parseUrl(argv[1], o))
        return usage("the URL is not rtsp://HOST[:PORT]/PATH");
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--streams")
            o.streams = std::atoi(value.c_str());
        else if (name == "--seconds")
            o.seconds = std::atoi(value.c_str());
        else if (name == "--transport") {
            if (!parseTransportProtocolName(value, o.transport) || o.transport == RtspTransport::Multicast)
                return usage("unknown transport");
        } else
            return usage("unknown option");
    }
    if (o.streams < 1 || o.streams > 1000 || o.seconds < 0)
        return usage("bad --streams or --seconds");

    boost::asio::io_context io;
    auto info = std::make_shared<Orix::asio::ConnectionInfo>();
    info->scheme = "http";
    info->host = o.host;
    info->port = o.port;
    info->endpoint = {o.host, o.port};

    bool announcedFirst = false;
    std::vector<std::unique_ptr<Session>> sessions;
    for (int i = 0; i < o.streams; ++i) {
        auto s = std::make_unique<Session>();
        Session* session = s.get();
        session->client = std::make_unique<RTSPClient>(io, nullptr);
        session->client->setTransport(o.transport);
        session->client->setUdpFlag(o.transport == RtspTransport::Udp);
        session->client->setTcpBufferSize(o.transport == RtspTransport::Tcp ? 64000 : 0);
        const bool reorder = o.transport == RtspTransport::Udp;
        session->client->setTrackInitializer(
            [session, reorder, &announcedFirst](const SdpMedia& track, std::size_t) -> std::shared_ptr<RtpTrackSink> {
                if (track.kind != SdpMediaKind::video)
                    return nullptr;
                session->filter = initializeVideoFilter(track, reorder, nullptr, [session, &announcedFirst](const Frame& f) {
                    ++session->frames;
                    session->keyFrames += f.keyFrame ? 1 : 0;
                    session->bytes += f.data.size();
                    if (!announcedFirst) {
                        announcedFirst = true;
                        std::fputs("FIRST\n", stdout);
                        std::fflush(stdout);
                    }
                });
                return session->filter;
            });
        session->client->start(o.path, info, [session](const boost::system::error_code& ec) {
            session->ended = true;
            session->endReason = ec ? ec.message() : "teardown";
        });
        sessions.push_back(std::move(s));
    }

    boost::asio::steady_timer stop(io);
    if (o.seconds > 0) {
        stop.expires_after(std::chrono::seconds(o.seconds));
        stop.async_wait([&](const boost::system::error_code& ec) {
            if (ec)
                return;
            for (auto& s : sessions)
                s->client->teardown();
        });
    }
    io.run();

    std::uint64_t frames = 0, keyFrames = 0, bytes = 0, lost = 0, withFrames = 0;
    for (const auto& s : sessions) {
        frames += s->frames;
        keyFrames += s->keyFrames;
        bytes += s->bytes;
        withFrames += s->frames > 0 ? 1 : 0;
        if (s->filter)
            lost += s->filter->statistics().sequence.lost;
    }
    std::printf("{\"streams\":%d,\"streamsWithFrames\":%llu,\"frames\":%llu,\"keyFrames\":%llu,"
                "\"bytes\":%llu,\"lostPackets\":%llu}\n",
                o.streams, static_cast<unsigned long long>(withFrames), static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(keyFrames), static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(lost));
    return withFrames == static_cast<std::uint64_t>(o.streams) ? 0 : 1;
}
