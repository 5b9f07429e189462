#pragma once
// Builders and readers for RTP tests: one line per packet, captures from
// tests/data/rtp, and a replay loop through the sequence tracker.
#include <netkit/rtp/Depacketizer.h>
#include <netkit/rtp/SequenceTracker.h>

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kTestSsrc = 0x1f2e3d4c;

// A version-2 RTP packet without padding, extension or CSRCs.
Bytes rtp(std::uint16_t sequence, std::uint32_t timestamp, bool marker, const std::string& payload,
          std::uint8_t payloadType = 96);
Bytes rtp(std::uint16_t sequence, std::uint32_t timestamp, bool marker, const Bytes& payload,
          std::uint8_t payloadType = 96);

Bytes toBytes(const std::string& s);
std::string toString(const Bytes& b);
// "00 00 00 01 65 88" — for readable failure messages.
std::string hex(const Bytes& b, std::size_t max = 64);
// Parses "00 00 01 b6" or "000001b6" (spaces optional).
Bytes fromHex(const std::string& text);

std::string readFile(const std::string& path);
// A capture of tests/data/rtp: 2-byte big-endian length, then the datagram.
std::vector<Bytes> readCapture(const std::string& path);
std::string dataPath(const std::string& relative); // under tests/data

struct Replay {
    std::vector<Orix::Utility::Frame> frames;
    std::vector<boost::system::error_code> errors; // one per failed push, in order
};

// Parses each packet, orders it with a SequenceTracker (no reordering
// window), reports gaps with lost() and pushes; then pulls every frame.
Replay replay(Orix::Utility::Depacketizer& depacketizer, const std::vector<Bytes>& packets);

// NAL units of an Annex B stream (start codes of 3 or 4 bytes removed).
std::vector<Bytes> splitAnnexB(const Bytes& stream);

} // namespace TestSupport
