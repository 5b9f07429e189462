#include "MediaClip.h"

namespace Camsim {

namespace {

constexpr std::size_t kMaxFrames = 100000;

bool isH264Vcl(int type) { return type >= 1 && type <= 5; }
bool isH265Vcl(int type) { return type >= 0 && type <= 31; }

// The first bit after the NAL header: first_mb_in_slice == 0 (its ue(v)
// code is a single 1 bit) in H.264, first_slice_segment_in_pic_flag in H.265.
bool startsPicture(VideoCodec codec, const std::string& nal)
{
    const std::size_t header = codec == VideoCodec::H264 ? 1 : 2;
    return nal.size() > header && (static_cast<unsigned char>(nal[header]) & 0x80) != 0;
}

// A non-VCL unit that may only come before the first slice of a picture.
bool opensAccessUnit(VideoCodec codec, int type)
{
    if (codec == VideoCodec::H264)
        return type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18);
    return (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55);
}

bool isKeyNal(VideoCodec codec, int type)
{
    return codec == VideoCodec::H264 ? type == 5 : (type >= 16 && type <= 21);
}

unsigned be16(const std::string& s, std::size_t at)
{
    return (static_cast<unsigned char>(s[at]) << 8) | static_cast<unsigned char>(s[at + 1]);
}

} // namespace

const char* codecName(VideoCodec codec)
{
    switch (codec) {
    case VideoCodec::H264: return "h264";
    case VideoCodec::H265: return "h265";
    case VideoCodec::Jpeg: return "jpeg";
    }
    return "";
}

std::vector<std::string> splitAnnexB(const std::string& stream)
{
    std::vector<std::string> nals;
    const std::size_t n = stream.size();
    std::size_t i = 0;
    std::size_t start = std::string::npos;
    while (i + 2 < n) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            if (start != std::string::npos) {
                std::size_t end = i;
                // A 4-byte start code's leading zero (and trailing_zero_8bits) belong to no unit.
                while (end > start && stream[end - 1] == 0)
                    --end;
                if (end > start)
                    nals.push_back(stream.substr(start, end - start));
            }
            i += 3;
            start = i;
            continue;
        }
        ++i;
    }
    if (start != std::string::npos && start < n)
        nals.push_back(stream.substr(start));
    return nals;
}

int h264NalType(const std::string& nal) { return nal.empty() ? -1 : static_cast<unsigned char>(nal[0]) & 0x1f; }

int h265NalType(const std::string& nal) { return nal.empty() ? -1 : (static_cast<unsigned char>(nal[0]) >> 1) & 0x3f; }

std::vector<VideoFrame> groupAccessUnits(VideoCodec codec, const std::vector<std::string>& nals)
{
    std::vector<VideoFrame> frames;
    VideoFrame current;
    bool hasPicture = false;
    auto flush = [&] {
        if (hasPicture)
            frames.push_back(std::move(current));
        current = VideoFrame();
        hasPicture = false;
    };
    for (const auto& nal : nals) {
        const int type = codec == VideoCodec::H264 ? h264NalType(nal) : h265NalType(nal);
        const bool vcl = codec == VideoCodec::H264 ? isH264Vcl(type) : isH265Vcl(type);
        if (hasPicture && ((vcl && startsPicture(codec, nal)) || (!vcl && opensAccessUnit(codec, type))))
            flush();
        // Delimiters say nothing the RTP marker bit does not.
        if ((codec == VideoCodec::H264 && type == 9) || (codec == VideoCodec::H265 && type == 35))
            continue;
        if (vcl) {
            hasPicture = true;
            current.key = current.key || isKeyNal(codec, type);
        }
        current.nals.push_back(nal);
        if (frames.size() >= kMaxFrames)
            break;
    }
    flush();
    return frames;
}

std::optional<JpegPicture> parseJpeg(const std::string& b, std::string& error)
{
    if (b.size() < 4 || static_cast<unsigned char>(b[0]) != 0xff || static_cast<unsigned char>(b[1]) != 0xd8) {
        error = "no JPEG start of image";
        return std::nullopt;
    }
    std::string tables[4];
    int componentTable[3] = {-1, -1, -1};
    bool frameSeen = false;
    JpegPicture picture;
    std::size_t i = 2;
    while (i + 4 <= b.size()) {
        if (static_cast<unsigned char>(b[i]) != 0xff) {
            error = "JPEG marker expected at byte " + std::to_string(i);
            return std::nullopt;
        }
        const unsigned marker = static_cast<unsigned char>(b[i + 1]);
        if (marker == 0xff) { // fill byte
            ++i;
            continue;
        }
        const unsigned length = be16(b, i + 2);
        if (length < 2 || i + 2 + length > b.size()) {
            error = "JPEG segment runs past the end";
            return std::nullopt;
        }
        const std::size_t body = i + 4;
        const std::size_t bodyLength = length - 2;
        if (marker == 0xdb) {
            std::size_t t = body;
            while (t < body + bodyLength) {
                const unsigned pq = static_cast<unsigned char>(b[t]) >> 4;
                const unsigned tq = static_cast<unsigned char>(b[t]) & 0x0f;
                if (pq != 0 || tq > 3 || t + 65 > body + bodyLength) {
                    error = "only 8-bit quantisation tables 0..3 are sent";
                    return std::nullopt;
                }
                tables[tq] = b.substr(t + 1, 64);
                t += 65;
            }
        } else if (marker == 0xc0 || marker == 0xc1) {
            if (bodyLength < 15 || static_cast<unsigned char>(b[body]) != 8 ||
                static_cast<unsigned char>(b[body + 5]) != 3) {
                error = "only 8-bit baseline JPEG with three components is sent";
                return std::nullopt;
            }
            picture.height = be16(b, body + 1);
            picture.width = be16(b, body + 3);
            const unsigned ySampling = static_cast<unsigned char>(b[body + 7]);
            if (ySampling == 0x22)
                picture.type = 1;
            else if (ySampling == 0x21)
                picture.type = 0;
            else {
                error = "luma sampling must be 2x2 or 2x1";
                return std::nullopt;
            }
            for (int c = 0; c < 3; ++c) {
                const std::size_t at = body + 6 + 3 * static_cast<std::size_t>(c);
                if (c > 0 && static_cast<unsigned char>(b[at + 1]) != 0x11) {
                    error = "chroma sampling must be 1x1";
                    return std::nullopt;
                }
                componentTable[c] = static_cast<unsigned char>(b[at + 2]) & 0x03;
            }
            frameSeen = true;
        } else if ((marker >= 0xc2 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)) {
            error = "only baseline JPEG is sent";
            return std::nullopt;
        } else if (marker == 0xdd) {
            if (bodyLength >= 2 && be16(b, body) != 0) {
                error = "restart intervals are not sent";
                return std::nullopt;
            }
        } else if (marker == 0xda) {
            if (!frameSeen) {
                error = "scan before the frame header";
                return std::nullopt;
            }
            const std::size_t scanStart = body + bodyLength;
            std::size_t e = scanStart;
            while (e + 1 < b.size()) {
                if (static_cast<unsigned char>(b[e]) == 0xff) {
                    const unsigned next = static_cast<unsigned char>(b[e + 1]);
                    if (next == 0xd9)
                        break;
                    if (next != 0x00 && !(next >= 0xd0 && next <= 0xd7) && next != 0xff) {
                        error = "unexpected marker inside the scan";
                        return std::nullopt;
                    }
                }
                ++e;
            }
            if (e + 1 >= b.size()) {
                error = "JPEG has no end of image";
                return std::nullopt;
            }
            const std::string& luma = tables[componentTable[0]];
            const std::string& chroma = tables[componentTable[1]];
            if (luma.size() != 64 || chroma.size() != 64 || tables[componentTable[2]] != chroma) {
                error = "quantisation tables missing or Cb and Cr tables differ";
                return std::nullopt;
            }
            picture.quantTables = luma + chroma;
            picture.scan = b.substr(scanStart, e - scanStart);
            return picture;
        }
        i += 2 + length;
    }
    error = "JPEG has no scan";
    return std::nullopt;
}

std::vector<std::string> splitJpegStream(const std::string& bytes)
{
    std::vector<std::string> pictures;
    std::size_t start = bytes.find("\xff\xd8", 0, 2);
    while (start != std::string::npos && pictures.size() < kMaxFrames) {
        // The next picture starts right after this one's EOI; an EOI inside
        // the scan is impossible (0xff is stuffed there).
        std::size_t next = bytes.find("\xff\xd9\xff\xd8", start + 2, 4);
        if (next == std::string::npos) {
            pictures.push_back(bytes.substr(start));
            break;
        }
        pictures.push_back(bytes.substr(start, next + 2 - start));
        start = next + 2;
    }
    return pictures;
}

std::optional<MediaClip> parseClip(const std::string& bytes, VideoCodec codec, std::string& error)
{
    MediaClip clip;
    clip.codec = codec;
    if (codec == VideoCodec::Jpeg) {
        for (const auto& p : splitJpegStream(bytes)) {
            auto picture = parseJpeg(p, error);
            if (!picture)
                return std::nullopt;
            if (picture->width > 2040 || picture->height > 2040) {
                error = "JPEG pictures above 2040x2040 do not fit RFC 2435";
                return std::nullopt;
            }
            VideoFrame frame;
            frame.key = true;
            frame.jpeg = std::move(*picture);
            clip.frames.push_back(std::move(frame));
        }
        if (clip.frames.empty()) {
            error = "no JPEG pictures";
            return std::nullopt;
        }
        clip.width = clip.frames.front().jpeg.width;
        clip.height = clip.frames.front().jpeg.height;
        return clip;
    }
    clip.frames = groupAccessUnits(codec, splitAnnexB(bytes));
    if (clip.frames.empty() || !clip.frames.front().key) {
        error = "the clip does not start with a key frame";
        return std::nullopt;
    }
    for (const auto& nal : clip.frames.front().nals) {
        const int type = codec == VideoCodec::H264 ? h264NalType(nal) : h265NalType(nal);
        if (codec == VideoCodec::H264) {
            if (type == 7 && clip.sps.empty())
                clip.sps = nal;
            if (type == 8 && clip.pps.empty())
                clip.pps = nal;
        } else {
            if (type == 32 && clip.vps.empty())
                clip.vps = nal;
            if (type == 33 && clip.sps.empty())
                clip.sps = nal;
            if (type == 34 && clip.pps.empty())
                clip.pps = nal;
        }
    }
    if (clip.sps.empty() || clip.pps.empty() || (codec == VideoCodec::H265 && clip.vps.empty())) {
        error = "the first key frame has no parameter sets";
        return std::nullopt;
    }
    return clip;
}

} // namespace Camsim
