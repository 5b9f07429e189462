#pragma once
// One Axis camera: connects through the connection policy, reads the
// camera's identity and topology with one param.cgi request, decides how RTSP
// sessions reach the camera, and hands these facts to the channels it creates.
#include "DeviceServices.h"
#include "DeviceSettings.h"
#include "DeviceTraits.h"
#include "StorageDevice.h"

#include <templates/Device.h>
#include <map>
#include <memory>
#include <mutex>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/http/HttpClient.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/params/SimpleAdjuster.h>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/IDeviceInfo.h>
#include <string>
#include <vector>

namespace Vapixcam {

// Applies a param.cgi list answer to the topology, logging as the device
// does; returns nothing, the RTSP port rules included.
void applyTopologyAnswer(const std::string& body, Topology& topology,
                         const Orix::LoggerOwner& logger);

class Device final
    : public Orix::Utility::Device<DeviceTraits, Orix::Utility::AsyncConnectionPolicyBase>,
      public Orix::Utility::SimpleAdjuster,
      public Orix::IDynamicParametersProvider,
      public Orix::IDefaultPropertiesSetter,
      public Orix::GDRV::IDeviceInfo,
      public StorageDevice,
      public DeviceServices {
    using Base = Orix::Utility::Device<DeviceTraits, Orix::Utility::AsyncConnectionPolicyBase>;

public:
    Device(Orix::GDRV::IDeviceHandler* handler, const Orix::GDRV::DeviceDescription& description,
           std::string model, std::string firmware, Orix::GDRV::DriverInfoPtr driverInfo,
           Orix::LoggerPtr logger);
    ~Device() override;

    // IContract
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    // IDevice2
    Orix::Analytics::IVideoAnalytics* CreateVideoAnalytics(
        Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
        const char* detectorId) override;
    Orix::Analytics::IVideoAnalytics* CreateVideoAnalyticsEx(
        Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
        const char* detectorId) override;

    // IDeviceInfo
    void DescribeDevice(Orix::IDynamicParametersHandler* handler) override;

    // Device settings: the fisheye view "dewarpMode".
    void AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler) override;
    void ApplySettings(Orix::IAsyncActionHandler* handler) override;

    // Writes the default stream settings to every channel and answers with
    // the device description.
    void SetDefaultProperties(Orix::IDynamicParametersHandler* handler) override;

    // DeviceServices, for channels.
    Orix::asio::ConnectionInfoPtr connectionInfo() const override { return getConnectionInfo(); }
    Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool& overHttp) override;
    Topology topology() const override;
    std::string dewarpMode() const override;
    void rateControlMode(std::uint32_t channel,
                         std::function<void(const std::string& mode)> done) override;
    std::string model() const override { return model_; }
    Orix::GDRV::DriverInfoPtr driverInfo() const override { return driverInfo_; }
    boost::asio::io_context& ioContext() override { return service(); }
    bool onIoThread() const override { return isCalledFromConnectionThread(); }
    Orix::LoggerPtr logger() const override { return getLogger(); }
    void registerWorkingStream(std::weak_ptr<RestartableStream> stream) override;
    void unregisterWorkingStream(const RestartableStream* stream) override;
    std::shared_ptr<EventStream> getNotificationStream() override;

    std::string maxResolution() const;
    std::int32_t inputCount() const;
    std::int32_t outputCount() const;
    const std::string& firmware() const { return firmware_; }

protected:
    void tryConnect(const std::string& connectionString) override;
    void onDisconnected() override;

private:
    void handleTopology(unsigned attempt, const boost::system::error_code& error,
                        const std::string& body, const Orix::http::HttpResponse& response);
    void checkRtspReachability(unsigned attempt);

    std::string model_;
    std::string firmware_;
    Orix::GDRV::DriverInfoPtr driverInfo_;

    mutable std::mutex topologyMutex_;
    Topology topology_;
    Orix::http::RequestHandlePtr pendingRequest_;

    // Restarts the started streams, on the I/O context.
    void restartWorkingStreams();
    // Resets the started streams to their defaults, on the I/O context.
    void resetWorkingStreams(const std::string& title);
    std::vector<std::shared_ptr<RestartableStream>> workingStreams() const;

    // Asynchronous work that must not outlive the device holds a weak copy.
    std::shared_ptr<Device*> lifetime_ = std::make_shared<Device*>(this);

    // Created by the first detector that asks, on the I/O thread; shut down
    // there before the device goes.
    std::shared_ptr<EventStream> eventStream_;

    mutable std::mutex streamsMutex_;
    std::vector<std::weak_ptr<RestartableStream>> workingStreams_;
    Orix::Utility::ParametersContainer parameters_;
    DeviceSettings deviceSettings_;

    // Answers the camera gave, per channel; failures are not kept.
    std::mutex rateControlMutex_;
    std::map<std::uint32_t, std::string> rateControlModes_;
};

} // namespace Vapixcam
