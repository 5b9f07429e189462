#pragma once
// SetDefaultProperties of the device: writes the driver's default stream
// settings to every video channel of the camera and answers with the
// camera's device description.
//
// Order on the wire, one multi-request: first the stream profile list, then
// one main-stream update per channel; when the list arrives, one
// second-stream profile request per channel joins the running requests. The
// host hears after every request has answered: Failed with the first failing
// request's code, or, after the running streams were reset to their
// defaults, Completed with the description (Failed 768 when that cannot be
// built).
//
// Threading: everything after start runs on the device's I/O context. The
// run reaches the device only through the functions in its context, which
// hold a weak handle on the device.
#include "DeviceServices.h"
#include "StreamProfile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/http/AsyncMultiRequest.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/util/Logging.h>
#include <string>
#include <vector>

namespace Vapixcam {

// VAPIX path (channel instance "I%") -> value written on every main stream.
using DefaultStreamProperties = std::vector<std::pair<std::string, std::string>>;
const DefaultStreamProperties& defaultMainStreamProperties();

// "/axis-cgi/operator/param.cgi?action=update&Image.I<channel>.<...>=<value>..."
// for every default property that is a video parameter.
std::string defaultMainStreamUrl(std::uint32_t channel, const DefaultStreamProperties& defaults,
                                 const Orix::LoggerOwner& logger);

// The request that rewrites (or creates) the channel's second-stream profile
// with the default parameters, from the profile list answer; an empty
// requestUrl when none can be made.
StreamProfileCheck defaultSecondStreamRequest(std::uint32_t channel, const std::string& profileList,
                                              const Topology& topology, const std::string& rateControlMode,
                                              const Orix::LoggerOwner& logger);

inline constexpr const char* kDefaultsProfileListUri =
    "/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image.Resolution";

struct DefaultPropertiesContext {
    Orix::asio::ConnectionInfoPtr info;
    boost::asio::io_context* io = nullptr;
    Topology topology;
    const Orix::IContract* source = nullptr; // the device, as the handler sees it
    // Each runs on io; each does nothing once the device is gone.
    std::function<void(std::uint32_t channel, std::function<void(const std::string& mode)> done)> rateControlMode;
    std::function<void(const std::string& title)> resetWorkingStreams;
    // The device description; throws when it cannot be built. Blocks.
    std::function<std::string()> describe;
};

class DefaultPropertiesRun final : public std::enable_shared_from_this<DefaultPropertiesRun>,
                                   public Orix::LoggerOwner {
public:
    static void start(DefaultPropertiesContext context,
                      Orix::Utility::DynamicParametersCompletionPtr completion, Orix::LoggerPtr logger);

private:
    DefaultPropertiesRun(DefaultPropertiesContext context,
                         Orix::Utility::DynamicParametersCompletionPtr completion, Orix::LoggerPtr logger);
    void doRateControlModes(std::uint32_t channel);
    void doRequests();
    void handleProfileList(const boost::system::error_code& error, const std::string& body,
                           const Orix::http::HttpResponse& response);
    void handleFinished(std::uint32_t result);

    DefaultPropertiesContext context_;
    Orix::Utility::DynamicParametersCompletionPtr completion_;
    std::vector<std::string> rateControlModes_;
    std::shared_ptr<Orix::Utility::AsyncMultiRequest> requests_;
};

} // namespace Vapixcam
