#include <netkit/params/SimpleAdjuster.h>

#include <orix/ErrorCodes.h>

namespace Orix::Utility {

std::uint32_t SimpleAdjuster::collect(const char* name, ParamValue value)
{
    if (name == nullptr || *name == '\0')
        return InvalidArgument;
    std::lock_guard<std::mutex> lock(mutex_);
    collected_[name] = std::move(value);
    return Ok;
}

std::uint32_t SimpleAdjuster::SetValue(const char* name, const char* value)
{
    if (value == nullptr)
        return InvalidArgument;
    return collect(name, std::string(value));
}

std::uint32_t SimpleAdjuster::SetValue(const char* name, double value)
{
    return collect(name, value);
}

std::uint32_t SimpleAdjuster::SetValue(const char* name, int value)
{
    return collect(name, value);
}

std::uint32_t SimpleAdjuster::SetValue(const char* name, bool value)
{
    return collect(name, value);
}

ParamMap SimpleAdjuster::takeCollected()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ParamMap values;
    values.swap(collected_);
    return values;
}

} // namespace Orix::Utility
