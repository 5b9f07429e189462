#pragma once
// The camera's physical IO ports as a host IO channel: input ports are rays,
// output ports relays. While started, each session learns the port
// directions (once), reads every port's state with port.cgi?check=, then
// keeps two port.cgi?monitor= multipart streams open, one per direction, and
// reports every change. A monitor that ends or stalls ends the session; the
// stream source reopens it after a back-off that starts again once parts
// arrive, and the check of the new session reports only what changed.
//
// Relays are set with port.cgi?action=N:/ (active) or N:\ (inactive); the
// new state reaches the host through the output monitor, not the command.
//
// Threading: sessions, monitor callbacks, relay commands and host callbacks
// run on the source's own worker; the port table is guarded by a lock.
#include "DeviceServices.h"
#include "IoPortTable.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Channels.h>
#include <templates/StreamSource.h>
#include <vector>

namespace Vapixcam {

class NoSettingsAdjuster;

class IODeviceConfigurable final
    : public Orix::LoggerOwner,
      public Orix::Utility::StreamSource<Orix::GDRV::IIODevice, IODeviceConfigurable, DeviceServices> {
    using Base = Orix::Utility::StreamSource<Orix::GDRV::IIODevice, IODeviceConfigurable, DeviceServices>;
    friend Base;
    friend Orix::Utility::AsyncSource<Orix::GDRV::IIODevice, IODeviceConfigurable, DeviceServices>;

public:
    IODeviceConfigurable(Orix::GDRV::IIODeviceHandler* handler, std::uint32_t index, DeviceServices& device);
    ~IODeviceConfigurable() override;

    // IContract
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    // IIODevice (Destroy, Start and Stop are the stream source's)
    Orix::IAsyncAdjuster* GetAdjuster() override;
    void SetRelayStatus(Orix::IAsyncActionHandler* handler, std::uint32_t relay, bool active) override;

    // Monitor parts and check answers: reports what changed (on the worker;
    // public for tests that feed camera answers).
    void parseAlarmStatusAndReport(const std::string& body);
    void parseMonitorPartAndReport(const std::string& text, PortDirection direction);

private:
    class MonitorSession;
    struct MonitorReader;

    // Stream source hooks, on the worker.
    Base::Session initializeStream(const Base::SessionEnded& ended);
    void stopStream();

    bool updatePortDirections(); // under lock_
    void runStateCheck(const Orix::asio::ConnectionInfoPtr& info);
    void report(const std::vector<IoPortTable::Report>& reports);
    void reportStatus(PortDirection direction, std::uint32_t number, bool active);

    void doSetRelayStatus(const Orix::Utility::AsyncActionCompletionPtr& completion, std::uint32_t relay,
                          bool active);
    void relayStatusHandle(const Orix::Utility::AsyncActionCompletionPtr& completion,
                           const boost::system::error_code& error, const Orix::http::HttpResponse& response);

    const std::uint32_t index_;
    std::unique_ptr<NoSettingsAdjuster> settings_;

    std::mutex lock_;
    IoPortTable ports_;

    // Relay commands in flight, answered with Cancelled by Stop.
    std::mutex pendingMutex_;
    std::vector<std::pair<Orix::Utility::AsyncActionCompletionPtr, Orix::http::RequestHandlePtr>> pending_;
};

} // namespace Vapixcam
