#pragma once
// What a connected device learnt about its camera, for tools that show it.
// Answered by the device through QueryContract.
#include <orix/Handlers.h>

namespace Orix::GDRV {

class IDeviceInfo : public IContract {
public:
    // slot 3: answers at once through handler->Completed with one JSON object:
    // connected, product, firmware, modelKey, videoCodecs, audioCodecs,
    // resolutions, videoChannels, audioSources, inputs, outputs,
    // virtualInputs, rtspPort, rtspOverHttp, opticsSetup, ptzControlQueue.
    virtual void DescribeDevice(IDynamicParametersHandler* handler) = 0;
};

} // namespace Orix::GDRV
