#include "SecondStreamProfile.h"

#include "DeviceServices.h"
#include "StreamProfile.h"
#include "VideoStreamPolicy.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <netkit/http/ResponseCheck.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;

std::shared_ptr<SecondStreamProfile> SecondStreamProfile::create(DeviceServices& device,
                                                                 std::uint32_t channel,
                                                                 std::uint32_t stream,
                                                                 Orix::LoggerPtr logger,
                                                                 const std::string& logPrefix)
{
    std::shared_ptr<SecondStreamProfile> profile(new SecondStreamProfile(device, channel, stream));
    profile->setLogger(std::move(logger));
    profile->setLogPrefix(logPrefix);
    return profile;
}

SecondStreamProfile::SecondStreamProfile(DeviceServices& device, std::uint32_t channel,
                                         std::uint32_t stream)
    : device_(device), channel_(channel), stream_(stream)
{
}

std::string SecondStreamProfile::parameter(const std::string& key) const
{
    const std::string* value = findProfileParameter(parameters_, key);
    return value ? *value : std::string();
}

void SecondStreamProfile::acquire(const std::string& codec, bool force, Done done)
{
    auto waiting = std::move(waiting_);
    cancel();
    waiting_ = std::move(waiting);
    waiting_.push_back(std::move(done));
    codec_ = codec;
    force_ = force || force_;
    doList(false);
}

void SecondStreamProfile::cancel()
{
    ++acquisition_;
    waiting_.clear();
    force_ = false;
    if (auto request = std::move(request_))
        request->cancel();
    request_.reset();
    state_ = ready_ ? State::Ready : State::Idle;
}

std::string SecondStreamProfile::listUri() const
{
    const auto camera = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    return "/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image.I" +
           std::to_string(camera - 1) + ".Resolution";
}

void SecondStreamProfile::doList(bool afterChange)
{
    state_ = afterChange ? State::Relisting : State::Listing;
    const auto info = device_.connectionInfo();
    if (!info) {
        ORIX_LOG(*this, LogError, " No connection info to get stream profiles");
        std::weak_ptr<SecondStreamProfile> weak = shared_from_this();
        const std::uint64_t acquisition = acquisition_;
        boost::asio::post(device_.ioContext(), [weak, acquisition] {
            if (auto self = weak.lock(); self && acquisition == self->acquisition_)
                self->finish(false);
        });
        return;
    }
    std::weak_ptr<SecondStreamProfile> weak = shared_from_this();
    const std::uint64_t acquisition = acquisition_;
    const std::string uri = listUri();
    request_ = Orix::http::asyncGetEx(
        info, uri, device_.ioContext(), std::nullopt,
        [weak, acquisition, afterChange, uri](const boost::system::error_code& error,
                                              const std::string& body,
                                              const Orix::http::HttpResponse& response) {
            if (auto self = weak.lock())
                self->handleList(acquisition, afterChange, error, body, response, uri);
        });
}

void SecondStreamProfile::handleList(std::uint64_t acquisition, bool afterChange,
                                     const boost::system::error_code& error, const std::string& body,
                                     const Orix::http::HttpResponse& response, const std::string& uri)
{
    if (acquisition != acquisition_)
        return;
    request_.reset();
    if (Orix::Utility::checkHttpAnswer(*this, error, body, response, uri) != 0 || body.empty()) {
        ORIX_LOG(*this, LogError, " Failed to get stream profiles");
        ORIX_LOG(*this, LogError,
                 " Reading parameters is finished. Can not read stream profile properties, camera responds: "
                     << body);
        finish(false);
        return;
    }
    state_ = State::Checking;
    std::weak_ptr<SecondStreamProfile> weak = shared_from_this();
    device_.rateControlMode(channel_, [weak, acquisition, afterChange, body](const std::string& mode) {
        if (auto self = weak.lock(); self && acquisition == self->acquisition_)
            self->handleChecked(afterChange, body, mode);
    });
}

void SecondStreamProfile::handleChecked(bool afterChange, const std::string& answer,
                                        const std::string& rateControl)
{
    const Topology topology = device_.topology();
    StreamProfileInputs inputs;
    inputs.channel = channel_;
    inputs.stream = stream_;
    inputs.cameraNumber = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    inputs.codec = codec_;
    inputs.rateControlMode = rateControl;
    inputs.fallbackResolutions = topology.resolutions;
    inputs.force = force_ && !afterChange;
    const StreamProfileCheck check = checkStreamProfileForChannel(answer, inputs, *this);

    if (!check.action.empty()) {
        if (afterChange) {
            ORIX_LOG(*this, LogError, " Failed to create profile for streaming on a device");
            finish(false);
            return;
        }
        doChange(check);
        return;
    }
    ORIX_LOG(*this, LogDebug, " Profile defined on device='" << check.parametersText << "'");
    if (!findProfileParameter(check.parameters, "resolution"))
        ORIX_LOG(*this, LogError,
                 " Resolution is not defined in device stream profile: " << check.parametersText);
    ORIX_LOG(*this, LogDebug,
             " Using profile '" << check.name << "' defined on device: " << check.parametersText);
    parameters_ = check.parameters;
    ready_ = true;
    finish(true);
}

void SecondStreamProfile::doChange(const StreamProfileCheck& check)
{
    state_ = State::Changing;
    const auto info = device_.connectionInfo();
    if (!info) {
        finish(false);
        return;
    }
    std::weak_ptr<SecondStreamProfile> weak = shared_from_this();
    const std::uint64_t acquisition = acquisition_;
    request_ = Orix::http::asyncGetEx(
        info, check.requestUrl, device_.ioContext(), std::nullopt,
        [weak, acquisition, action = check.action, uri = check.requestUrl](
            const boost::system::error_code& error, const std::string& body,
            const Orix::http::HttpResponse& response) {
            if (auto self = weak.lock())
                self->handleChanged(acquisition, action, error, body, response, uri);
        });
}

void SecondStreamProfile::handleChanged(std::uint64_t acquisition, const std::string& action,
                                        const boost::system::error_code& error, const std::string& body,
                                        const Orix::http::HttpResponse& response, const std::string& uri)
{
    if (acquisition != acquisition_)
        return;
    request_.reset();
    const std::uint32_t code = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri);
    const ParamCgiAnswer answer = classifyParamCgiAnswer(body);
    if (code != 0 || !answer.ok) {
        if (code == 0)
            ORIX_LOG(*this, LogError, " The camera refused the stream profile " << action << ": " << answer.reason);
        if (action == "update")
            ORIX_LOG(*this, LogError, " Can't update stream profile: error " << code);
        ORIX_LOG(*this, LogError, " Failed to create profile for streaming on a device");
        finish(false);
        return;
    }
    ORIX_LOG(*this, LogWarning,
             " Profile for streaming has been " << action << "ed on device, loading it from device");
    doList(true);
}

void SecondStreamProfile::finish(bool ready)
{
    state_ = ready_ ? State::Ready : State::Idle;
    force_ = false;
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (const auto& done : waiting)
        if (done)
            done(ready);
}

} // namespace Vapixcam
