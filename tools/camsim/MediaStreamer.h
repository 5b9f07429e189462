#pragma once
// Sends the tracks of one RTSP session in real time: video frames of a clip
// at the session's frame rate (looping, with sequence numbers and time
// stamps running on), audio in 20 ms packets (one AAC frame each), and an RTCP sender
// report per track every two seconds, over the RTSP connection
// (interleaved) or UDP (unicast or multicast). Runs on the executor it is
// given, which must be the one of the RTSP connection that owns it; every
// call must come from there.
//
// States: Idle --play--> Playing --pause--> Idle; stop() from anywhere ends
// it for good. Time stamps follow the wall clock, so a pause shows as a gap.
#include "AudioClip.h"
#include "MediaClip.h"
#include "MediaPacketiser.h"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

struct TrackSetup {
    enum class Kind { Video, Audio, Metadata }; // metadata: sent by sendMetadata only
    Kind kind = Kind::Video;
    std::shared_ptr<const MediaClip> clip;         // video
    std::shared_ptr<const AudioStream> audio;      // audio: the input's coded loop
    unsigned fps = 25;                             // video frames per second on the wire
    std::uint8_t payloadType = 96;
    std::uint32_t clockRate = 90000;
    std::uint32_t ssrc = 0;
    std::uint16_t firstSequence = 0;
    std::uint32_t firstTimestamp = 0;
    // Delivery: interleaved channels, or UDP sockets and where they send to.
    std::optional<std::pair<std::uint8_t, std::uint8_t>> channels;
    std::shared_ptr<boost::asio::ip::udp::socket> rtpSocket;
    std::shared_ptr<boost::asio::ip::udp::socket> rtcpSocket;
    boost::asio::ip::udp::endpoint rtpDestination;
    boost::asio::ip::udp::endpoint rtcpDestination;
};

class MediaStreamer : public std::enable_shared_from_this<MediaStreamer> {
public:
    using Clock = std::chrono::steady_clock;
    // Writes one interleaved frame ("$" framing included) to the connection.
    using InterleavedSink = std::function<void(std::string frame)>;

    MediaStreamer(boost::asio::any_io_executor executor, InterleavedSink sink, std::string cname);
    ~MediaStreamer();

    void addTrack(TrackSetup setup);
    std::size_t trackCount() const { return tracks_.size(); }
    const TrackSetup& track(std::size_t i) const { return tracks_[i]->setup; }

    // Sequence number and RTP time of the next packet of track i (RTP-Info).
    std::uint16_t nextSequence(std::size_t i) const { return tracks_[i]->sequence; }
    std::uint32_t nextTimestamp(std::size_t i);

    // Playback of a recording instead of live video: the video track sends
    // frames of the recording (frame i is clip frame i modulo the clip's
    // length) from nextFrame up to totalFrames, with RTP time running with
    // the recording (frame i at firstTimestamp + i * clockRate / fps) and
    // sender reports giving the recorded wall time of that RTP time
    // (startMicros + i / fps). After the last frame every track gets an
    // RTCP BYE and onEnd runs. Call before play().
    void playRecording(std::int64_t startMicros, std::size_t totalFrames, std::function<void()> onEnd);
    // The next frame of the recording to send (a seek while paused).
    void seekFrame(std::size_t frame) { recordingFrame_ = frame; }
    std::size_t recordingFrame() const { return recordingFrame_; }

    // One document of the metadata track(s), the payloads in order; dropped
    // unless playing.
    void sendMetadata(const std::vector<RtpPayload>& payloads);

    void play();
    void pause();
    void stop();
    bool playing() const { return playing_; }

    // Faults: no media at all while stalled; garbage once a second of play
    // has passed (bytes that are neither RTSP nor "$" on the connection,
    // random bytes on UDP); onEnd after the given play time.
    void setStall(bool stall) { stall_ = stall; }
    void setGarbage(std::function<void()> injectInterleaved) { garbage_ = std::move(injectInterleaved); }
    void endAfter(std::chrono::milliseconds playTime, std::function<void()> onEnd);

    // Lets a UDP session die when its client went quiet: onExpired once
    // nothing was heard for timeout (touch() on every request and RTCP packet).
    void expireAfter(std::chrono::seconds timeout, std::function<void()> onExpired);
    void touch() { lastHeard_ = Clock::now(); }

private:
    struct Track {
        TrackSetup setup;
        std::uint16_t sequence = 0;
        std::size_t position = 0;       // next frame, or next audio byte
        std::uint32_t packets = 0;
        std::uint32_t octets = 0;
        Clock::time_point due;
        Clock::time_point reportDue;
        bool sentMedia = false;
        std::vector<char> rtcpIn;
    };

    void schedule();
    void handleTimer(const boost::system::error_code& ec, unsigned generation);
    void sendDue(Track& track, Clock::time_point now);
    void sendReport(Track& track, Clock::time_point now);
    void deliver(Track& track, std::string packet, bool rtcp);
    void sendGarbage();
    void doReceiveRtcp(Track& track);
    std::uint32_t timestampAt(const Track& track, Clock::time_point t) const;
    Clock::duration interval(const Track& track) const;

    boost::asio::any_io_executor executor_;
    InterleavedSink sink_;
    std::string cname_;
    boost::asio::steady_timer timer_;
    std::vector<std::unique_ptr<Track>> tracks_;
    bool playing_ = false;
    bool stopped_ = false;
    bool stall_ = false;
    unsigned generation_ = 0;
    std::optional<Clock::time_point> epoch_;
    std::int64_t wallEpochMicros_ = 0;   // the wall clock at epoch_, for sender reports
    Clock::duration played_{0};          // before the current PLAY
    Clock::time_point playStarted_;
    std::function<void()> garbage_;
    bool garbageSent_ = false;
    std::optional<std::chrono::milliseconds> endAfter_;
    std::function<void()> onEnd_;
    std::optional<std::chrono::seconds> expireAfter_;
    std::function<void()> onExpired_;
    Clock::time_point lastHeard_ = Clock::now();

    bool recording_ = false;
    std::int64_t recordingStartMicros_ = 0;
    std::size_t recordingFrames_ = 0;
    std::size_t recordingFrame_ = 0;     // next to send
    std::function<void()> onRecordingEnd_;
    void finishRecording();
    std::uint32_t recordingTimestamp(const Track& track, std::size_t frame) const;
};

} // namespace Camsim
