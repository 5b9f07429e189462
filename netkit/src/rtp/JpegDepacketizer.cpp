#include <netkit/rtp/JpegDepacketizer.h>
#include "rtp/BigEndian.h"

#include <algorithm>

namespace Orix::Utility {

namespace {

// JPEG Annex K tables K.1 and K.2 in natural order, as RFC 2435 appendix A lists them.
const std::uint8_t kLumaQuantizer[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const std::uint8_t kChromaQuantizer[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// Natural index of the i-th coefficient in zigzag order.
const std::uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The standard Huffman tables of JPEG Annex K.3 (RFC 2435 appendix B).
const std::uint8_t kLumDcCodeLens[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kLumDcSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const std::uint8_t kChmDcCodeLens[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const std::uint8_t kChmDcSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const std::uint8_t kLumAcCodeLens[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const std::uint8_t kLumAcSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
const std::uint8_t kChmAcCodeLens[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const std::uint8_t kChmAcSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};


void putHuffman(std::vector<std::uint8_t>& out, const std::uint8_t* lens, const std::uint8_t* symbols,
                std::size_t count, std::uint8_t tableClassAndId)
{
    out.insert(out.end(), {0xff, 0xc4});
    put16(out, std::uint32_t(3 + 16 + count));
    out.push_back(tableClassAndId);
    out.insert(out.end(), lens, lens + 16);
    out.insert(out.end(), symbols, symbols + count);
}

// Width and height from a SOF marker segment carried in an RTP header
// extension (ONVIF Streaming, "JPEG over RTP": profile 0xFFD8 or
// 0xFFFF followed by JPEG marker segments). Needed above 2040 pixels, where
// the 8-bit payload fields cannot say the size.
bool sizeFromExtension(const RtpPacket& packet, std::uint32_t& width, std::uint32_t& height)
{
    if (!packet.hasExtension || (packet.extensionProfile != 0xffd8 && packet.extensionProfile != 0xffff))
        return false;
    ByteReader reader(packet.extension);
    while (reader.remaining() >= 4) {
        std::uint8_t ff = 0, marker = 0;
        std::uint16_t length = 0;
        reader.u8(ff);
        if (ff != 0xff)
            return false;
        reader.u8(marker);
        if (!reader.u16(length) || length < 2)
            return false;
        ByteSpan body;
        if (!reader.bytes(length - 2u, body))
            return false;
        if ((marker == 0xc0 || marker == 0xc1) && body.size >= 5) {
            height = std::uint32_t(body[1]) << 8 | body[2];
            width = std::uint32_t(body[3]) << 8 | body[4];
            return width > 0 && height > 0;
        }
    }
    return false;
}

} // namespace

JpegDepacketizer::JpegDepacketizer(DepacketizerLimits limits)
    : Depacketizer(CodecParameters{Codec::jpeg, 90000, 0, 0, 0, 0, {}}, limits)
{
}

void JpegDepacketizer::tablesForQuality(int q, std::uint8_t luma[64], std::uint8_t chroma[64])
{
    // RFC 2435 appendix A, MakeTables.
    const int factor = std::clamp(q, 1, 99);
    const int scale = factor < 50 ? 5000 / factor : 200 - factor * 2;
    for (int i = 0; i < 64; ++i) {
        luma[i] = std::uint8_t(std::clamp((kLumaQuantizer[kZigzag[i]] * scale + 50) / 100, 1, 255));
        chroma[i] = std::uint8_t(std::clamp((kChromaQuantizer[kZigzag[i]] * scale + 50) / 100, 1, 255));
    }
}

boost::system::error_code JpegDepacketizer::doPush(const RtpPacket& packet)
{
    // RFC 2435 section 3.1: type-specific, fragment offset (24 bits), type, Q,
    // width / 8, height / 8.
    ByteReader reader(packet.payload);
    std::uint8_t typeSpecific = 0;
    std::uint32_t offset = 0;
    if (!reader.u8(typeSpecific) || !reader.u24(offset) || reader.remaining() < 4) {
        if (state_ == State::collecting)
            countDropped();
        state_ = State::discarding;
        return RtpError::malformedPayload;
    }
    if (state_ == State::collecting && packet.timestamp != timestamp_) {
        // The previous frame lost its end.
        countDropped();
        state_ = State::idle;
    }
    boost::system::error_code ec;
    if (offset == 0) {
        if (state_ == State::collecting)
            countDropped();
        ec = startFrame(packet, reader);
    } else if (state_ == State::collecting) {
        if (offset != scan_.size() - scanStart_) {
            ec = drop(RtpError::missingFragment);
        } else {
            // Fragments after the first repeat the main and restart headers.
            reader.skip(4);
            if (header_.type >= 64 && !reader.skip(4))
                ec = drop(RtpError::malformedPayload);
            else
                ec = append(reader.rest());
        }
    } else if (state_ == State::idle) {
        state_ = State::discarding;
        ec = RtpError::missingFragment;
    }
    if (packet.marker) {
        if (state_ == State::collecting)
            finishFrame();
        state_ = State::idle;
    }
    return ec;
}

boost::system::error_code JpegDepacketizer::startFrame(const RtpPacket& packet, ByteReader& reader)
{
    state_ = State::discarding;
    scan_.clear();
    fragments_ = 0;
    timestamp_ = packet.timestamp;
    std::uint8_t type = 0, q = 0, w = 0, h = 0;
    reader.u8(type);
    reader.u8(q);
    reader.u8(w);
    reader.u8(h);
    Header header;
    header.type = type;
    header.q = q;
    header.width = std::uint32_t(w) * 8;
    header.height = std::uint32_t(h) * 8;
    if ((type & 0x3f) > 1 || type >= 128)
        return drop(RtpError::unsupportedFormat);
    if ((header.width == 0 || header.height == 0) &&
        !sizeFromExtension(packet, header.width, header.height))
        return drop(RtpError::unsupportedFormat);
    if (type >= 64) {
        // Restart marker header (section 3.1.7).
        std::uint16_t interval = 0, flags = 0;
        if (!reader.u16(interval) || !reader.u16(flags))
            return drop(RtpError::malformedPayload);
        header.restartInterval = interval;
    }
    if (q == 0)
        return drop(RtpError::malformedPayload);
    if (q >= 128) {
        // Quantization table header (section 3.1.8).
        std::uint8_t mbz = 0, precision = 0;
        std::uint16_t length = 0;
        ByteSpan tables;
        if (!reader.u8(mbz) || !reader.u8(precision) || !reader.u16(length) ||
            !reader.bytes(length, tables))
            return drop(RtpError::malformedPayload);
        if (length == 0) {
            if (q == 255 || cachedTables_[q - 128].empty())
                return drop(RtpError::missingTables);
            header.tables = cachedTables_[q - 128];
            header.precision = cachedPrecision_[q - 128];
        } else {
            // Each table is 64 bytes, or 128 when its precision bit is set.
            std::size_t expected = 0;
            for (int i = 0; i < 2 && expected < length; ++i)
                expected += (precision >> i & 1) ? 128 : 64;
            if (expected != length)
                return drop(RtpError::malformedPayload);
            header.tables.assign(tables.begin(), tables.end());
            header.precision = precision;
            if (q < 255) {
                cachedTables_[q - 128] = header.tables;
                cachedPrecision_[q - 128] = precision;
            }
        }
    } else {
        header.tables.resize(128);
        tablesForQuality(q, header.tables.data(), header.tables.data() + 64);
        header.precision = 0;
    }
    header_ = std::move(header);
    parameters_.width = header_.width;
    parameters_.height = header_.height;
    state_ = State::collecting;
    // The headers go first and the scan is appended behind them, so the
    // frame is copied once.
    scan_ = buildHeaders();
    scanStart_ = scan_.size();
    scan_.reserve(std::min(scanStart_ + lastScanBytes_ + lastScanBytes_ / 4, limits_.maxFrameBytes));
    return append(reader.rest());
}

boost::system::error_code JpegDepacketizer::append(ByteSpan data)
{
    if (++fragments_ > limits_.maxFragments)
        return drop(RtpError::tooManyFragments);
    if (scan_.size() + data.size + 2 > limits_.maxFrameBytes)
        return drop(RtpError::frameTooLarge);
    scan_.insert(scan_.end(), data.begin(), data.end());
    return {};
}

boost::system::error_code JpegDepacketizer::drop(RtpError error)
{
    if (state_ == State::collecting)
        countDropped();
    state_ = State::discarding;
    scan_.clear();
    scan_.shrink_to_fit();
    return error;
}

std::vector<std::uint8_t> JpegDepacketizer::buildHeaders() const
{
    // RFC 2435 appendix B, MakeHeaders.
    std::vector<std::uint8_t> out;
    out.reserve(1024);
    out.insert(out.end(), {0xff, 0xd8});

    std::size_t tableCount = 0;
    for (std::size_t pos = 0; pos < header_.tables.size(); ++tableCount) {
        const bool wide = header_.precision >> tableCount & 1;
        const std::size_t size = wide ? 128 : 64;
        out.insert(out.end(), {0xff, 0xdb});
        put16(out, std::uint32_t(2 + 1 + size));
        out.push_back(std::uint8_t((wide ? 0x10 : 0x00) | tableCount));
        out.insert(out.end(), header_.tables.begin() + std::ptrdiff_t(pos),
                   header_.tables.begin() + std::ptrdiff_t(pos + size));
        pos += size;
    }
    if (header_.restartInterval) {
        out.insert(out.end(), {0xff, 0xdd, 0x00, 0x04});
        put16(out, header_.restartInterval);
    }
    // One table given: both luma and chroma use it.
    const std::uint8_t chromaTable = tableCount > 1 ? 1 : 0;
    out.insert(out.end(), {0xff, 0xc0, 0x00, 0x11, 0x08});
    put16(out, header_.height);
    put16(out, header_.width);
    out.push_back(3);
    out.insert(out.end(), {0x00, std::uint8_t((header_.type & 0x3f) == 0 ? 0x21 : 0x22), 0x00});
    out.insert(out.end(), {0x01, 0x11, chromaTable});
    out.insert(out.end(), {0x02, 0x11, chromaTable});

    putHuffman(out, kLumDcCodeLens, kLumDcSymbols, sizeof kLumDcSymbols, 0x00);
    putHuffman(out, kLumAcCodeLens, kLumAcSymbols, sizeof kLumAcSymbols, 0x10);
    putHuffman(out, kChmDcCodeLens, kChmDcSymbols, sizeof kChmDcSymbols, 0x01);
    putHuffman(out, kChmAcCodeLens, kChmAcSymbols, sizeof kChmAcSymbols, 0x11);

    out.insert(out.end(), {0xff, 0xda, 0x00, 0x0c, 0x03, 0x00, 0x00, 0x01, 0x11, 0x02, 0x11, 0x00,
                           0x3f, 0x00});
    return out;
}

void JpegDepacketizer::finishFrame()
{
    Frame frame;
    frame.codec = Codec::jpeg;
    frame.keyFrame = true;
    frame.rtpTimestamp = timestamp_;
    lastScanBytes_ = scan_.size() - scanStart_;
    const bool hasEoi = lastScanBytes_ >= 2 && scan_[scan_.size() - 2] == 0xff && scan_.back() == 0xd9;
    if (!hasEoi)
        scan_.insert(scan_.end(), {0xff, 0xd9});
    frame.data.swap(scan_);
    scan_.clear();
    state_ = State::idle;
    emit(std::move(frame));
}

void JpegDepacketizer::doLost()
{
    if (state_ == State::collecting) {
        countDropped();
        scan_.clear();
    }
    // Fragments up to the next frame start belong to a broken frame.
    state_ = State::discarding;
}

void JpegDepacketizer::doReset()
{
    scan_.clear();
    fragments_ = 0;
    state_ = State::idle;
}

} // namespace Orix::Utility
