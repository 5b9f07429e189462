#include "AudioRtp.h"

#include <cstdio>

namespace Camsim {

std::uint8_t audioPayloadType(const AudioStream& stream)
{
    return stream.codec == AudioCodec::Mulaw ? 0 : 97;
}

std::uint32_t audioClockRate(const AudioStream& stream)
{
    return stream.codec == AudioCodec::Aac ? stream.sampleRate : 8000;
}

std::string audioSdpLines(const AudioStream& stream)
{
    const std::string pt = std::to_string(audioPayloadType(stream));
    std::string s = "m=audio 0 RTP/AVP " + pt + "\r\nc=IN IP4 0.0.0.0\r\nb=AS:" +
                    std::to_string((stream.bitrate + 999) / 1000) + "\r\n";
    switch (stream.codec) {
    case AudioCodec::Mulaw:
        s += "a=rtpmap:0 PCMU/8000\r\n";
        break;
    case AudioCodec::G726:
        s += "a=rtpmap:97 G726-" + std::to_string(stream.bitrate / 1000) + "/8000\r\n";
        break;
    case AudioCodec::Aac: {
        std::string config;
        for (const char c : stream.aacConfig) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
            config += hex;
        }
        s += "a=rtpmap:97 MPEG4-GENERIC/" + std::to_string(stream.sampleRate) + "/1\r\n";
        s += "a=fmtp:97 streamtype=5;profile-level-id=2;mode=AAC-hbr;config=" + config +
             ";sizeLength=13;indexlength=3;indexdeltalength=3;bitrate=" + std::to_string(stream.bitrate) + "\r\n";
        break;
    }
    }
    return s;
}

std::string audioRtpPayload(const AudioStream& stream, const std::string& chunk)
{
    if (stream.codec != AudioCodec::Aac)
        return chunk;
    // AU-headers-length 16 bits, then a 13-bit size and a 3-bit index of 0.
    const std::size_t size = chunk.size();
    std::string payload;
    payload += '\x00';
    payload += '\x10';
    payload += static_cast<char>((size >> 5) & 0xFF);
    payload += static_cast<char>((size & 0x1F) << 3);
    return payload + chunk;
}

} // namespace Camsim
