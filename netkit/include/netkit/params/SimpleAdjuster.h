#pragma once
// Collects the values a host sets through IAsyncAdjuster::SetValue until the
// next ApplySettings, which the channel implements.
#include <mutex>
#include <netkit/params/ParametersContainer.h>
#include <orix/Handlers.h>

namespace Orix::Utility {

class SimpleAdjuster : public IAsyncAdjuster {
public:
    // Each answers 0, or 6 (invalid argument) for a null name or value.
    std::uint32_t SetValue(const char* name, const char* value) override;
    std::uint32_t SetValue(const char* name, double value) override;
    std::uint32_t SetValue(const char* name, int value) override;
    std::uint32_t SetValue(const char* name, bool value) override;

    // The values collected since the last call.
    ParamMap takeCollected();

private:
    std::uint32_t collect(const char* name, ParamValue value);

    std::mutex mutex_;
    ParamMap collected_;
};

} // namespace Orix::Utility
