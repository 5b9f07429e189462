#pragma once
// What a channel sees of its device: the facts the connection learnt, the
// endpoints its sessions use, the device's I/O context and logger, and the
// registry through which device-wide changes restart the started streams.
// Channels never name the device class, and the device never names a
// channel class.
//
// Threading: everything may be called from any thread except
// rateControlMode and the stream registry's restart, which run on ioContext().
// The device outlives its channels (the host destroys channels first).
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/DriverInfo.h>
#include <string>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace Vapixcam {

class EventStream;

// What the connection learnt; each field holds its value before the first
// successful read.
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

// A started stream as the device sees it. Called on the device's I/O context.
class RestartableStream {
public:
    virtual ~RestartableStream() = default;
    // A device-wide change (the fisheye view) needs a new session at once.
    virtual void restartSession() = 0;
    // The host set default properties: back to the default transport and
    // codec, or a rewritten second-stream profile, then a new session.
    virtual void resetToDefaults() = 0;
    // How logs name the stream ("vs 0.1").
    virtual std::string name() const = 0;
};

class DeviceServices {
public:
    virtual ~DeviceServices() = default;

    // The camera's HTTP endpoint with credentials; null before a connection.
    virtual Orix::asio::ConnectionInfoPtr connectionInfo() const = 0;
    // The endpoint RTSP sessions use: the HTTP endpoint (overHttp set) when
    // the RTSP port cannot be reached and RTSP is tunnelled over HTTP, else
    // the camera at its RTSP port. Null when there is none.
    virtual Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool& overHttp) = 0;
    virtual Topology topology() const = 0;
    // The fisheye view the device is set to; empty without one.
    virtual std::string dewarpMode() const = 0;
    // "abr" or "cbr" for a channel, asked of the camera with a short
    // time-out; "cbr" when the camera does not tell (not remembered, so the
    // next call asks again). done runs once, on ioContext(), never inline.
    virtual void rateControlMode(std::uint32_t channel,
                                 std::function<void(const std::string& mode)> done) = 0;
    virtual std::string model() const = 0;
    virtual Orix::GDRV::DriverInfoPtr driverInfo() const = 0;

    virtual boost::asio::io_context& ioContext() = 0;
    virtual bool onIoThread() const = 0;
    virtual Orix::LoggerPtr logger() const = 0;

    // Started streams, held weakly: a stream that is gone is skipped.
    virtual void registerWorkingStream(std::weak_ptr<RestartableStream> stream) = 0;
    virtual void unregisterWorkingStream(const RestartableStream* stream) = 0;

    // The device's event stream, created by the first call; only on the I/O
    // thread (elsewhere: logged, null). Null from a device without one.
    virtual std::shared_ptr<EventStream> getNotificationStream() { return nullptr; }
};

// Runs fn on the device's I/O thread and returns when it has run: in place
// when called there (a host call made from one of our callbacks), else
// posted and waited for. Channels end their shared state this way in
// Destroy, so that nothing queued there can call the host afterwards.
void runOnIoThread(DeviceServices& device, const std::function<void()>& fn);

} // namespace Vapixcam
