#pragma once
// Channel interfaces created by a device, and the host handlers they call.
// Each channel is destroyed by the host through its Destroy operation.
#include <cstdint>
#include <orix/IContract.h>

namespace Orix::GDRV {

class IVideoSourceHandler : public IContract {};
class IAudioSourceHandler : public IContract {};
class IAudioDestinationHandler : public IContract {};
class IIODeviceHandler : public IContract {};

class IVideoSource : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

class IAudioSource : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

class IAudioDestination : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

class IIODevice : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

class ITelemetryChannel : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

class IStorageDevice : public IContract {};

} // namespace Orix::GDRV
