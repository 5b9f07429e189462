#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpFmtp.h>
#include <netkit/util/Base64.h>
#include <netkit/util/TextUtil.h>

#include "sdp/SdpText.h"

namespace Orix::Utility {

using namespace sdptext;

namespace {

const SdpFmtp* fmtpOf(const SdpMedia& media)
{
    const auto pt = media.payloadType();
    return pt ? media.fmtp(*pt) : nullptr;
}

bool readInt(const SdpFmtp& fmtp, const char* name, int& out, int max)
{
    const auto value = fmtp.get(name);
    if (!value)
        return true;
    const auto n = parseUnsigned(*value, std::uint64_t(max));
    if (!n)
        return false;
    out = static_cast<int>(*n);
    return true;
}

// A comma-separated list of base64 NAL units; the ones that decode are kept.
bool readBase64List(const SdpFmtp& fmtp, const char* name, std::vector<ByteString>& out)
{
    const auto value = fmtp.get(name);
    if (!value)
        return true;
    bool ok = true;
    std::size_t pos = 0;
    while (pos <= value->size()) {
        const std::size_t end = std::min(value->find(',', pos), value->size());
        const std::string item = trim(value->substr(pos, end - pos));
        if (!item.empty()) {
            auto bytes = decodeBase64(item);
            if (bytes && !bytes->empty())
                out.push_back(std::move(*bytes));
            else
                ok = false;
        }
        pos = end + 1;
    }
    return ok;
}

bool readHexValue(const SdpFmtp& fmtp, const char* name, ByteString& out)
{
    const auto value = fmtp.get(name);
    if (!value)
        return true;
    auto bytes = decodeHex(*value);
    if (!bytes)
        return false;
    out = std::move(*bytes);
    return true;
}

boost::system::error_code result(bool ok)
{
    return ok ? boost::system::error_code() : make_error_code(SdpError::malformedValue);
}

} // namespace

std::optional<ByteString> decodeBase64(const std::string& text)
{
    std::string bytes;
    if (!base64Decode(text, bytes))
        return std::nullopt;
    return ByteString(bytes.begin(), bytes.end());
}

std::optional<ByteString> decodeHex(const std::string& text)
{
    if (text.size() % 2)
        return std::nullopt;
    ByteString out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = Orix::Utility::text::hexValue(text[i]);
        const int lo = Orix::Utility::text::hexValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(std::uint8_t(hi << 4 | lo));
    }
    return out;
}

boost::system::error_code readH264Format(const SdpMedia& media, H264Format& out)
{
    out = H264Format();
    const SdpFmtp* fmtp = fmtpOf(media);
    if (!fmtp)
        return {};
    bool ok = readInt(*fmtp, "packetization-mode", out.packetizationMode, 2);
    if (const auto id = fmtp->get("profile-level-id")) {
        const auto bytes = decodeHex(*id);
        if (bytes && bytes->size() == 3)
            out.profileLevelId = std::uint32_t((*bytes)[0]) << 16 | std::uint32_t((*bytes)[1]) << 8 |
                                 (*bytes)[2];
        else
            ok = false;
    }
    ok = readBase64List(*fmtp, "sprop-parameter-sets", out.parameterSets) && ok;
    return result(ok);
}

boost::system::error_code readH265Format(const SdpMedia& media, H265Format& out)
{
    out = H265Format();
    const SdpFmtp* fmtp = fmtpOf(media);
    if (!fmtp)
        return {};
    bool ok = readBase64List(*fmtp, "sprop-vps", out.vps);
    ok = readBase64List(*fmtp, "sprop-sps", out.sps) && ok;
    ok = readBase64List(*fmtp, "sprop-pps", out.pps) && ok;
    ok = readInt(*fmtp, "sprop-max-don-diff", out.maxDonDiff, 32767) && ok;
    return result(ok);
}

boost::system::error_code readAacFormat(const SdpMedia& media, AacFormat& out)
{
    out = AacFormat();
    const SdpFmtp* fmtp = fmtpOf(media);
    if (!fmtp)
        return {};
    out.mode = fmtp->get("mode").value_or("");
    bool ok = readInt(*fmtp, "sizelength", out.sizeLength, 32);
    ok = readInt(*fmtp, "indexlength", out.indexLength, 32) && ok;
    ok = readInt(*fmtp, "indexdeltalength", out.indexDeltaLength, 32) && ok;
    ok = readInt(*fmtp, "constantsize", out.constantSize, 65535) && ok;
    ok = readHexValue(*fmtp, "config", out.config) && ok;
    return result(ok);
}

boost::system::error_code readMpeg4Format(const SdpMedia& media, Mpeg4Format& out)
{
    out = Mpeg4Format();
    const SdpFmtp* fmtp = fmtpOf(media);
    if (!fmtp)
        return {};
    bool ok = true;
    if (fmtp->get("profile-level-id")) {
        int id = 0;
        ok = readInt(*fmtp, "profile-level-id", id, 255);
        if (ok)
            out.profileLevelId = id;
    }
    ok = readHexValue(*fmtp, "config", out.config) && ok;
    return result(ok);
}

} // namespace Orix::Utility
