#pragma once
// A detector: a video-analytics channel that turns one kind of camera event
// into host events. The device creates it for a detector id and a channel
// (IDevice::CreateVideoAnalytics) with the host's handler; the host queries it
// for IVisualAsyncAdjuster and IDynamicParametersProvider, starts and stops
// it, and destroys it with Destroy.
#include <cstdint>
#include <orix/IContract.h>

namespace Orix::Analytics {

// What a detector tells the host about its life. Calls may come from any
// driver thread; sender is the detector's IVideoAnalytics.
class IVideoAnalyticsHandler : public IContract {
public:
    // slot 3: Start or Stop failed, or the camera does not produce the event.
    virtual void Failed(const IContract* sender, std::uint32_t result) = 0;
    // slot 4: the detector runs: the camera confirmed the event.
    virtual void Started(const IContract* sender) = 0;
    // slot 5: the detector left the device's event stream after Stop.
    virtual void Stopped(const IContract* sender) = 0;
    // slot 6: the device's event stream failed; events may be missing until
    // it is back (the driver retries on its own).
    virtual void StreamError(const IContract* sender, std::uint32_t result) = 0;
};

class IDetector : public IContract {
public:
    // slot 3: returns when nothing of the detector can call the host any more.
    virtual void Destroy() = 0;
};

class IVideoAnalytics : public IDetector {
public:
    // slot 4: answers through the handler (Started or Failed); a second
    // Start gets Failed(3).
    virtual void Start() = 0;
    // slot 5: answers through the handler (Stopped or Failed); Stop while
    // stopped gets Failed(3).
    virtual void Stop() = 0;
};

} // namespace Orix::Analytics

namespace Orix::GDRV {
using IVideoAnalytics = Analytics::IVideoAnalytics;
using IVideoAnalyticsHandler = Analytics::IVideoAnalyticsHandler;
} // namespace Orix::GDRV
