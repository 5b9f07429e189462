#include "MediaStreamer.h"

#include "AudioRtp.h"
#include "MediaPacketiser.h"
#include "MediaRtp.h"

#include <boost/asio/buffer.hpp>

#include <algorithm>
#include <random>

namespace Camsim {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

constexpr auto kReportInterval = std::chrono::seconds(2);
constexpr auto kFirstReport = std::chrono::milliseconds(200);
constexpr auto kMaxLag = std::chrono::seconds(1);
constexpr auto kIdleWake = std::chrono::milliseconds(250);

} // namespace

MediaStreamer::MediaStreamer(asio::any_io_executor executor, InterleavedSink sink, std::string cname)
    : executor_(executor), sink_(std::move(sink)), cname_(std::move(cname)), timer_(executor)
{
}

MediaStreamer::~MediaStreamer() = default;

void MediaStreamer::addTrack(TrackSetup setup)
{
    auto t = std::make_unique<Track>();
    t->setup = std::move(setup);
    t->sequence = t->setup.firstSequence;
    tracks_.push_back(std::move(t));
    Track& track = *tracks_.back();
    if (track.setup.rtcpSocket) {
        track.rtcpIn.resize(2048);
        doReceiveRtcp(track);
    }
}

void MediaStreamer::doReceiveRtcp(Track& track)
{
    // Receiver reports from the client keep a UDP session alive.
    auto socket = track.setup.rtcpSocket;
    auto from = std::make_shared<asio::ip::udp::endpoint>();
    socket->async_receive_from(asio::buffer(track.rtcpIn), *from,
                               [self = shared_from_this(), &track, socket, from](error_code ec, std::size_t) {
                                   if (ec || self->stopped_)
                                       return;
                                   self->touch();
                                   self->doReceiveRtcp(track);
                               });
}

MediaStreamer::Clock::duration MediaStreamer::interval(const Track& track) const
{
    if (track.setup.kind == TrackSetup::Kind::Audio)
        return std::chrono::duration_cast<Clock::duration>(audioChunkDuration(*track.setup.audio));
    if (track.setup.kind == TrackSetup::Kind::Metadata)
        return std::chrono::hours(24);
    const unsigned fps = track.setup.fps ? track.setup.fps : (track.setup.clip ? track.setup.clip->fps : 25);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1000000000LL / std::max(1u, fps)));
}

std::uint32_t MediaStreamer::timestampAt(const Track& track, Clock::time_point t) const
{
    if (!epoch_ || t <= *epoch_)
        return track.setup.firstTimestamp;
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(t - *epoch_).count();
    const std::uint64_t ticks = static_cast<std::uint64_t>(micros) / 1000 * track.setup.clockRate / 1000 +
                                static_cast<std::uint64_t>(micros % 1000) * track.setup.clockRate / 1000000;
    return track.setup.firstTimestamp + static_cast<std::uint32_t>(ticks);
}

std::uint32_t MediaStreamer::nextTimestamp(std::size_t i)
{
    const Track& t = *tracks_[i];
    if (recording_ && t.setup.kind == TrackSetup::Kind::Video)
        return recordingTimestamp(t, recordingFrame_);
    return timestampAt(t, playing_ ? t.due : Clock::now());
}

void MediaStreamer::playRecording(std::int64_t startMicros, std::size_t totalFrames, std::function<void()> onEnd)
{
    recording_ = true;
    recordingStartMicros_ = startMicros;
    recordingFrames_ = totalFrames;
    onRecordingEnd_ = std::move(onEnd);
}

std::uint32_t MediaStreamer::recordingTimestamp(const Track& track, std::size_t frame) const
{
    const unsigned fps = std::max(1u, track.setup.fps);
    return track.setup.firstTimestamp +
           static_cast<std::uint32_t>(static_cast<std::uint64_t>(frame) * track.setup.clockRate / fps);
}

void MediaStreamer::finishRecording()
{
    for (auto& t : tracks_)
        deliver(*t, rtcpBye(t->setup.ssrc), true);
    pause();
    auto onEnd = std::move(onRecordingEnd_);
    if (onEnd)
        onEnd();
}

void MediaStreamer::play()
{
    if (stopped_ || playing_)
        return;
    const auto now = Clock::now();
    if (!epoch_) {
        epoch_ = now;
        wallEpochMicros_ = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    }
    playStarted_ = now;
    touch();
    for (auto& t : tracks_) {
        t->due = now;
        t->reportDue = now + kFirstReport;
    }
    playing_ = true;
    ++generation_;
    schedule();
}

void MediaStreamer::pause()
{
    if (!playing_)
        return;
    played_ += Clock::now() - playStarted_;
    playing_ = false;
    ++generation_;
    timer_.cancel();
}

void MediaStreamer::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    playing_ = false;
    ++generation_;
    timer_.cancel();
    for (auto& t : tracks_) {
        error_code ignored;
        if (t->setup.rtpSocket)
            t->setup.rtpSocket->close(ignored);
        if (t->setup.rtcpSocket)
            t->setup.rtcpSocket->close(ignored);
    }
}

void MediaStreamer::endAfter(std::chrono::milliseconds playTime, std::function<void()> onEnd)
{
    endAfter_ = playTime;
    onEnd_ = std::move(onEnd);
}

void MediaStreamer::expireAfter(std::chrono::seconds timeout, std::function<void()> onExpired)
{
    expireAfter_ = timeout;
    onExpired_ = std::move(onExpired);
    touch();
}

void MediaStreamer::schedule()
{
    const auto now = Clock::now();
    auto next = now + kIdleWake;
    if (!stall_) {
        for (const auto& t : tracks_) {
            next = std::min(next, t->due);
            if (t->sentMedia)
                next = std::min(next, t->reportDue);
        }
    }
    timer_.expires_at(next);
    timer_.async_wait([self = shared_from_this(), g = generation_](error_code ec) { self->handleTimer(ec, g); });
}

void MediaStreamer::handleTimer(const error_code& ec, unsigned generation)
{
    if (ec || generation != generation_ || stopped_ || !playing_)
        return;
    const auto now = Clock::now();
    const auto played = played_ + (now - playStarted_);
    if (endAfter_ && played >= *endAfter_) {
        pause();
        endAfter_.reset();
        auto onEnd = std::move(onEnd_);
        if (onEnd)
            onEnd();
        return;
    }
    if (expireAfter_ && now - lastHeard_ > *expireAfter_) {
        pause();
        expireAfter_.reset();
        auto onExpired = std::move(onExpired_);
        if (onExpired)
            onExpired();
        return;
    }
    if (!stall_) {
        for (auto& t : tracks_) {
            if (now - t->due > kMaxLag && !recording_)
                t->due = now; // the process was held up: skip ahead instead of bursting
            while (t->due <= now && !stopped_ && playing_) {
                sendDue(*t, now);
                t->due += interval(*t);
            }
            if (t->sentMedia && t->reportDue <= now) {
                sendReport(*t, now);
                t->reportDue = now + kReportInterval;
            }
        }
        if (garbage_ && !garbageSent_ && played >= std::chrono::seconds(1)) {
            garbageSent_ = true;
            sendGarbage();
        }
    }
    if (playing_ && !stopped_)
        schedule();
}

void MediaStreamer::sendDue(Track& track, Clock::time_point)
{
    const std::uint32_t ts = timestampAt(track, track.due);
    if (track.setup.kind == TrackSetup::Kind::Metadata)
        return;
    if (track.setup.kind == TrackSetup::Kind::Audio) {
        const std::string chunk = nextAudioChunk(*track.setup.audio, track.position);
        if (chunk.empty())
            return;
        const std::string payload = audioRtpPayload(*track.setup.audio, chunk);
        const bool marker = track.setup.audio->codec == AudioCodec::Aac; // each packet ends its access unit
        deliver(track, rtpPacket(track.setup.payloadType, marker, track.sequence++, ts, track.setup.ssrc, payload),
                false);
        track.octets += static_cast<std::uint32_t>(payload.size());
        ++track.packets;
        return;
    }
    const MediaClip& clip = *track.setup.clip;
    if (clip.frames.empty())
        return;
    std::uint32_t stamp = ts;
    const VideoFrame* frame = nullptr;
    if (recording_) {
        if (recordingFrame_ >= recordingFrames_) {
            finishRecording();
            return;
        }
        stamp = recordingTimestamp(track, recordingFrame_);
        frame = &clip.frames[recordingFrame_ % clip.frames.size()];
        ++recordingFrame_;
    } else {
        frame = &clip.frames[track.position];
        track.position = (track.position + 1) % clip.frames.size();
    }
    for (auto& p : packetiseFrame(clip.codec, *frame)) {
        track.octets += static_cast<std::uint32_t>(p.bytes.size());
        ++track.packets;
        deliver(track,
                rtpPacket(track.setup.payloadType, p.marker, track.sequence++, stamp, track.setup.ssrc, p.bytes),
                false);
    }
}

void MediaStreamer::sendMetadata(const std::vector<RtpPayload>& payloads)
{
    if (!playing_ || stopped_ || stall_)
        return;
    for (auto& t : tracks_) {
        if (t->setup.kind != TrackSetup::Kind::Metadata)
            continue;
        const std::uint32_t ts = timestampAt(*t, Clock::now());
        for (const auto& p : payloads) {
            t->octets += static_cast<std::uint32_t>(p.bytes.size());
            ++t->packets;
            deliver(*t, rtpPacket(t->setup.payloadType, p.marker, t->sequence++, ts, t->setup.ssrc, p.bytes), false);
        }
    }
}

void MediaStreamer::sendReport(Track& track, Clock::time_point now)
{
    // Wall time and RTP time of the same instant, both counted from the
    // epoch, so that every report maps the stream the same way.
    auto wall = wallEpochMicros_ + std::chrono::duration_cast<std::chrono::microseconds>(now - *epoch_).count();
    std::uint32_t rtp = timestampAt(track, now);
    if (recording_ && track.setup.kind == TrackSetup::Kind::Video && recordingFrame_ > 0) {
        // A recording's reports tell when its last frame was recorded.
        const std::size_t frame = recordingFrame_ - 1;
        wall = recordingStartMicros_ + static_cast<std::int64_t>(frame) * 1000000 / std::max(1u, track.setup.fps);
        rtp = recordingTimestamp(track, frame);
    }
    deliver(track,
            rtcpSenderReport(track.setup.ssrc, ntpFromUnixMicros(wall), rtp, track.packets, track.octets, cname_),
            true);
}

void MediaStreamer::deliver(Track& track, std::string packet, bool rtcp)
{
    if (!rtcp)
        track.sentMedia = true;
    if (track.setup.channels) {
        sink_(interleavedFrame(rtcp ? track.setup.channels->second : track.setup.channels->first, packet));
        return;
    }
    auto& socket = rtcp ? track.setup.rtcpSocket : track.setup.rtpSocket;
    if (!socket)
        return;
    // Non-blocking: a full socket buffer drops the packet, as a camera would.
    error_code ignored;
    socket->send_to(asio::buffer(packet), rtcp ? track.setup.rtcpDestination : track.setup.rtpDestination, 0,
                    ignored);
}

void MediaStreamer::sendGarbage()
{
    bool interleaved = false;
    std::mt19937 random(std::random_device{}());
    for (auto& t : tracks_) {
        if (t->setup.channels) {
            interleaved = true;
            continue;
        }
        if (!t->setup.rtpSocket)
            continue;
        std::string junk(200, '\0');
        for (std::size_t i = 1; i < junk.size(); ++i)
            junk[i] = static_cast<char>(random() & 0xff);
        junk[0] = 0x17; // RTP version 0: no valid packet
        error_code ignored;
        t->setup.rtpSocket->send_to(asio::buffer(junk), t->setup.rtpDestination, 0, ignored);
    }
    if (interleaved && garbage_)
        garbage_();
}

} // namespace Camsim
