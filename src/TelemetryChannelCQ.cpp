#include "TelemetryChannelCQ.h"

#include <netkit/http/ResponseCheck.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/SettingsApply.h>
#include <netkit/util/Contract.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

// What the asynchronous settings steps share with the channel.
struct TelemetryChannelCQ::SettingsState {
    SettingsState(Orix::LoggerOwner log, std::uint32_t channel, const Orix::IContract* source,
                  std::weak_ptr<QueryManager> manager)
        : logger(std::move(log)), channel(channel), source(source), manager(std::move(manager))
    {
    }
    Orix::LoggerOwner logger;
    const std::uint32_t channel;
    const Orix::IContract* const source; // identifies the channel to the host; never dereferenced
    const std::weak_ptr<QueryManager> manager;
    std::mutex mutex;
    PtzQueueSettings settings;
    bool acquired = false;
    Orix::http::RequestHandlePtr request;
};

TelemetryChannelCQ::TelemetryChannelCQ(std::uint32_t channel, DeviceServices& device,
                                       std::chrono::milliseconds waitLimit)
    : TelemetryChannel(channel, device),
      queryManager_(std::make_shared<QueryManager>(device, channel, static_cast<const Orix::LoggerOwner&>(*this),
                                                   waitLimit)),
      settings_(std::make_shared<SettingsState>(static_cast<const Orix::LoggerOwner&>(*this), channel,
                                                static_cast<const Orix::IDynamicParametersProvider*>(this),
                                                queryManager_))
{
}

TelemetryChannelCQ::~TelemetryChannelCQ()
{
    queryManager_->shutdown();
    Orix::http::RequestHandlePtr request;
    {
        std::lock_guard<std::mutex> lock(settings_->mutex);
        request.swap(settings_->request);
    }
    if (request)
        request->cancel();
}

Orix::IContract* TelemetryChannelCQ::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(TelemetryChannelCQ::QueryConstContract(name));
}

const Orix::IContract* TelemetryChannelCQ::QueryConstContract(const char* name) const
{
    if (const Orix::IContract* found = TelemetryChannel::QueryConstContract(name))
        return found;
    if (Orix::Utility::isContract<Orix::IDynamicParametersProvider>(name))
        return static_cast<const Orix::IDynamicParametersProvider*>(this);
    if (Orix::Utility::isContract<Orix::IAsyncAdjuster>(name))
        return static_cast<const Orix::IAsyncAdjuster*>(this);
    return nullptr;
}

std::uint32_t TelemetryChannelCQ::sendRequest(const std::string& path)
{
    std::string unused;
    return queryManager_->sendTelemetryRequest(path, false, unused);
}

std::uint32_t TelemetryChannelCQ::sendRequestAndGetResponse(const std::string& path, std::string& body)
{
    return queryManager_->sendTelemetryRequest(path, true, body);
}

void TelemetryChannelCQ::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    const auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    try {
        doAcquireDynamicParameters(completion);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Exeption : " << e.what());
        completion->failed(settings_->source, Orix::GenericFailure);
    }
}

void TelemetryChannelCQ::doAcquireDynamicParameters(Orix::Utility::DynamicParametersCompletionPtr completion)
{
    const auto info = device_.connectionInfo();
    if (!info) {
        completion->failed(settings_->source, Orix::BadAddress);
        return;
    }
    const std::string url = queueDefinitionsUrl(channel_);
    auto handle = Orix::http::asyncGetEx(
        info, url, device_.ioContext(), timeout_,
        [weak = std::weak_ptr<SettingsState>(settings_), completion, url](
            const boost::system::error_code& error, const std::string& body,
            const Orix::http::HttpResponse& response) {
            const auto state = weak.lock();
            if (!state) {
                completion->failed(nullptr, Orix::Cancelled);
                return;
            }
            if (const std::uint32_t code = Orix::Utility::checkHttpAnswer(state->logger, error, body, response, url)) {
                completion->failed(state->source, code);
                return;
            }
            PtzQueueSettings read;
            if (const std::uint32_t code = readQueueSettings(body, state->channel, read, state->logger)) {
                completion->failed(state->source, code);
                return;
            }
            std::string json;
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                state->settings = read;
                state->acquired = true;
                json = queueSettingsJson(state->settings);
            }
            if (const auto enable = read.properties.find("enableQueue"); enable != read.properties.end()) {
                if (auto manager = state->manager.lock())
                    manager->setEnabled(std::get<Orix::GDRV::PropertyBool>(enable->second).value);
            }
            ORIX_LOG(state->logger, LogDebug, " Acquired:\n" << json);
            completion->completed(state->source, json);
        });
    std::lock_guard<std::mutex> lock(settings_->mutex);
    settings_->request = std::move(handle);
}

void TelemetryChannelCQ::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    const auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    try {
        doApplySettings(takeCollected(), completion);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        completion->finish(settings_->source, Orix::GenericFailure);
    }
}

void TelemetryChannelCQ::doApplySettings(Orix::Utility::ParamMap changes,
                                         Orix::Utility::AsyncActionCompletionPtr completion)
{
    std::uint32_t error = Orix::Ok;
    std::optional<std::string> url;
    {
        std::lock_guard<std::mutex> lock(settings_->mutex);
        if (!settings_->acquired && !changes.empty()) {
            ORIX_LOG(*this, LogError, " ApplySettings before the queue settings were acquired");
            completion->finish(settings_->source, Orix::NotStarted);
            return;
        }
        url = queueUpdateUrl(changes, channel_, settings_->settings, error);
    }
    if (error != Orix::Ok) {
        ORIX_LOG(*this, LogError, " ApplySettings refused: " << Orix::Utility::settingsToString(changes));
        completion->finish(settings_->source, error);
        return;
    }
    if (!url) {
        completion->finish(settings_->source, Orix::Ok);
        return;
    }
    const auto info = device_.connectionInfo();
    if (!info) {
        completion->finish(settings_->source, Orix::BadAddress);
        return;
    }
    auto handle = Orix::http::asyncGetEx(
        info, *url, device_.ioContext(), timeout_,
        [weak = std::weak_ptr<SettingsState>(settings_), completion, changes, url = *url](
            const boost::system::error_code& e, const std::string& body,
            const Orix::http::HttpResponse& response) {
            const auto state = weak.lock();
            if (!state) {
                completion->finish(nullptr, Orix::Cancelled);
                return;
            }
            std::uint32_t code = Orix::Utility::checkHttpAnswer(state->logger, e, body, response, url);
            if (code == Orix::Ok && body.find("Error") != std::string::npos) {
                ORIX_LOG(state->logger, LogError, " Device refused " << url << ": " << body);
                code = Orix::GDRV::DeviceError;
            }
            if (code == Orix::Ok) {
                std::lock_guard<std::mutex> lock(state->mutex);
                applyQueueChanges(changes, state->settings);
                const auto enable = changes.find("enableQueue");
                if (enable != changes.end() && std::holds_alternative<bool>(enable->second)) {
                    if (auto manager = state->manager.lock())
                        manager->setEnabled(std::get<bool>(enable->second));
                }
            }
            completion->finish(state->source, code);
        });
    std::lock_guard<std::mutex> lock(settings_->mutex);
    settings_->request = std::move(handle);
}

} // namespace Vapixcam
