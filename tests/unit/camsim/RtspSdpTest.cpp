// The SDP camsim writes for a DESCRIBE: byte for byte the captured answer of
// an Axis camera (tests/data/sdp), and the H.265 and JPEG tracks.
#include "RtspSdp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace Camsim;

TEST(RtspSdp, AxisLayoutOfACapturedAnswer)
{
    // The captured 176x144 H.264 DESCRIBE answer, rebuilt from its own
    // values; camsim's pixels are square, the capture's 0.916667 wide.
    SdpSession s;
    s.sessionId = 1188340656180883ull;
    s.address = "192.168.0.3";
    s.control = "rtsp://192.168.0.3/axis-media/media.amp?resolution=176x144&fps=1";
    SdpTrack video;
    video.fps = 1;
    video.sps = std::string("\x67\x4d\x00\x29\xe2\x90\x58\x9d\x80\xb7\x01\x01\x01\xa4\x1e\x24\x45\x40", 18);
    video.pps = std::string("\x68\xee\x3c\x80", 4);
    video.control = "rtsp://192.168.0.3/axis-media/media.amp/stream=0?resolution=176x144&fps=1";
    s.tracks.push_back(video);
    std::ifstream file(std::string(VAPIXCAM_TEST_DATA) + "/sdp/axis_gstreamer_h264_2015.sdp", std::ios::binary);
    std::string captured((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(captured.empty());
    captured.replace(captured.find("a=transform:0.916667"), 20, "a=transform:1.000000");
    EXPECT_EQ(buildSdp(s), captured);

    // An audio track follows the video as G.711 mu-law.
    SdpTrack audio;
    audio.kind = SdpTrack::Kind::Audio;
    audio.control = "rtsp://192.168.0.3/axis-media/media.amp/stream=1?resolution=176x144&fps=1";
    s.tracks.push_back(audio);
    EXPECT_EQ(buildSdp(s), captured + "m=audio 0 RTP/AVP 0\r\n"
                                      "c=IN IP4 0.0.0.0\r\n"
                                      "b=AS:64\r\n"
                                      "a=rtpmap:0 PCMU/8000\r\n"
                                      "a=control:rtsp://192.168.0.3/axis-media/media.amp/stream=1?resolution=176x144&fps=1\r\n");
}

TEST(RtspSdp, H265AndJpegTracks)
{
    SdpSession s;
    s.address = "127.0.0.1";
    s.control = "rtsp://127.0.0.1/axis-media/media.amp";
    SdpTrack h265;
    h265.codec = VideoCodec::H265;
    h265.vps = std::string("\x40\x01\x0c\x01", 4);
    h265.sps = std::string("\x42\x01\x01", 3);
    h265.pps = std::string("\x44\x01\xc1\x73", 4);
    h265.control = "rtsp://127.0.0.1/axis-media/media.amp/stream=0";
    s.tracks = {h265};
    const std::string sdp = buildSdp(s);
    EXPECT_NE(sdp.find("a=rtpmap:96 H265/90000\r\na=fmtp:96 sprop-vps=QAEMAQ==;sprop-sps=QgEB;sprop-pps=RAHBcw==\r\n"),
              std::string::npos)
        << sdp;

    SdpTrack jpeg;
    jpeg.codec = VideoCodec::Jpeg;
    jpeg.control = "rtsp://127.0.0.1/axis-media/media.amp/stream=0";
    s.tracks = {jpeg};
    EXPECT_NE(buildSdp(s).find("m=video 0 RTP/AVP 26\r\nc=IN IP4 0.0.0.0\r\nb=AS:50000\r\na=rtpmap:26 JPEG/90000\r\n"
                               "a=control:"),
              std::string::npos);
}

TEST(RtspSdp, MetadataOnlyAsCaptured)
{
    // DESCRIBE answer of an Axis camera to ?video=0&audio=0&event=on (GStreamer firmware, 2020).
    SdpSession s;
    s.sessionId = 18302136002250915122ull;
    s.address = "host";
    s.control = "rtsp://127.0.0.1/axis-media/media.amp?video=0&audio=0&event=on";
    SdpTrack metadata;
    metadata.kind = SdpTrack::Kind::Metadata;
    metadata.control = "rtsp://127.0.0.1/axis-media/media.amp/stream=0?video=0&audio=0&event=on";
    s.tracks = {metadata};
    EXPECT_EQ(buildSdp(s), "v=0\r\n"
                           "o=- 18302136002250915122 1 IN IP4 host\r\n"
                           "s=Session streamed with GStreamer\r\n"
                           "i=rtsp-server\r\n"
                           "t=0 0\r\n"
                           "a=tool:GStreamer\r\n"
                           "a=type:broadcast\r\n"
                           "a=range:npt=now-\r\n"
                           "a=control:rtsp://127.0.0.1/axis-media/media.amp?video=0&audio=0&event=on\r\n"
                           "m=application 0 RTP/AVP 98\r\n"
                           "c=IN IP4 0.0.0.0\r\n"
                           "a=rtpmap:98 vnd.onvif.metadata/90000\r\n"
                           "a=ts-refclk:local\r\n"
                           "a=mediaclk:sender\r\n"
                           "a=control:rtsp://127.0.0.1/axis-media/media.amp/stream=0?video=0&audio=0&event=on\r\n");
}
