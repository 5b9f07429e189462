#include "DeviceSettings.h"

#include "SettingsRepository.h"
#include "StreamProfile.h"
#include "TopologyParser.h"
#include "VideoStreamPolicy.h"

#include <boost/property_tree/ptree.hpp>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/PropertiesJson.h>
#include <netkit/params/SettingsApply.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

namespace {

const char* const kDewarpProperty = "dewarpMode";
const char* const kDewarpSupportUri = "/axis-cgi/param.cgi?action=list&group=Properties.Image.Dewarp";

} // namespace

DeviceSettings::DeviceSettings(Orix::Utility::ParametersContainer& container,
                               Orix::GDRV::DriverInfoPtr driverInfo, Orix::LoggerPtr logger,
                               const std::string& logPrefix)
    : Orix::LoggerOwner(std::move(logger), logPrefix),
      container_(container),
      driverInfo_(std::move(driverInfo)),
      set_(std::make_shared<Orix::GDRV::PropertySet>())
{
    container_.addPropertySet(set_);
}

DeviceSettings::~DeviceSettings()
{
    cancel();
}

const std::vector<std::string>& DeviceSettings::viewNames()
{
    static const std::vector<std::string> names{
        "Overview",         "Panorama",         "Double Panorama",      "Quad View",
        "View Area 1",      "View Area 2",      "View Area 3",          "View Area 4",
        "Panorama Corner Left", "Panorama Corner Right", "Double Panorama Corner", "Corridor"};
    return names;
}

void DeviceSettings::cancel()
{
    Orix::http::RequestHandlePtr request;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        request.swap(request_);
    }
    if (request)
        request->cancel();
}

void DeviceSettings::acquire(Orix::asio::ConnectionInfoPtr info, boost::asio::io_context& io,
                             AcquireCompletion done)
{
    if (!info) {
        ORIX_LOG(*this, LogError, " Reading device settings failed: no connection to the device");
        done(Orix::NoConnection, {});
        return;
    }
    const std::string uri = kDewarpSupportUri;
    auto handle = Orix::http::asyncGetEx(
        info, uri, io, std::nullopt,
        [this, uri, done](const boost::system::error_code& error, const std::string& body,
                          const Orix::http::HttpResponse& response) {
            {
                std::lock_guard<std::mutex> lock(requestMutex_);
                request_.reset();
            }
            handleDewarpSupport(error, body, response, uri, done);
        });
    std::lock_guard<std::mutex> lock(requestMutex_);
    request_ = std::move(handle);
}

void DeviceSettings::handleDewarpSupport(const boost::system::error_code& error,
                                         const std::string& body,
                                         const Orix::http::HttpResponse& response,
                                         const std::string& uri, const AcquireCompletion& done)
{
    const std::uint32_t check = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri);
    if (check != Orix::Ok) {
        done(check, {});
        return;
    }
    try {
        const auto dewarp = findParameterValue(body, "Properties.Image.Dewarp", *this);
        if (dewarp && *dewarp == "yes" && !container_.getPersistentParam(kDewarpProperty) &&
            set_->count(kDewarpProperty) == 0) {
            (*set_)[kDewarpProperty] =
                Orix::GDRV::PropertyStringEnum{kDewarpProperty, viewNames(), viewNames().front()};
        }
        const std::string text = report();
        ORIX_LOG(*this, LogDebug, " Acquired:\n" << text);
        done(Orix::Ok, text);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Reading device settings failed: " << e.what());
        done(Orix::GenericFailure, {});
    }
}

std::string DeviceSettings::report()
{
    container_.UpdatePropertiesFromCurrent();
    SettingsRepository repository(driverInfo_, *this);
    static const boost::property_tree::ptree noGroups;
    const auto& groups = driverInfo_ ? repository.group("VSPropertiesGroups") : noGroups;
    Json::Value document(Json::objectValue);
    document[Orix::Utility::JSON_SCHEMA_VERSION] = Orix::Utility::JSON_SCHEMA_VERSION_VALUE;
    document[Orix::Utility::JSON_SETTINGS] = Orix::Utility::propertiesToJson(*set_, groups);
    return Orix::Utility::writeSettingsJson(document);
}

std::optional<std::string> DeviceSettings::updateUrl(const Orix::Utility::ParamMap& changed,
                                                     std::uint32_t& error)
{
    error = Orix::Ok;
    const auto it = changed.find(kDewarpProperty);
    if (it == changed.end())
        return std::nullopt;
    const std::string* view = std::get_if<std::string>(&it->second);
    if (view == nullptr) {
        error = Orix::WrongValueType;
        return std::nullopt;
    }
    const auto selected = dewarpSelectedValue(*view);
    if (!selected) {
        error = Orix::InvalidArgument;
        return std::nullopt;
    }
    return "/axis-cgi/param.cgi?action=update&ImageChannelSet.Selected=" + std::to_string(*selected);
}

void DeviceSettings::apply(Orix::asio::ConnectionInfoPtr info, boost::asio::io_context& io,
                           ApplyCompletion done, ViewChanged viewChanged)
{
    Orix::Utility::ParamMap changed;
    if (!container_.popParameters(changed)) {
        done(Orix::Ok);
        return;
    }
    std::uint32_t error = Orix::Ok;
    auto url = updateUrl(changed, error);
    if (error != Orix::Ok) {
        ORIX_LOG(*this, LogError,
                 " ApplySettings refused: '" << Orix::Utility::paramToString(changed[kDewarpProperty])
                                             << "' is not a view of " << kDewarpProperty);
        done(error);
        return;
    }
    // The view is stored once the camera has taken it: a refused view must
    // not become the device's (and its streams') current one.
    Orix::Utility::ParamMap others = changed;
    others.erase(kDewarpProperty);
    container_.updateParams(others);
    if (Orix::Utility::processBlockingConfiguration(container_, changed, *this)) {
        done(Orix::Ok);
        return;
    }
    // Changes kept while configuration was blocked may hold the view.
    url = updateUrl(changed, error);
    if (!url) {
        ORIX_LOG(*this, LogDebug, " ApplySettings nothing changed");
        done(error);
        return;
    }
    if (!info) {
        ORIX_LOG(*this, LogError, " ApplySettings failed: no connection to the device");
        done(Orix::NoConnection);
        return;
    }
    ORIX_LOG(*this, LogDebug,
             " ApplySettings for changed parameters: " << Orix::Utility::settingsToString(changed));
    const std::string view = std::get<std::string>(changed.at(kDewarpProperty));
    const std::string uri = *url;
    auto handle = Orix::http::asyncGetEx(
        info, uri, io, std::nullopt,
        [this, uri, view, done, viewChanged](const boost::system::error_code& e,
                                             const std::string& body,
                                             const Orix::http::HttpResponse& response) {
            {
                std::lock_guard<std::mutex> lock(requestMutex_);
                request_.reset();
            }
            std::uint32_t result = Orix::Utility::checkHttpAnswer(*this, e, body, response, uri);
            if (result == Orix::Ok) {
                const ParamCgiAnswer answer = classifyParamCgiAnswer(body);
                if (!answer.ok) {
                    ORIX_LOG(*this, LogError,
                             " Device refused the view '" << view << "': " << answer.reason
                                                          << ", request: " << uri);
                    result = Orix::InvalidArgument;
                }
            }
            if (result == Orix::Ok) {
                container_.updateParams({{kDewarpProperty, view}});
                if (viewChanged)
                    viewChanged(view);
            }
            done(result);
        });
    std::lock_guard<std::mutex> lock(requestMutex_);
    request_ = std::move(handle);
}

} // namespace Vapixcam
