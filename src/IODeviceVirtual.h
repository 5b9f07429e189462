#pragma once
// The camera's virtual inputs as relays of a host IO channel: relay r set
// active activates virtual input r + 1 (virtualinput/activate.cgi), set
// inactive deactivates it. No stream: one request per command, answered
// with 0, the translated transport or HTTP error, or 2048 when the camera
// answers with an error element.
//
// Commands run on the device's I/O context; their state lives in a shared
// core that completions reach through weak handles. Stop and Destroy answer
// the commands still in flight with Cancelled; Destroy returns once nothing
// queued on the I/O context can reach the host any more.
#include "DeviceServices.h"

#include <cstdint>
#include <memory>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Channels.h>

namespace Vapixcam {

class NoSettingsAdjuster;

// What the host hears when the camera refuses a virtual-input command.
inline constexpr std::uint32_t kVirtualInputRefused = 2048;

class IODeviceVirtual final : public Orix::GDRV::IIODevice, public Orix::LoggerOwner {
public:
    IODeviceVirtual(Orix::GDRV::IIODeviceHandler* handler, std::uint32_t index, DeviceServices& device);
    ~IODeviceVirtual() override;

    // IContract
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    // IIODevice
    void Destroy() override;
    Orix::IAsyncAdjuster* GetAdjuster() override;
    void Start(Orix::GDRV::IIODeviceHandler* handler) override;
    void Stop() override;
    void SetRelayStatus(Orix::IAsyncActionHandler* handler, std::uint32_t relay, bool active) override;

private:
    class Core;

    DeviceServices& device_;
    Orix::Utility::HandlerHolder<Orix::GDRV::IIODeviceHandler> holder_;
    std::shared_ptr<Core> core_;
    std::unique_ptr<NoSettingsAdjuster> settings_;
};

} // namespace Vapixcam
