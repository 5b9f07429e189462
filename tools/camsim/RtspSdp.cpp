#include "RtspSdp.h"

#include "AudioRtp.h"
#include "EventDocument.h"
#include "RtspMessage.h"

#include <cstdio>

namespace Camsim {

namespace {

std::string hexByte(const std::string& s, std::size_t at)
{
    char out[3];
    std::snprintf(out, sizeof out, "%02x", at < s.size() ? static_cast<unsigned char>(s[at]) : 0u);
    return out;
}

std::string videoLines(const SdpTrack& t)
{
    const unsigned pt = payloadTypeOf(t);
    const std::string p = std::to_string(pt);
    std::string s = "m=video 0 RTP/AVP " + p + "\r\nc=IN IP4 0.0.0.0\r\nb=AS:50000\r\n";
    switch (t.codec) {
    case VideoCodec::H264:
        // profile-level-id: profile_idc, constraint flags and level_idc of the SPS (RFC 6184 section 8.1).
        s += "a=rtpmap:" + p + " H264/90000\r\n";
        s += "a=fmtp:" + p + " packetization-mode=1;profile-level-id=" + hexByte(t.sps, 1) + hexByte(t.sps, 2) +
             hexByte(t.sps, 3) + ";sprop-parameter-sets=" + base64Encode(t.sps) + "," + base64Encode(t.pps) + "\r\n";
        break;
    case VideoCodec::H265:
        s += "a=rtpmap:" + p + " H265/90000\r\n";
        s += "a=fmtp:" + p + " sprop-vps=" + base64Encode(t.vps) + ";sprop-sps=" + base64Encode(t.sps) +
             ";sprop-pps=" + base64Encode(t.pps) + "\r\n";
        break;
    case VideoCodec::Jpeg:
        s += "a=rtpmap:" + p + " JPEG/90000\r\n";
        break;
    }
    s += "a=control:" + t.control + "\r\n";
    s += "a=framerate:" + std::to_string(t.fps) + ".000000\r\n";
    s += "a=transform:1.000000,0.000000,0.000000;0.000000,1.000000,0.000000;0.000000,0.000000,1.000000\r\n";
    return s;
}

} // namespace

std::uint8_t payloadTypeOf(const SdpTrack& track)
{
    if (track.kind == SdpTrack::Kind::Audio)
        return track.audio ? audioPayloadType(*track.audio) : 0;
    if (track.kind == SdpTrack::Kind::Metadata)
        return kMetadataPayloadType;
    return track.codec == VideoCodec::Jpeg ? 26 : 96;
}

std::string buildSdp(const SdpSession& session)
{
    std::string s = "v=0\r\n";
    s += "o=- " + std::to_string(session.sessionId) + " 1 IN IP4 " + session.address + "\r\n";
    s += "s=Session streamed with GStreamer\r\n";
    s += "i=rtsp-server\r\n";
    s += "t=0 0\r\n";
    s += "a=tool:GStreamer\r\n";
    s += "a=type:broadcast\r\n";
    s += "a=range:" + session.range + "\r\n";
    s += "a=control:" + session.control + "\r\n";
    for (const auto& t : session.tracks) {
        if (t.kind == SdpTrack::Kind::Video) {
            s += videoLines(t);
        } else if (t.kind == SdpTrack::Kind::Metadata) {
            s += metadataSdpLines(t.control);
        } else {
            s += t.audio ? audioSdpLines(*t.audio)
                         : "m=audio 0 RTP/AVP 0\r\nc=IN IP4 0.0.0.0\r\nb=AS:64\r\na=rtpmap:0 PCMU/8000\r\n";
            s += "a=control:" + t.control + "\r\n";
        }
    }
    return s;
}

} // namespace Camsim
