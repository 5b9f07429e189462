#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Fuzz {

void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant violated: %s\n", file, line, condition);
    std::abort();
}

std::uint8_t Input::byte()
{
    return empty() ? 0 : static_cast<std::uint8_t>(data_[pos_++]);
}

std::string_view Input::take(std::size_t n)
{
    n = std::min(n, remaining());
    std::string_view out(data_ + pos_, n);
    pos_ += n;
    return out;
}

std::string_view Input::record(bool* marked)
{
    std::size_t length = static_cast<std::size_t>(byte()) << 8;
    length |= byte();
    if (marked) {
        *marked = (length & 0x8000) != 0;
        length &= 0x7fff;
    }
    return take(length);
}

std::string_view Input::field()
{
    const char* begin = data_ + pos_;
    const void* zero = std::memchr(begin, 0, remaining());
    if (!zero)
        return rest();
    std::string_view out(begin, static_cast<std::size_t>(static_cast<const char*>(zero) - begin));
    pos_ += out.size() + 1;
    return out;
}

namespace {

class SinkLogger final : public Orix::ILogger {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    unsigned GetLogLevel() const override { return 0; }
    void Log(int, const char*, int, const char*, const char* message) override { consume(message); }
    void Log(int, const char* text) override { consume(text); }

private:
    static void consume(const char* text)
    {
        // Touch the whole text so a bad pointer or a missing terminator shows.
        volatile std::size_t length = std::strlen(text);
        (void)length;
    }
};

} // namespace

const Orix::LoggerOwner& sinkLogger()
{
    static const Orix::LoggerOwner owner(std::make_shared<SinkLogger>());
    return owner;
}

std::string repositoryPath()
{
    return VAPIXCAM_SOURCE_DIR "/data/Velto.Vapixcam.rep";
}

} // namespace Fuzz
