#include "MediaPacketiser.h"

#include <algorithm>
#include <cmath>

namespace Camsim {

namespace {

void putByte(std::string& s, unsigned v) { s += static_cast<char>(v & 0xff); }

// RFC 6184 section 5.8: the NAL header byte becomes the FU indicator (type
// 28) and the FU header (S, E, type); the fragments carry the rest.
void fragmentH264(const std::string& nal, std::size_t maxPayload, std::vector<RtpPayload>& out)
{
    const unsigned header = static_cast<unsigned char>(nal[0]);
    const std::size_t chunk = maxPayload - 2;
    for (std::size_t at = 1; at < nal.size(); at += chunk) {
        const std::size_t n = std::min(chunk, nal.size() - at);
        RtpPayload p;
        putByte(p.bytes, (header & 0xe0) | 28);
        putByte(p.bytes, (at == 1 ? 0x80 : 0) | (at + n == nal.size() ? 0x40 : 0) | (header & 0x1f));
        p.bytes.append(nal, at, n);
        out.push_back(std::move(p));
    }
}

// RFC 7798 section 4.4.3: a two-byte payload header of type 49 (F, layer
// and TID kept) and a one-byte FU header (S, E, type).
void fragmentH265(const std::string& nal, std::size_t maxPayload, std::vector<RtpPayload>& out)
{
    const unsigned h0 = static_cast<unsigned char>(nal[0]);
    const unsigned h1 = static_cast<unsigned char>(nal[1]);
    const unsigned type = (h0 >> 1) & 0x3f;
    const std::size_t chunk = maxPayload - 3;
    for (std::size_t at = 2; at < nal.size(); at += chunk) {
        const std::size_t n = std::min(chunk, nal.size() - at);
        RtpPayload p;
        putByte(p.bytes, (h0 & 0x81) | (49 << 1));
        putByte(p.bytes, h1);
        putByte(p.bytes, (at == 2 ? 0x80 : 0) | (at + n == nal.size() ? 0x40 : 0) | type);
        p.bytes.append(nal, at, n);
        out.push_back(std::move(p));
    }
}

std::vector<RtpPayload> packetiseNals(const VideoFrame& frame, std::size_t maxPayload, std::size_t headerSize,
                                      void (*fragment)(const std::string&, std::size_t, std::vector<RtpPayload>&))
{
    std::vector<RtpPayload> out;
    for (const auto& nal : frame.nals) {
        if (nal.size() < headerSize + 1)
            continue; // nothing a decoder could use
        if (nal.size() <= maxPayload) {
            out.push_back(RtpPayload{nal, false});
        } else {
            fragment(nal, maxPayload, out);
        }
    }
    if (!out.empty())
        out.back().marker = true;
    return out;
}

} // namespace

std::vector<RtpPayload> packetiseH264(const VideoFrame& frame, std::size_t maxPayload)
{
    return packetiseNals(frame, std::max<std::size_t>(maxPayload, 3), 1, &fragmentH264);
}

std::vector<RtpPayload> packetiseH265(const VideoFrame& frame, std::size_t maxPayload)
{
    return packetiseNals(frame, std::max<std::size_t>(maxPayload, 4), 2, &fragmentH265);
}

std::vector<RtpPayload> packetiseJpeg(const JpegPicture& picture, std::size_t maxPayload)
{
    // RFC 2435 section 3.1: type-specific, 24-bit fragment offset, type, Q,
    // width/8, height/8; with Q >= 128 the first packet carries the
    // quantisation table header of section 3.1.8 (MBZ, precision, length).
    std::vector<RtpPayload> out;
    const std::string& scan = picture.scan;
    std::size_t offset = 0;
    do {
        RtpPayload p;
        putByte(p.bytes, 0);
        putByte(p.bytes, offset >> 16);
        putByte(p.bytes, offset >> 8);
        putByte(p.bytes, offset);
        putByte(p.bytes, picture.type);
        putByte(p.bytes, 255);
        putByte(p.bytes, (picture.width + 7) / 8);
        putByte(p.bytes, (picture.height + 7) / 8);
        if (offset == 0) {
            putByte(p.bytes, 0);
            putByte(p.bytes, 0);
            putByte(p.bytes, picture.quantTables.size() >> 8);
            putByte(p.bytes, picture.quantTables.size());
            p.bytes += picture.quantTables;
        }
        const std::size_t room = maxPayload > p.bytes.size() + 1 ? maxPayload - p.bytes.size() : 1;
        const std::size_t n = std::min(room, scan.size() - offset);
        p.bytes.append(scan, offset, n);
        offset += n;
        p.marker = offset >= scan.size();
        out.push_back(std::move(p));
    } while (offset < scan.size());
    return out;
}

std::vector<RtpPayload> packetiseFrame(VideoCodec codec, const VideoFrame& frame, std::size_t maxPayload)
{
    switch (codec) {
    case VideoCodec::H264: return packetiseH264(frame, maxPayload);
    case VideoCodec::H265: return packetiseH265(frame, maxPayload);
    case VideoCodec::Jpeg: return packetiseJpeg(frame.jpeg, maxPayload);
    }
    return {};
}

std::uint8_t linearToMulaw(std::int16_t sample)
{
    // G.711 works on 14 bits: bias 33, clip at 8159, eight segments.
    static const int segmentEnd[8] = {0x3f, 0x7f, 0xff, 0x1ff, 0x3ff, 0x7ff, 0xfff, 0x1fff};
    int value = sample >> 2;
    int mask = 0xff;
    if (value < 0) {
        value = -value;
        mask = 0x7f;
    }
    value = std::min(value, 8159) + 0x21;
    int segment = 0;
    while (segment < 8 && value > segmentEnd[segment])
        ++segment;
    if (segment >= 8)
        return static_cast<std::uint8_t>(0x7f ^ mask);
    const int code = (segment << 4) | ((value >> (segment + 1)) & 0x0f);
    return static_cast<std::uint8_t>(code ^ mask);
}

std::string mulawTone(unsigned frequency, double amplitude)
{
    const double pi = std::acos(-1.0);
    std::string out(8000, '\0');
    for (unsigned i = 0; i < 8000; ++i) {
        const double v = amplitude * 32767.0 * std::sin(2.0 * pi * frequency * i / 8000.0);
        out[i] = static_cast<char>(linearToMulaw(static_cast<std::int16_t>(std::lround(v))));
    }
    return out;
}

} // namespace Camsim
