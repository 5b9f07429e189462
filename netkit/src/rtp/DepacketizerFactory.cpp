#include <netkit/rtp/AacDepacketizer.h>
#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/rtp/G711Depacketizer.h>
#include <netkit/rtp/G726Depacketizer.h>
#include <netkit/rtp/H264Depacketizer.h>
#include <netkit/rtp/H265Depacketizer.h>
#include <netkit/rtp/JpegDepacketizer.h>
#include <netkit/rtp/MetadataDepacketizer.h>
#include <netkit/rtp/Mpeg4Depacketizer.h>
#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpFmtp.h>

namespace Orix::Utility {

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// "G726-32" → 32000; "AAL2-G726-24" → 24000 (RFC 3551 section 4.5.4, RFC 4856).
std::uint32_t g726Bitrate(const std::string& name)
{
    const std::size_t dash = name.rfind('-');
    const std::string kbps = name.substr(dash + 1);
    if (kbps == "16" || kbps == "24" || kbps == "32" || kbps == "40")
        return std::uint32_t(std::stoul(kbps)) * 1000;
    return 0;
}

DepacketizerLimits audioLimits()
{
    DepacketizerLimits limits;
    limits.maxFrameBytes = 64 * 1024;
    limits.maxUnitsPerFrame = 64;
    limits.maxFragments = 64;
    return limits;
}

void setError(boost::system::error_code* error, boost::system::error_code value)
{
    if (error)
        *error = value;
}

} // namespace

std::optional<Codec> codecForEncoding(const std::string& encoding)
{
    const std::string name = upper(encoding);
    if (name == "H264")
        return Codec::h264;
    if (name == "H265")
        return Codec::h265;
    if (name == "JPEG")
        return Codec::jpeg;
    if (name == "MP4V-ES")
        return Codec::mpeg4;
    if (name == "PCMU")
        return Codec::pcmu;
    if (name == "PCMA")
        return Codec::pcma;
    if ((name.rfind("G726-", 0) == 0 || name.rfind("AAL2-G726-", 0) == 0) && g726Bitrate(name))
        return Codec::g726;
    if (name == "MPEG4-GENERIC")
        return Codec::aac;
    // "vnd.onvif.metadata" on Axis firmware; older ONVIF servers write the
    // MIME subtype "x-onvif-metadata".
    if (name == "VND.ONVIF.METADATA" || name == "X-ONVIF-METADATA")
        return Codec::metadata;
    return std::nullopt;
}

std::unique_ptr<Depacketizer> createDepacketizer(const SdpMedia& track, boost::system::error_code* error)
{
    setError(error, {});
    const auto pt = track.payloadType();
    const auto map = pt ? track.rtpmap(*pt) : std::nullopt;
    const auto codec = map ? codecForEncoding(map->encoding) : std::nullopt;
    if (!codec) {
        setError(error, RtpError::unsupportedFormat);
        return nullptr;
    }
    switch (*codec) {
    case Codec::h264: {
        H264Format format;
        readH264Format(track, format); // sets that do not decode come in band
        if (format.packetizationMode == 2) {
            setError(error, RtpError::unsupportedPacketization);
            return nullptr;
        }
        return std::make_unique<H264Depacketizer>(std::move(format.parameterSets));
    }
    case Codec::h265: {
        H265Format format;
        readH265Format(track, format);
        if (format.maxDonDiff != 0) {
            setError(error, RtpError::unsupportedPacketization);
            return nullptr;
        }
        return std::make_unique<H265Depacketizer>(std::move(format.vps), std::move(format.sps),
                                                  std::move(format.pps));
    }
    case Codec::jpeg:
        return std::make_unique<JpegDepacketizer>();
    case Codec::mpeg4: {
        Mpeg4Format format;
        if (const auto ec = readMpeg4Format(track, format)) {
            setError(error, ec);
            return nullptr;
        }
        return std::make_unique<Mpeg4Depacketizer>(std::move(format.config));
    }
    case Codec::pcmu:
    case Codec::pcma:
        return std::make_unique<G711Depacketizer>(*codec, map->clockRate, map->channels, audioLimits());
    case Codec::g726: {
        const std::string name = upper(map->encoding);
        const auto packing = name.rfind("AAL2-", 0) == 0 ? G726Depacketizer::Packing::aal2
                                                         : G726Depacketizer::Packing::rtp;
        return std::make_unique<G726Depacketizer>(g726Bitrate(name), packing, map->clockRate,
                                                  audioLimits());
    }
    case Codec::aac: {
        AacFormat format;
        if (const auto ec = readAacFormat(track, format)) {
            setError(error, ec);
            return nullptr;
        }
        const std::string mode = upper(format.mode);
        if ((mode != "AAC-HBR" && mode != "AAC-LBR") || format.sizeLength == 0) {
            setError(error, RtpError::unsupportedFormat);
            return nullptr;
        }
        AacLayout layout{format.sizeLength, format.indexLength, format.indexDeltaLength};
        return std::make_unique<AacDepacketizer>(layout, std::move(format.config), map->clockRate,
                                                 map->channels ? map->channels : 1, audioLimits());
    }
    case Codec::metadata:
        return std::make_unique<MetadataDepacketizer>();
    }
    setError(error, RtpError::unsupportedFormat);
    return nullptr;
}

} // namespace Orix::Utility
