#pragma once
// What the fuzz targets share: an invariant check that aborts (libFuzzer then
// keeps the input as a crash reproducer), a reader that cuts one fuzz input
// into the fields a target needs, and a logger that builds every message and
// throws it away (so the log formatting of hostile input runs too).
#include <cstddef>
#include <cstdint>
#include <netkit/util/Logging.h>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition))                                                                     \
            ::Fuzz::fail(#condition, __FILE__, __LINE__);                                     \
    } while (false)

namespace Fuzz {

[[noreturn]] void fail(const char* condition, const char* file, int line);

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : data_(reinterpret_cast<const char*>(data)), size_(size)
    {
    }

    bool empty() const { return pos_ >= size_; }
    std::size_t remaining() const { return size_ - pos_; }
    // 0 once the input is used up.
    std::uint8_t byte();
    bool flag() { return byte() & 1; }
    // Up to n bytes.
    std::string_view take(std::size_t n);
    // A record: a 2-byte big-endian length, then that many bytes (fewer at
    // the end of the input). The length's top bit is returned in `marked`
    // when asked for; the length is then the lower 15 bits.
    std::string_view record(bool* marked = nullptr);
    // Up to the next '\0' (dropped), or the rest.
    std::string_view field();
    std::string_view rest() { return take(remaining()); }

private:
    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A logger owner whose logger admits every level and discards the text.
const Orix::LoggerOwner& sinkLogger();

// The repository file shipped with the module, read once.
std::string repositoryPath();

} // namespace Fuzz
