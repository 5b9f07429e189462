#include "VideoSettingsWriter.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <json/reader.h>
#include <netkit/http/AsyncMultiRequest.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/SettingsApply.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

namespace {

// The JSON services answer 200 with an "error" member when they refuse.
std::string jsonRefusal(const std::string& body)
{
    Json::Value root;
    std::string errors;
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    // jsoncpp throws for a document deeper than stackLimit, and when a member
    // is read from a non-object or converted from another type.
    try {
        if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors) || !root.isObject())
            return {};
    } catch (const std::exception&) {
        return {};
    }
    if (!root.isMember("error"))
        return {};
    const Json::Value& error = root["error"];
    const Json::Value code = error.isObject() ? error["code"] : Json::Value();
    const Json::Value message = error.isObject() ? error["message"] : Json::Value();
    return std::to_string(code.isInt() ? code.asInt() : 0) + " " +
           (message.isString() ? message.asString() : std::string());
}

} // namespace

std::shared_ptr<VideoSettingsWriter> VideoSettingsWriter::create(boost::asio::io_context& io,
                                                                 Orix::asio::ConnectionInfoPtr info,
                                                                 Orix::LoggerPtr logger,
                                                                 const std::string& logPrefix)
{
    return std::shared_ptr<VideoSettingsWriter>(
        new VideoSettingsWriter(io, std::move(info), std::move(logger), logPrefix));
}

VideoSettingsWriter::VideoSettingsWriter(boost::asio::io_context& io,
                                         Orix::asio::ConnectionInfoPtr info,
                                         Orix::LoggerPtr logger, const std::string& logPrefix)
    : Orix::LoggerOwner(std::move(logger), logPrefix), io_(io), info_(std::move(info))
{
}

void VideoSettingsWriter::start(Orix::Utility::ParametersContainer& container,
                                VideoUpdateInputs inputs, Completion done)
{
    done_ = std::move(done);
    auto self = shared_from_this();
    boost::asio::post(io_, [self, &container, inputs = std::move(inputs)]() mutable {
        if (self->cancelled_) {
            self->finish(Orix::Cancelled, false, false);
            return;
        }
        if (Orix::Utility::processBlockingConfiguration(container, inputs.changed, *self)) {
            self->finish(Orix::Ok, false, false);
            return;
        }
        inputs.values = &container;
        VideoUpdatePlan plan;
        try {
            plan = VideoUpdateBuilder::build(inputs, *self);
        } catch (const std::exception& e) {
            ORIX_LOG(*self, LogError, " Applying settings failed: " << e.what());
            self->finish(Orix::GenericFailure, false, false);
            return;
        }
        if (plan.error != Orix::Ok) {
            self->finish(plan.error, false, false);
            return;
        }
        if (!self->info_ && (!plan.lightRequests.empty() || !plan.updateUrl.empty())) {
            ORIX_LOG(*self, LogError, " Applying settings failed: no connection to the device");
            self->finish(Orix::NoConnection, false, false);
            return;
        }
        self->send(plan);
    });
}

void VideoSettingsWriter::cancel()
{
    cancelled_ = true;
    std::shared_ptr<Orix::Utility::AsyncMultiRequest> multi;
    Orix::http::RequestHandlePtr reboot;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        multi = multi_;
        reboot = reboot_;
    }
    if (multi)
        multi->cancel();
    if (reboot)
        reboot->cancel();
}

void VideoSettingsWriter::send(const VideoUpdatePlan& plan)
{
    auto multi = Orix::Utility::AsyncMultiRequest::create(info_, io_);
    auto self = shared_from_this();
    for (const auto& light : plan.lightRequests) {
        const std::string uri = light.uri;
        multi->addPostRequest(
            uri, light.body, std::nullopt,
            [self, uri](const boost::system::error_code& error, const std::string& body,
                        const Orix::http::HttpResponse& response) {
                if (Orix::Utility::checkHttpAnswer(*self, error, body, response, uri) != Orix::Ok)
                    return;
                const std::string refusal = jsonRefusal(body);
                if (!refusal.empty()) {
                    ORIX_LOG(*self, LogError,
                             " Light control refused the request: " << refusal << ", request: " << uri);
                    self->recordRefusal(Orix::InvalidArgument);
                }
            },
            Orix::http::jsonHeaders());
    }
    if (!plan.updateUrl.empty()) {
        const std::string uri = plan.updateUrl;
        multi->addGetRequest(uri, std::nullopt,
                             [self, uri](const boost::system::error_code& error, const std::string& body,
                                         const Orix::http::HttpResponse& response) {
                                 if (Orix::Utility::checkHttpAnswer(*self, error, body, response, uri) !=
                                     Orix::Ok)
                                     return;
                                 // 200 with anything but "OK" is a refusal.
                                 const ParamCgiAnswer answer = classifyParamCgiAnswer(body);
                                 if (!answer.ok) {
                                     ORIX_LOG(*self, LogError,
                                              " Device refused the update: " << answer.reason
                                                                             << ", request: " << uri);
                                     self->recordRefusal(Orix::InvalidArgument);
                                 }
                             });
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        multi_ = multi;
    }
    multi->start([self, plan](std::uint32_t result) { self->handleSent(result, plan); });
    if (cancelled_)
        multi->cancel();
}

void VideoSettingsWriter::recordRefusal(std::uint32_t code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (refusal_ == Orix::Ok)
        refusal_ = code;
}

void VideoSettingsWriter::handleSent(std::uint32_t result, const VideoUpdatePlan& plan)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        multi_.reset();
        if (result == Orix::Ok)
            result = refusal_;
    }
    if (cancelled_) {
        finish(Orix::Cancelled, false, false);
        return;
    }
    if (result != Orix::Ok) {
        // Transport and codec live in the container: they changed anyway.
        finish(result, plan.needsNewSession, false);
        return;
    }
    // The reboot waits for the update: a camera that restarts first would
    // lose the new capture mode.
    if (plan.reboot) {
        requestReboot(plan);
        return;
    }
    finish(Orix::Ok, plan.needsNewSession, plan.profileRewrite);
}

void VideoSettingsWriter::requestReboot(const VideoUpdatePlan& plan)
{
    ORIX_LOG(*this, LogDebug, " Requesting a device reboot...");
    auto self = shared_from_this();
    const std::string uri = kFirmwareManagementUri;
    auto handle = Orix::http::asyncPostEx(
        info_, uri, LightControl::body("reboot", {}), io_, std::nullopt,
        [self, uri, plan](const boost::system::error_code& error, const std::string& body,
                          const Orix::http::HttpResponse& response) {
            {
                std::lock_guard<std::mutex> lock(self->mutex_);
                self->reboot_.reset();
            }
            if (self->cancelled_) {
                self->finish(Orix::Cancelled, false, false);
                return;
            }
            std::uint32_t result = Orix::Utility::checkHttpAnswer(*self, error, body, response, uri);
            if (result == Orix::Ok) {
                const std::string refusal = jsonRefusal(body);
                if (!refusal.empty()) {
                    ORIX_LOG(*self, LogError, " Device refused to reboot: " << refusal);
                    result = Orix::InvalidArgument;
                }
            }
            self->finish(result, result == Orix::Ok && plan.needsNewSession,
                         result == Orix::Ok && plan.profileRewrite);
        },
        Orix::http::jsonHeaders());
    std::lock_guard<std::mutex> lock(mutex_);
    reboot_ = std::move(handle);
}

void VideoSettingsWriter::finish(std::uint32_t result, bool needsNewSession, bool profileRewrite)
{
    if (finished_.exchange(true))
        return;
    Completion done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(result, needsNewSession, profileRewrite);
}

} // namespace Vapixcam
