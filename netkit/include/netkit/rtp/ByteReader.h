#pragma once
// Bounds-checked big-endian reading of network bytes.
#include <cstddef>
#include <cstdint>

namespace Orix::Utility {

// A non-owning view of bytes (C++17 has no std::span).
struct ByteSpan {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    ByteSpan() = default;
    ByteSpan(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}
    bool empty() const { return size == 0; }
    const std::uint8_t* begin() const { return data; }
    const std::uint8_t* end() const { return data + size; }
    std::uint8_t operator[](std::size_t i) const { return data[i]; }
    ByteSpan sub(std::size_t offset, std::size_t count) const { return {data + offset, count}; }
};

// Reads fields front to back. Every read checks the remaining length first and
// returns false without moving when it is too short, so a caller can chain reads
// and test once.
class ByteReader {
public:
    explicit ByteReader(ByteSpan bytes) : bytes_(bytes) {}
    ByteReader(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    std::size_t remaining() const { return bytes_.size - pos_; }
    std::size_t position() const { return pos_; }

    bool u8(std::uint8_t& out)
    {
        if (remaining() < 1)
            return false;
        out = bytes_.data[pos_++];
        return true;
    }
    bool u16(std::uint16_t& out)
    {
        if (remaining() < 2)
            return false;
        out = static_cast<std::uint16_t>(bytes_.data[pos_] << 8 | bytes_.data[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool u24(std::uint32_t& out)
    {
        if (remaining() < 3)
            return false;
        out = std::uint32_t(bytes_.data[pos_]) << 16 | std::uint32_t(bytes_.data[pos_ + 1]) << 8 |
              bytes_.data[pos_ + 2];
        pos_ += 3;
        return true;
    }
    bool u32(std::uint32_t& out)
    {
        if (remaining() < 4)
            return false;
        out = std::uint32_t(bytes_.data[pos_]) << 24 | std::uint32_t(bytes_.data[pos_ + 1]) << 16 |
              std::uint32_t(bytes_.data[pos_ + 2]) << 8 | bytes_.data[pos_ + 3];
        pos_ += 4;
        return true;
    }
    bool skip(std::size_t count)
    {
        if (remaining() < count)
            return false;
        pos_ += count;
        return true;
    }
    bool bytes(std::size_t count, ByteSpan& out)
    {
        if (remaining() < count)
            return false;
        out = bytes_.sub(pos_, count);
        pos_ += count;
        return true;
    }
    ByteSpan rest() const { return bytes_.sub(pos_, remaining()); }

private:
    ByteSpan bytes_;
    std::size_t pos_ = 0;
};

} // namespace Orix::Utility
