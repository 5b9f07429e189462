#pragma once
// One RTSP session from connect to completion; RTSPClient creates one per
// start(). See RTSPClient.h for the contract.
//
// States and transitions:
//
//   Idle        --start-------------------------------> Connecting
//   Connecting  --pipe open-----------------------------> Options
//   Options     --any answer but 401/3xx----------------> Describing
//   Options,
//   Describing  --3xx with Location (bounded)-----------> Connecting
//   Describing  --200 with SDP, tracks accepted---------> SettingUp
//   SettingUp   --200 for the last accepted track-------> Starting
//   Starting    --200 to PLAY---------------------------> Playing
//   SettingUp,
//   Starting,
//   Playing     --teardown() with a session id----------> TearingDown
//   TearingDown --answer, time-out or connection end----> Finished (no error)
//   any         --error, time-out, teardown() without
//                 a session id------------------------> Finished
//
// Every timer and socket handler starts with the same guard: finished, or a
// state the event does not belong to, and it returns.
#include "rtsp/RtspAuthenticator.h"
#include "rtsp/RtspConnection.h"
#include "rtsp/UdpTrackReceiver.h"

#include <netkit/rtp/RtcpPacket.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/rtsp/RtspMessage.h>
#include <netkit/rtsp/RtspStreamReader.h>
#include <netkit/rtsp/RtspTransportHeader.h>
#include <netkit/rtsp/RtspUrl.h>

#include <boost/asio/steady_timer.hpp>

#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace Orix::Utility::rtsp {

struct SessionSettings {
    RtspTransport transport = RtspTransport::Tcp;
    std::chrono::milliseconds responseTimeout{10000};
    std::chrono::milliseconds noDataTimeout{10000};
    bool receiverReports = true;
    std::size_t receiveBuffer = 0;
    std::string userAgent;
    TrackInitializer initializer;
    std::string playRange = "npt=0.000-";
    RTSPClient::PlayStarted playStarted;
};

struct SessionCounters {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> packets{0};
    std::atomic<std::uint64_t> rtcpPackets{0};
    std::atomic<std::uint64_t> requests{0};
    std::atomic<std::uint64_t> keepAlives{0};
    std::atomic<std::uint64_t> receiverReports{0};
};

class RtspSession : public std::enable_shared_from_this<RtspSession>, private RtspStreamReader::Visitor {
public:
    using Completion = RTSPClient::Completion;
    using CommandHandler = RTSPClient::CommandHandler;

    RtspSession(boost::asio::io_context& io, const LoggerOwner& log, SessionSettings settings,
                std::shared_ptr<SessionCounters> counters);
    ~RtspSession() override;

    // All on the io_context.
    void start(const std::string& url, asio::ConnectionInfoPtr info, Completion completion);
    void teardown();
    void abandon(); // the owner is gone: no more callbacks, best-effort TEARDOWN
    void command(bool pause, const std::string& range, CommandHandler handler);

    bool finished() const { return finished_.load(); }

private:
    enum class State { Idle, Connecting, Options, Describing, SettingUp, Starting, Playing, TearingDown, Finished };
    enum class Purpose { Options, Describe, Setup, Play, KeepAlive, Pause, UserPlay, Teardown };

    struct Pending {
        RtspRequest request;
        Purpose purpose;
        std::chrono::steady_clock::time_point deadline;
        bool authAnswered = false; // sent with credentials after a challenge
        unsigned authRounds = 0;   // challenges answered for this request so far
        CommandHandler handler;
    };

    struct Track {
        SdpMedia media;
        std::string controlUrl;
        std::shared_ptr<RtpTrackSink> sink;
        std::shared_ptr<UdpTrackReceiver> udp;
        std::optional<boost::asio::ip::udp::endpoint> rtcpPeer;
        ReceptionStats stats;
    };

    // Connecting
    void doConnect();
    void handleConnect(const boost::system::error_code& ec);
    // Requests
    std::uint32_t sendRequest(Purpose purpose, const std::string& method, const std::string& uri,
                     std::vector<HeaderField> headers = {}, CommandHandler handler = {});
    void transmit(std::uint32_t cseq);
    void handleResponse(RtspMessage&& response);
    bool handleUnauthorized(Pending& pending, const RtspMessage& response);
    void handleRedirect(const RtspMessage& response);
    void handleOptions(const RtspMessage& response);
    void handleDescribe(const RtspMessage& response);
    void doSetup();
    void handleSetup(const RtspMessage& response);
    // The server's Transport answer for one track: its channels, or its UDP
    // peer, or the multicast group joined. protocolViolation when it does not
    // fit what was asked, or the socket error of joining.
    boost::system::error_code takeTransport(Track& track, std::size_t index, const TransportSpec& spec,
                                            const std::string& text);
    // The address media comes from: the Transport's source, or the server.
    boost::asio::ip::address mediaSource(const TransportSpec& spec) const;
    void doPlay();
    void handlePlay(const RtspMessage& response);
    void handleKeepAlive(const RtspMessage& response);
    void answerServerRequest(const RtspMessage& request);
    // Media
    void onData(const std::uint8_t* data, std::size_t size);
    bool onMessage(RtspMessage&& message) override;
    bool onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override;
    void deliver(std::size_t track, bool rtcp, const std::uint8_t* data, std::size_t size);
    // Timers
    void armResponseTimer();
    void handleResponseTimer();
    void armKeepAlive();
    void armNoData();
    void sendReceiverReports();
    // Ending
    void finish(const boost::system::error_code& ec);
    bool mediaOnConnection() const;
    boost::system::error_code statusError(unsigned status) const;

    boost::asio::io_context& io_;
    LoggerOwner log_;
    SessionSettings settings_;
    std::shared_ptr<SessionCounters> counters_;
    Completion completion_;
    std::atomic<bool> finished_{false};
    State state_ = State::Idle;

    asio::ConnectionInfoPtr info_;
    RtspUrl url_;            // the URL requests go to (after redirects)
    std::string connectHost_;
    std::uint16_t connectPort_ = 0;
    unsigned redirects_ = 0;
    std::shared_ptr<RtspConnection> connection_;
    RtspStreamReader reader_;

    std::uint32_t nextCseq_ = 1;
    std::map<std::uint32_t, Pending> pending_;
    RtspAuthenticator auth_;
    bool keepAliveWithGetParameter_ = false;
    bool cseqQuirkLogged_ = false;

    std::deque<Track> tracks_; // a deque: Track is not copyable, and never moves once added
    std::size_t setupIndex_ = 0;
    std::array<std::int16_t, 256> channelTrack_{}; // channel -> track index + 1, negative for RTCP
    std::string sessionControlUrl_;
    std::string sessionId_;
    std::chrono::seconds sessionTimeout_{60};
    std::uint32_t ourSsrc_ = 0;

    boost::asio::steady_timer connectTimer_;
    boost::asio::steady_timer responseTimer_;
    boost::asio::steady_timer keepAliveTimer_;
    boost::asio::steady_timer noDataTimer_;
    boost::asio::steady_timer reportTimer_;
    boost::asio::steady_timer abandonTimer_; // holds an abandoned session until finish()
    std::chrono::steady_clock::time_point lastRtp_{};
};

} // namespace Orix::Utility::rtsp
