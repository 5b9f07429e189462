#pragma once
// One Axis camera: connects through the connection policy, reads the
// camera's identity and topology with one param.cgi request, decides how RTSP
// sessions reach the camera, and hands these facts to the channels it creates.
#include "DeviceSettings.h"
#include "DeviceTraits.h"

#include <templates/Device.h>
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

class VideoSource;

// What the connection learnt; the brackets of each field are its value
// before the first successful read.
struct Topology {
    std::string product;
    std::string firmware;
    std::string modelKey;                              // product + "#" + major firmware
    std::uint16_t rtspPort = Orix::http::DEFAULT_RTSP_PORT;
    bool rtspOverHttp = false;
    std::vector<std::string> videoCodecs{"H264"};
    std::vector<std::string> audioCodecs;
    std::vector<std::string> resolutions;
    std::int32_t videoChannels = 1;
    std::int32_t audioSources = 1;
    std::int32_t inputs = 0;
    std::int32_t outputs = 0;
    bool virtualInputs = false;
    bool opticsSetup = false;
    bool ptzControlQueue = false;
};

// Applies a param.cgi list answer to the topology, logging as the device
// does; returns nothing, the RTSP port rules included.
void applyTopologyAnswer(const std::string& body, Topology& topology,
                         const Orix::LoggerOwner& logger);

class Device final
    : public Orix::Utility::Device<DeviceTraits, Orix::Utility::AsyncConnectionPolicyBase>,
      public Orix::Utility::SimpleAdjuster,
      public Orix::IDynamicParametersProvider,
      public Orix::GDRV::IDeviceInfo {
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

    // Services for channels.
    // The connection info RTSP sessions use: the HTTP endpoint when RTSP is
    // tunnelled over HTTP (rtspOverHttp is set), else the camera at the RTSP port.
    Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool& rtspOverHttp);
    Topology topology() const;
    std::string maxResolution() const;
    // "abr" or "cbr"; asks the camera once per channel (blocks the caller).
    std::string rateControlMode(std::uint32_t channel);

    // The fisheye view the device is set to; empty without one.
    std::string dewarpMode() const;
    // Video sources that are started, so that device-wide changes reach them.
    void registerWorkingStream(VideoSource* source);
    void unregisterWorkingStream(VideoSource* source);
    std::vector<VideoSource*> workingStreams() const;

    std::int32_t inputCount() const;
    std::int32_t outputCount() const;
    const std::string& model() const { return model_; }
    const std::string& firmware() const { return firmware_; }
    const Orix::GDRV::DriverInfoPtr& driverInfo() const { return driverInfo_; }

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

    mutable std::mutex streamsMutex_;
    std::vector<VideoSource*> workingStreams_;
    Orix::Utility::ParametersContainer parameters_;
    DeviceSettings deviceSettings_;

    std::mutex rateControlMutex_;
    std::vector<std::string> rateControlCache_;
};

} // namespace Vapixcam
