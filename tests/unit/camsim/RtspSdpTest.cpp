// The SDP camsim writes for a DESCRIBE: the layout of an Axis camera's answer
// with the parameter sets of a captured one, and the H.265 and JPEG tracks.
#include "RtspSdp.h"

#include <gtest/gtest.h>

using namespace Camsim;

TEST(RtspSdp, AxisLayoutWithCapturedParameterSets)
{
    // The parameter sets of a captured 176x144 H.264 DESCRIBE answer.
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
    SdpTrack audio;
    audio.kind = SdpTrack::Kind::Audio;
    audio.control = "rtsp://192.168.0.3/axis-media/media.amp/stream=1?resolution=176x144&fps=1";
    s.tracks.push_back(audio);
    EXPECT_EQ(buildSdp(s),
              "v=0\r\n"
              "o=- 1188340656180883 1 IN IP4 192.168.0.3\r\n"
              "s=Session streamed with GStreamer\r\n"
              "i=rtsp-server\r\n"
              "t=0 0\r\n"
              "a=tool:GStreamer\r\n"
              "a=type:broadcast\r\n"
              "a=range:npt=now-\r\n"
              "a=control:rtsp://192.168.0.3/axis-media/media.amp?resolution=176x144&fps=1\r\n"
              "m=video 0 RTP/AVP 96\r\n"
              "c=IN IP4 0.0.0.0\r\n"
              "b=AS:50000\r\n"
              "a=rtpmap:96 H264/90000\r\n"
              "a=fmtp:96 packetization-mode=1;profile-level-id=4d0029;"
              "sprop-parameter-sets=Z00AKeKQWJ2AtwEBAaQeJEVA,aO48gA==\r\n"
              "a=control:rtsp://192.168.0.3/axis-media/media.amp/stream=0?resolution=176x144&fps=1\r\n"
              "a=framerate:1.000000\r\n"
              "a=transform:1.000000,0.000000,0.000000;0.000000,1.000000,0.000000;0.000000,0.000000,1.000000\r\n"
              "m=audio 0 RTP/AVP 0\r\n"
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
