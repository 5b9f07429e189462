// Depacketizer throughput beside a plain copy of the same payload bytes.
#include <netkit/rtp/H264Depacketizer.h>
#include <netkit/rtp/JpegDepacketizer.h>
#include <netkit/rtp/RtpPacket.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace Orix::Utility;

namespace {

constexpr std::size_t kFrameBytes = 200 * 1024; // a 1080p IDR at a moderate bitrate
constexpr std::size_t kPacketPayload = 1400;

using Bytes = std::vector<std::uint8_t>;

Bytes header(std::uint16_t seq, std::uint32_t ts, bool marker, std::uint8_t pt)
{
    return {0x80, std::uint8_t((marker ? 0x80 : 0) | pt), std::uint8_t(seq >> 8), std::uint8_t(seq),
            std::uint8_t(ts >> 24), std::uint8_t(ts >> 16), std::uint8_t(ts >> 8), std::uint8_t(ts),
            0x12, 0x34, 0x56, 0x78};
}

// One IDR slice in FU-A packets (RFC 6184 section 5.8).
std::vector<Bytes> h264Frame(std::uint16_t& seq, std::uint32_t ts, std::size_t& payloadBytes)
{
    std::vector<Bytes> packets;
    std::size_t offset = 0;
    while (offset < kFrameBytes) {
        const std::size_t n = std::min(kPacketPayload - 2, kFrameBytes - offset);
        const bool start = offset == 0, end = offset + n == kFrameBytes;
        Bytes p = header(seq++, ts, end, 96);
        p.push_back(0x7c);
        p.push_back(std::uint8_t((start ? 0x80 : 0) | (end ? 0x40 : 0) | 5));
        for (std::size_t i = 0; i < n; ++i)
            p.push_back(std::uint8_t(offset + i));
        payloadBytes += p.size() - 12;
        packets.push_back(std::move(p));
        offset += n;
    }
    return packets;
}

// One baseline 4:2:0 frame, Q 50, in RFC 2435 fragments.
std::vector<Bytes> jpegFrame(std::uint16_t& seq, std::uint32_t ts, std::size_t& payloadBytes)
{
    std::vector<Bytes> packets;
    std::size_t offset = 0;
    while (offset < kFrameBytes) {
        const std::size_t n = std::min(kPacketPayload - 8, kFrameBytes - offset);
        const bool end = offset + n == kFrameBytes;
        Bytes p = header(seq++, ts, end, 26);
        const Bytes main = {0, std::uint8_t(offset >> 16), std::uint8_t(offset >> 8), std::uint8_t(offset),
                            1, 50, 1920 / 8, 1080 / 8};
        p.insert(p.end(), main.begin(), main.end());
        for (std::size_t i = 0; i < n; ++i)
            p.push_back(std::uint8_t(i & 0x7f));
        payloadBytes += p.size() - 12;
        packets.push_back(std::move(p));
        offset += n;
    }
    return packets;
}

template <typename Make, typename D>
void runDepacketizer(benchmark::State& state, Make make, D& depacketizer)
{
    std::uint16_t seq = 0;
    std::size_t payloadBytes = 0;
    std::vector<std::vector<Bytes>> frames;
    for (int f = 0; f < 4; ++f)
        frames.push_back(make(seq, std::uint32_t(f) * 3000, payloadBytes));
    std::uint32_t ts = 0;
    std::size_t frameCount = 0;
    for (auto _ : state) {
        for (auto& frame : frames) {
            ts += 3000;
            for (auto& bytes : frame) {
                // A new timestamp per round, written in place.
                bytes[4] = std::uint8_t(ts >> 24);
                bytes[5] = std::uint8_t(ts >> 16);
                bytes[6] = std::uint8_t(ts >> 8);
                bytes[7] = std::uint8_t(ts);
                RtpPacket packet;
                RtpPacket::parse(ByteSpan(bytes.data(), bytes.size()), packet);
                depacketizer.push(packet);
            }
            while (auto out = depacketizer.pull()) {
                benchmark::DoNotOptimize(out->data.data());
                ++frameCount;
            }
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(payloadBytes));
    state.counters["frames"] = benchmark::Counter(double(frameCount), benchmark::Counter::kIsRate);
}

void BM_H264FuA(benchmark::State& state)
{
    H264Depacketizer depacketizer;
    runDepacketizer(state, h264Frame, depacketizer);
}

void BM_Jpeg(benchmark::State& state)
{
    JpegDepacketizer depacketizer;
    runDepacketizer(state, jpegFrame, depacketizer);
}

// The floor: copying the same payload bytes into a frame buffer that is
// reused (no allocation, no page faults).
void BM_MemcpyPayloads(benchmark::State& state)
{
    std::uint16_t seq = 0;
    std::size_t payloadBytes = 0;
    std::vector<std::vector<Bytes>> frames;
    for (int f = 0; f < 4; ++f)
        frames.push_back(h264Frame(seq, std::uint32_t(f) * 3000, payloadBytes));
    Bytes out;
    out.reserve(kFrameBytes);
    for (auto _ : state) {
        for (const auto& frame : frames) {
            out.clear();
            for (const auto& bytes : frame) {
                const std::size_t at = out.size();
                out.resize(at + bytes.size() - 14);
                std::memcpy(out.data() + at, bytes.data() + 14, bytes.size() - 14);
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(payloadBytes));
}

void BM_RtpParse(benchmark::State& state)
{
    std::uint16_t seq = 0;
    std::size_t payloadBytes = 0;
    const auto packets = h264Frame(seq, 0, payloadBytes);
    for (auto _ : state) {
        for (const auto& bytes : packets) {
            RtpPacket packet;
            benchmark::DoNotOptimize(RtpPacket::parse(ByteSpan(bytes.data(), bytes.size()), packet));
            benchmark::DoNotOptimize(packet.payload.data);
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(packets.size()));
}

} // namespace

BENCHMARK(BM_H264FuA);
BENCHMARK(BM_MemcpyPayloads);
BENCHMARK(BM_Jpeg);
BENCHMARK(BM_RtpParse);
BENCHMARK_MAIN();
