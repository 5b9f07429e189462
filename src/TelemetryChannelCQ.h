#pragma once
// The PTZ channel of a camera with a PTZ control queue: the commands of
// TelemetryChannel sent through a QueryManager (control requested at first
// use, the control cookie on every request, control given back on Destroy),
// and the queue settings (enableQueue, queueLimit, queuePollTime) offered to
// the host as dynamic parameters.
//
// Acquisition and application run on the device's I/O context; their
// completions hold a weak handle on the channel's settings state, so a
// channel destroyed meanwhile is never touched.
#include "PtzQueueSettings.h"
#include "QueryManager.h"
#include "TelemetryChannel.h"

#include <memory>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/SimpleAdjuster.h>
#include <orix/Handlers.h>

namespace Vapixcam {

class TelemetryChannelCQ final : public TelemetryChannel,
                                 public Orix::IDynamicParametersProvider,
                                 public Orix::Utility::SimpleAdjuster {
public:
    TelemetryChannelCQ(std::uint32_t channel, DeviceServices& device,
                       std::chrono::milliseconds waitLimit = QueryManager::kWaitLimit);
    ~TelemetryChannelCQ() override;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    std::uint32_t sendRequest(const std::string& path) override;
    std::uint32_t sendRequestAndGetResponse(const std::string& path, std::string& body) override;

    // IDynamicParametersProvider
    void AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler) override;
    // IAsyncAdjuster (the SetValue forms are SimpleAdjuster's)
    void ApplySettings(Orix::IAsyncActionHandler* handler) override;

    const std::shared_ptr<QueryManager>& queryManager() const { return queryManager_; }

private:
    struct SettingsState;
    void doAcquireDynamicParameters(Orix::Utility::DynamicParametersCompletionPtr completion);
    void doApplySettings(Orix::Utility::ParamMap changes, Orix::Utility::AsyncActionCompletionPtr completion);

    std::shared_ptr<QueryManager> queryManager_;
    std::shared_ptr<SettingsState> settings_;
};

} // namespace Vapixcam
