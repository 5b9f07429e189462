#include "VideoSettingsReader.h"

#include "CurrentSettings.h"
#include "SettingsRepository.h"
#include "VideoParameterTable.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/PropertiesJson.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogNotice;

namespace {

// A definitions answer for one channel is some tens of kilobytes.
constexpr std::size_t kMaxDefinitionsBytes = 4 * 1024 * 1024;

} // namespace

const std::vector<std::string>& VideoSettingsReader::transportProtocols()
{
    static const std::vector<std::string> protocols{"tcp", "udp", "multicast", "rtspoverhttp"};
    return protocols;
}

std::shared_ptr<VideoSettingsReader> VideoSettingsReader::create(boost::asio::io_context& io,
                                                                 VideoSettingsReaderInputs inputs,
                                                                 Orix::LoggerPtr logger,
                                                                 const std::string& logPrefix)
{
    return std::shared_ptr<VideoSettingsReader>(
        new VideoSettingsReader(io, std::move(inputs), std::move(logger), logPrefix));
}

VideoSettingsReader::VideoSettingsReader(boost::asio::io_context& io,
                                         VideoSettingsReaderInputs inputs, Orix::LoggerPtr logger,
                                         const std::string& logPrefix)
    : Orix::LoggerOwner(std::move(logger), logPrefix), io_(io), inputs_(std::move(inputs))
{
}

void VideoSettingsReader::start(Completion done)
{
    done_ = std::move(done);
    auto self = shared_from_this();
    boost::asio::post(io_, [self] {
        if (self->cancelled_) {
            self->finish(Orix::Cancelled, {});
            return;
        }
        if (!self->inputs_.info || self->inputs_.values == nullptr) {
            ORIX_LOG(*self, LogError, " Reading parameters is finished. No connection to the device");
            self->finish(Orix::NoConnection, {});
            return;
        }
        try {
            SettingsRepository repository(self->inputs_.driverInfo, *self);
            self->acquired_.ignored = self->inputs_.ignored
                                          ? *self->inputs_.ignored
                                          : repository.ignoreList(self->inputs_.model);
            self->acquired_.ignoreOsdForProfiles =
                self->acquired_.ignored.count(kIgnoreOsdForProfiles) != 0;

            auto& streaming = self->acquired_.properties.streaming;
            streaming["transportProtocol"] = Orix::GDRV::PropertyStringEnum{
                "transportProtocol", transportProtocols(),
                self->inputs_.values->getString("transportProtocol", "tcp")};
            streaming["codec"] =
                Orix::GDRV::PropertyStringEnum{"codec", self->inputs_.codecs, self->inputs_.codec};
            self->buildSteps();
        } catch (const std::exception& e) {
            ORIX_LOG(*self, LogError, " Reading parameters is finished. Unexpected exception: " << e.what());
            self->finish(Orix::GenericFailure, {});
            return;
        }
        self->doNextStep();
    });
}

void VideoSettingsReader::cancel()
{
    cancelled_ = true;
    Orix::http::RequestHandlePtr request;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        request = request_;
    }
    if (request)
        request->cancel();
}

void VideoSettingsReader::buildSteps()
{
    const std::string n = "I" + std::to_string(inputs_.instanceIndex);
    auto self = this;
    if (inputs_.stream == 1) {
        const std::string uri =
            "/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image." + n + ".Resolution";
        steps_.push_back({"GET", uri, {}, [self, uri](const auto& e, const auto& b, const auto& r) {
                              return self->handleProfile(e, b, r, uri);
                          }});
    }
    const std::string sourceUri =
        "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=ImageSource." + n +
        ",PTZ.ImageSource." + n;
    steps_.push_back({"GET", sourceUri, {}, [self, sourceUri](const auto& e, const auto& b, const auto& r) {
                          return self->handleDefinitions(e, b, r, sourceUri);
                      }});
    const std::string imageUri =
        "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=Image." + n;
    steps_.push_back({"GET", imageUri, {}, [self, imageUri](const auto& e, const auto& b, const auto& r) {
                          return self->handleDefinitions(e, b, r, imageUri);
                      }});
    steps_.push_back({"POST", kLightControlUri, LightControl::body("getLightInformation", {}),
                      [self](const auto& e, const auto& b, const auto& r) {
                          return self->handleLights(e, b, r);
                      }});
}

void VideoSettingsReader::doNextStep()
{
    if (cancelled_) {
        finish(Orix::Cancelled, {});
        return;
    }
    while (next_ < steps_.size() && steps_[next_].method != "GET" && steps_[next_].method != "POST") {
        ORIX_LOG(*this, LogError, " Unknown HTTP method");
        ++next_;
    }
    if (next_ >= steps_.size()) {
        handleDynamicParameters();
        return;
    }
    const Step& step = steps_[next_];
    auto self = shared_from_this();
    auto completion = [self](const boost::system::error_code& error, const std::string& body,
                             const Orix::http::HttpResponse& response) {
        self->handleStep(error, body, response);
    };
    Orix::http::RequestHandlePtr handle;
    if (step.method == "GET") {
        Orix::http::HttpRequest request;
        request.target = step.uri;
        request.maxResponseBytes = kMaxDefinitionsBytes;
        handle = Orix::http::asyncGetEx(inputs_.info, std::move(request), io_, std::nullopt,
                                        std::move(completion));
    } else {
        handle = Orix::http::asyncPostEx(inputs_.info, step.uri, step.body, io_, std::nullopt,
                                         std::move(completion), Orix::http::jsonHeaders());
    }
    std::lock_guard<std::mutex> lock(requestMutex_);
    request_ = std::move(handle);
}

void VideoSettingsReader::handleStep(const boost::system::error_code& error, const std::string& body,
                                     const Orix::http::HttpResponse& response)
{
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        request_.reset();
    }
    if (cancelled_) {
        finish(Orix::Cancelled, {});
        return;
    }
    std::uint32_t result = Orix::Ok;
    try {
        result = steps_[next_].handle(error, body, response);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Reading parameters is finished. Unexpected exception: " << e.what());
        result = Orix::GenericFailure;
    }
    if (result != Orix::Ok) {
        finish(result, {});
        return;
    }
    ++next_;
    doNextStep();
}

std::uint32_t VideoSettingsReader::handleProfile(const boost::system::error_code& error,
                                                 const std::string& body,
                                                 const Orix::http::HttpResponse& response,
                                                 const std::string& uri)
{
    const std::uint32_t check = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri);
    if (check != Orix::Ok)
        return check;
    StreamProfileInputs profileInputs;
    profileInputs.channel = inputs_.channel;
    profileInputs.stream = inputs_.stream;
    profileInputs.cameraNumber = inputs_.cameraNumber;
    profileInputs.codec = inputs_.codec;
    const StreamProfileCheck profile = checkStreamProfileForChannel(body, profileInputs, *this);
    if (!profile.exists) {
        ORIX_LOG(*this, Orix::LogWarning,
                 " Stream profile '" << profile.name
                                     << "' is not on the device; stream settings are read from the channel");
        return Orix::Ok;
    }
    acquired_.profileIndex = profile.index;
    acquired_.profile = profile.parameters;
    return Orix::Ok;
}

std::uint32_t VideoSettingsReader::handleDefinitions(const boost::system::error_code& error,
                                                     const std::string& body,
                                                     const Orix::http::HttpResponse& response,
                                                     const std::string& uri)
{
    const std::uint32_t check = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri);
    if (check != Orix::Ok)
        return check;
    SettingsRepository repository(inputs_.driverInfo, *this);
    DefinitionsReader reader(VideoParameterTable::descriptors(), repository.group("Properties"),
                             acquired_.ignored, *this);
    reader.setInstance("I" + std::to_string(inputs_.instanceIndex));
    if (acquired_.profileIndex)
        reader.setProfile(acquired_.profile);
    return reader.read(body, acquired_.properties);
}

std::uint32_t VideoSettingsReader::handleLights(const boost::system::error_code& error,
                                                const std::string& body,
                                                const Orix::http::HttpResponse& response)
{
    // Cameras without illumination have no light-control service (404) or
    // refuse the method; the other settings are still offered.
    if (error || !Orix::Utility::isSuccessStatus(response.status) || body.empty()) {
        ORIX_LOG(*this, LogNotice,
                 " Light control is not available: "
                     << (error ? error.message() : "status " + std::to_string(response.status)));
        return Orix::Ok;
    }
    LightInformation lights;
    if (LightControl::readInformation(body, lights, *this) != Orix::Ok)
        return Orix::Ok;
    acquired_.lights = std::move(lights.lights);
    for (auto& [name, property] : lights.properties)
        acquired_.properties.image[name] = std::move(property);
    for (auto& [name, value] : lights.values)
        acquired_.properties.values[name] = std::move(value);
    return Orix::Ok;
}

void VideoSettingsReader::applyFilter()
{
    CurrentSettings current(*inputs_.values, acquired_.properties.translations, inputs_.codec,
                            inputs_.stream, acquired_.ignoreOsdForProfiles);
    auto& props = acquired_.properties;
    for (const auto& d : VideoParameterTable::descriptors()) {
        if (!d.check)
            continue;
        auto& set = d.stream ? props.streaming : props.image;
        const auto it = set.find(d.hostName);
        if (it == set.end() || d.check(current))
            continue;
        ORIX_LOG(*this, LogDebug, " Property '" << d.hostName << "' skipped by checker");
        set.erase(it);
    }
    for (auto it = props.image.begin(); it != props.image.end();) {
        if (LightControl::isLightProperty(it->first) &&
            !LightControl::offered(it->first, props.values)) {
            ORIX_LOG(*this, LogDebug, " Property '" << it->first << "' skipped by checker");
            it = props.image.erase(it);
        } else {
            ++it;
        }
    }
}

void VideoSettingsReader::handleDynamicParameters()
{
    try {
        for (const auto& [name, value] : acquired_.properties.values)
            inputs_.values->setPersistentParam(name, value);
        applyFilter();

        SettingsRepository repository(inputs_.driverInfo, *this);
        Json::Value document(Json::objectValue);
        document[Orix::Utility::JSON_SCHEMA_VERSION] = Orix::Utility::JSON_SCHEMA_VERSION_VALUE;
        document[Orix::Utility::JSON_SETTINGS] = Orix::Utility::propertiesToJson(
            acquired_.properties.image, repository.group("VSPropertiesGroups"));
        document[Orix::Utility::JSON_VIDEOSTREAMING_SETTINGS] = Orix::Utility::propertiesToJson(
            acquired_.properties.streaming, repository.group("StreamingPropertiesGroups"));
        const std::string text = Orix::Utility::writeSettingsJson(document);
        ORIX_LOG(*this, LogDebug, " Reading parameters is finished successfully");
        finish(Orix::Ok, text);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Reading parameters is finished. Unexpected exception: " << e.what());
        finish(Orix::GenericFailure, {});
    }
}

void VideoSettingsReader::finish(std::uint32_t result, const std::string& json)
{
    if (finished_.exchange(true))
        return;
    Completion done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(result, json);
}

} // namespace Vapixcam
