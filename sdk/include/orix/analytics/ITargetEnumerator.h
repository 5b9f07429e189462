#pragma once
// Tracked objects handed to the host: the driver fills a list per metadata
// frame and has the host's factory turn it into an enumerator, which it
// attaches to a periodical event.
#include <cstdint>
#include <orix/IContract.h>
#include <orix/analytics/VisualElements.h>

namespace Orix::Analytics {

// A numeric property of a target ("ColorH", "ColorS", "ColorV").
struct TargetProperty {
    const char* name = "";
    double value = 0.0;
};

struct TargetInfo {
    std::uint64_t id = 0;
    bool hasArea = false;
    NormalizedRect area;
    const TargetProperty* properties = nullptr;
    std::uint32_t propertyCount = 0;
};

class ITargetEnumerator : public IContract {
public:
    // slot 3: the time the targets were seen (host time, ms).
    virtual std::uint64_t GetTimestamp() const = 0;
    // slot 4
    virtual std::uint32_t GetCount() const = 0;
    // slot 5: false past the end. The pointers in out stay valid while the
    // enumerator lives.
    virtual bool GetTarget(std::uint32_t index, TargetInfo& out) const = 0;
    // slot 6: the holder is done with it.
    virtual void Release() = 0;
};

class ITargetEnumeratorFactory : public IContract {
public:
    // slot 3: an enumerator holding copies of the targets, or null. The caller
    // releases it.
    virtual ITargetEnumerator* CreateEnumerator(std::uint64_t timestamp, const TargetInfo* targets,
                                                std::uint32_t count) = 0;
};

} // namespace Orix::Analytics
