#pragma once
// Typed readings of the fmtp parameters the depacketizers need.
#include <netkit/sdp/SdpSession.h>

#include <boost/system/error_code.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Orix::Utility {

using ByteString = std::vector<std::uint8_t>;

// H.264 (RFC 6184 section 8.1).
struct H264Format {
    int packetizationMode = 0;
    std::optional<std::uint32_t> profileLevelId; // 24 bits
    std::vector<ByteString> parameterSets;       // sprop-parameter-sets, decoded, in order
};
// H.265 (RFC 7798 section 7.1).
struct H265Format {
    std::vector<ByteString> vps, sps, pps;
    int maxDonDiff = 0; // sprop-max-don-diff; non-zero means DONL fields are present
};
// MPEG-4 audio, mpeg4-generic (RFC 3640 section 4.1).
struct AacFormat {
    std::string mode;        // "AAC-hbr", "AAC-lbr", ...
    int sizeLength = 0;
    int indexLength = 0;
    int indexDeltaLength = 0;
    int constantSize = 0;
    ByteString config;       // AudioSpecificConfig
};
// MPEG-4 visual, MP4V-ES (RFC 3016 section 5.1).
struct Mpeg4Format {
    std::optional<int> profileLevelId;
    ByteString config;       // VOS/VO/VOL headers
};

// Each reads the fmtp of `media`'s payload type. Errors: SdpError::malformedValue
// for a value that does not decode (base64, hex, number); a missing fmtp gives
// the defaults.
boost::system::error_code readH264Format(const SdpMedia& media, H264Format& out);
boost::system::error_code readH265Format(const SdpMedia& media, H265Format& out);
boost::system::error_code readAacFormat(const SdpMedia& media, AacFormat& out);
boost::system::error_code readMpeg4Format(const SdpMedia& media, Mpeg4Format& out);

// RFC 4648 base64 (padding optional); nothing for a character outside the alphabet
// or an impossible length.
std::optional<ByteString> decodeBase64(const std::string& text);
// Hex pairs, either case; nothing for an odd length or a non-hex character.
std::optional<ByteString> decodeHex(const std::string& text);

} // namespace Orix::Utility
