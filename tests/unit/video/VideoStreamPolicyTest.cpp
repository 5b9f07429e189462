#include "VideoStreamPolicy.h"

#include <gtest/gtest.h>

using namespace Vapixcam;

namespace {

TEST(ReconnectPolicy, WaitGrowsTenSecondsPerAttemptUpToThirtyAttempts)
{
    const struct {
        std::uint64_t attempt;
        int random;
        unsigned seconds;
    } cases[] = {
        {1, 0, 10},      {1, 32767, 15},  {1, 16383, 12}, {2, 0, 20},
        {4, 0, 40},      {4, 32766, 44},  {4, 32767, 45}, {30, 0, 300},
        {31, 0, 300},    {31, 32767, 305}, {1000000, 100, 300}, {0, 0, 0},
        {3, -5, 30},     {3, 99999, 35},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("attempt " + std::to_string(c.attempt) + " random " + std::to_string(c.random));
        EXPECT_EQ(reconnectDelaySeconds(c.attempt, c.random), c.seconds);
    }
}

TEST(VideoStreamPolicy, CameraNumberFromChannelOrDewarpView)
{
    const struct {
        std::uint32_t channel;
        const char* view;
        std::optional<unsigned> number;
        std::optional<unsigned> selected;
    } cases[] = {
        {0, "", 1, std::nullopt},
        {3, "", 4, std::nullopt},
        {0, "Overview", 1, 0},
        {0, "Panorama", 2, 0},
        {0, "Double Panorama", 3, 1},
        {0, "Quad View", 4, 2},
        {0, "View Area 3", 7, 3},
        {0, "Panorama Corner Right", 10, 5},
        {0, "Corridor", 12, 7},
        {0, "quad view", std::nullopt, std::nullopt},
        {0, "Tripod", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        EXPECT_EQ(cameraNumber(c.channel, c.view), c.number);
        if (*c.view) {
            EXPECT_EQ(dewarpSelectedValue(c.view), c.selected);
        }
    }
}

TEST(VideoStreamPolicy, LiveUrls)
{
    EXPECT_EQ(liveStreamUrl(1, 0, "H264", "Profile101"), "/axis-media/media.amp?camera=1&videocodec=h264");
    EXPECT_EQ(liveStreamUrl(4, 0, "MJPEG", ""), "/axis-media/media.amp?camera=4&videocodec=jpeg");
    EXPECT_EQ(liveStreamUrl(3, 1, "H265", "Profile301"), "/axis-media/media.amp?camera=3&streamprofile=Profile301");
}

TEST(ReconnectPolicy, CleanEndWithMediaResumesAtOnceEverythingElseWaits)
{
    using Orix::Utility::rtsp::error;
    const boost::system::error_code none;
    const struct {
        const char* name;
        boost::system::error_code error;
        bool media, retryAtOnce;
        SessionEndAction action;
    } cases[] = {
        {"RTCP BYE after frames", error::sessionEndedByServer, true, false, SessionEndAction::resumeAtOnce},
        {"end without error after frames", none, true, false, SessionEndAction::resumeAtOnce},
        {"BYE before any frame", error::sessionEndedByServer, false, false, SessionEndAction::waitAndRetry},
        {"no-data time-out after frames", error::timeout, true, false, SessionEndAction::waitAndRetry},
        {"connection lost", error::connectionLost, true, false, SessionEndAction::waitAndRetry},
        {"transport refused, owner switched", error::transportRefused, false, true, SessionEndAction::resumeAtOnce},
        {"transport refused, nothing left", error::transportRefused, false, false, SessionEndAction::waitAndRetry},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(afterSessionEnd(c.error, c.media, c.retryAtOnce), c.action);
    }
}

TEST(ReconnectPolicy, RefusedTransportFallsBackTcpUdpTunnel)
{
    using Orix::Utility::RtspTransport;
    const struct {
        RtspTransport refused;
        std::optional<RtspTransport> next;
    } cases[] = {
        {RtspTransport::Tcp, RtspTransport::Udp},
        {RtspTransport::Udp, RtspTransport::RtspOverHttp},
        {RtspTransport::RtspOverHttp, std::nullopt},
        {RtspTransport::Multicast, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Orix::Utility::getTransportProtocolName(c.refused));
        EXPECT_EQ(fallbackTransport(c.refused), c.next);
    }
}

} // namespace
