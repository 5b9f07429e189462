#include <netkit/rtp/TimestampGenerator.h>

namespace Orix::Utility {

std::uint64_t rtpTime2VeltoTime(std::uint64_t ticks, std::uint32_t clockRate)
{
    if (clockRate == 0)
        return 0;
    return ticks / clockRate * 1000 + ticks % clockRate * 1000 / clockRate;
}

std::uint64_t PreciseTimestampGenerator::operator()(std::uint32_t t)
{
    if (!started_) {
        started_ = true;
        last_ = t;
    }
    const auto delta = static_cast<std::int32_t>(t - last_);
    if (delta > 0) {
        ticks_ += static_cast<std::uint32_t>(delta);
        last_ = t;
    }
    return startTime_ + rtpTime2VeltoTime(ticks_, clockRate_);
}

} // namespace Orix::Utility
