#include "VideoAnalyticsBase.h"

#include "DeviceServices.h"
#include "MetadataParser.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/property_tree/ptree.hpp>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/util/Contract.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;

// GetEventInstances of the VAPIX event service, on one line. The camera
// reads the Body's declarations as written, without a blank before xmlns:xsd.
const char* const kGetEventInstances =
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
    "<s:Body xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
    "<GetEventInstances xmlns=\"http://www.axis.com/vapix/ws/event1\"/>"
    "</s:Body></s:Envelope>";

Orix::LoggerOwner detectorLogger(DeviceServices& device, const std::string& id, std::uint32_t channel)
{
    Orix::LoggerOwner owner(device.logger());
    owner.setLogPrefix("va %1%", id + "." + std::to_string(channel));
    return owner;
}

std::optional<Orix::GDRV::Property> readProperty(const std::string& name,
                                                 const boost::property_tree::ptree& node)
{
    namespace G = Orix::GDRV;
    const std::string type = node.get<std::string>("type", "");
    const auto list = [&node](auto convert) {
        std::vector<decltype(convert(std::string()))> values;
        if (const auto items = node.get_child_optional("values"))
            for (const auto& item : *items)
                values.push_back(convert(item.second.data()));
        return values;
    };
    if (type == "bool")
        return G::PropertyBool{name, node.get<bool>("value", false)};
    if (type == "intRange")
        return G::PropertyIntRange{name, node.get<std::int32_t>("min", 0), node.get<std::int32_t>("max", 0),
                                   node.get<std::int32_t>("value", 0)};
    if (type == "intEnum")
        return G::PropertyIntEnum{name, list([](const std::string& v) { return std::stoi(v); }),
                                  node.get<std::int32_t>("value", 0)};
    if (type == "stringEnum")
        return G::PropertyStringEnum{name, list([](const std::string& v) { return v; }),
                                     node.get<std::string>("value", "")};
    if (type == "string")
        return G::PropertyString{name, node.get<std::string>("value", "")};
    if (type == "editableString")
        return G::PropertyEditableString{name, node.get<std::string>("value", "")};
    if (type == "doubleRange")
        return G::PropertyDoubleRange{name, node.get<double>("min", 0.0), node.get<double>("max", 0.0),
                                      node.get<double>("value", 0.0)};
    return std::nullopt;
}

} // namespace

std::shared_ptr<Orix::GDRV::PropertySet> detectorPropertySet(const Orix::GDRV::DriverInfo* info,
                                                             const std::string& detectorId)
{
    if (info == nullptr)
        return nullptr;
    const auto group = info->groups.find("Detectors");
    if (group == info->groups.end() || !group->second)
        return nullptr;
    const auto node = group->second->get_child_optional(boost::property_tree::ptree::path_type(detectorId, '\0'));
    if (!node)
        return nullptr;
    auto set = std::make_shared<Orix::GDRV::PropertySet>();
    for (const auto& child : *node) {
        try {
            if (auto property = readProperty(child.first, child.second))
                set->emplace(child.first, std::move(*property));
        } catch (const std::exception&) {
            // A malformed number in the repository: the property is left out.
        }
    }
    return set;
}

VideoAnalyticsBase::VideoAnalyticsBase(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                       std::uint32_t channel, const std::string& detectorId,
                                       DeviceServices& device)
    : Orix::Utility::VideoAnalyticsBase(handler, channel, detectorId,
                                        detectorLogger(device, detectorId, channel)),
      device_(device),
      artificialProperties_(std::make_shared<Orix::GDRV::PropertySet>()),
      lifetime_(std::make_shared<VideoAnalyticsBase*>(this)),
      globalService_(Orix::Utility::GlobalService::instance())
{
    parameters_.addArtificalPropertiesSet(artificialProperties_);
    repositoryProperties_ = detectorPropertySet(device.driverInfo().get(), detectorId);
    if (repositoryProperties_)
        parameters_.addPropertySet(repositoryProperties_);
}

VideoAnalyticsBase::~VideoAnalyticsBase() = default;

Orix::IContract* VideoAnalyticsBase::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* VideoAnalyticsBase::QueryConstContract(const char* name) const
{
    if (Orix::Utility::isContract<Orix::IDynamicParametersProvider>(name))
        return static_cast<const Orix::IDynamicParametersProvider*>(this);
    return Orix::Utility::VideoAnalyticsBase::QueryConstContract(name);
}

std::string VideoAnalyticsBase::logName() const
{
    return detectorId() + " on channel " + std::to_string(channel());
}

void VideoAnalyticsBase::Destroy()
{
    ORIX_LOG(*this, LogDebug, " Destroy, started=" << started_.load());
    // The handler first: a callback running on another thread ends, and none
    // starts afterwards; then everything on the I/O thread.
    closeHandler();
    if (device_.onIoThread()) {
        // From inside one of our own callbacks: the frames below still use
        // this object, so it goes once they have returned.
        abandon();
        boost::asio::post(device_.ioContext(), [this] { delete this; });
        return;
    }
    runOnIoThread(device_, [this] { abandon(); });
    delete this;
}

void VideoAnalyticsBase::abandon()
{
    if (stream_ && stream_->hasDetector(this))
        stream_->removeDetector(this);
    stream_.reset();
    lifetime_.reset();
}

void VideoAnalyticsBase::Start()
{
    int expected = 0;
    if (!started_.compare_exchange_strong(expected, 1)) {
        ORIX_LOG(*this, LogError, " Already started");
        notifyFailure(Orix::AlreadyInState);
        return;
    }
    postGuarded([this] { doStart(); });
}

void VideoAnalyticsBase::Stop()
{
    int expected = 1;
    if (!started_.compare_exchange_strong(expected, 0)) {
        ORIX_LOG(*this, LogError, " Already stopped");
        notifyFailure(Orix::AlreadyInState);
        return;
    }
    postGuarded([this] { doStop(); });
}

void VideoAnalyticsBase::doStart()
{
    ORIX_LOG(*this, LogDebug, " Starting");
    stream_ = device_.getNotificationStream();
    if (!stream_) {
        ORIX_LOG(*this, LogError, " Cannot get the notification stream");
        notifyFailure(Orix::GenericFailure);
        return;
    }
    stream_->addDetector(this);
    confirmAvailability();
}

void VideoAnalyticsBase::doStop()
{
    ORIX_LOG(*this, LogDebug, " Stopping");
    auto stream = stream_ ? stream_ : device_.getNotificationStream();
    if (!stream) {
        ORIX_LOG(*this, LogError, " Unable to stop video analytics: EventStream is empty.");
        notifyFailure(Orix::GenericFailure);
        return;
    }
    stream->removeDetector(this);
    // Told from the library's service: the host may call Start or Destroy
    // from inside, away from the I/O thread.
    boost::asio::post(globalService_->ioContext(),
                      [gate = gate(), handler = handler(), sender = sender(), logger = LoggerOwner(*this)] {
                          gate->pass([&] {
                              try {
                                  if (handler)
                                      handler->Stopped(sender);
                              } catch (const std::exception& e) {
                                  ORIX_LOG(logger, LogError, " std::exception - " << e.what());
                              }
                          });
                      });
}

void VideoAnalyticsBase::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    parameters_.pushParameters(takeCollected());
    postGuarded([this, completion] { applySettings(completion); });
}

void VideoAnalyticsBase::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    postGuarded([this, completion] { doAcquireDynamicParameters(completion); });
}

void VideoAnalyticsBase::reportStreamError(std::uint32_t code)
{
    notifyHandler([&](Orix::Analytics::IVideoAnalyticsHandler& h) { h.StreamError(sender(), code); });
}

void VideoAnalyticsBase::notifyStarted()
{
    notifyHandler([&](Orix::Analytics::IVideoAnalyticsHandler& h) { h.Started(sender()); });
}

void VideoAnalyticsBase::notifyFailure(std::uint32_t code)
{
    notifyHandler([&](Orix::Analytics::IVideoAnalyticsHandler& h) { h.Failed(sender(), code); });
}

void VideoAnalyticsBase::raiseEvent(std::uint64_t timestamp, bool state)
{
    auto* events = factory();
    if (events == nullptr)
        return;
    if (eventKind() == DetectorEventKind::immediate)
        events->RaiseImmediateEvent(eventName(), timestamp, std::string());
    else
        events->RaiseTwoPhaseEvent(eventName(), state, timestamp, std::string(), std::string());
}

std::map<std::string, std::string> VideoAnalyticsBase::parseSimpleItems(const std::string& text)
{
    std::map<std::string, std::string> items;
    for (auto& [name, value] : readSimpleItems(text, kMaxSimpleItems))
        items.emplace(std::move(name), std::move(value));
    return items;
}

bool VideoAnalyticsBase::onOffState(const std::string& value)
{
    return value.size() == 1 ? value != "0" : true;
}

void VideoAnalyticsBase::raiseOnOffRule(const std::map<std::string, std::string>& items,
                                        std::uint64_t timestamp)
{
    if (items.empty())
        return;
    raiseEvent(timestamp, onOffState(items.begin()->second));
}

void VideoAnalyticsBase::confirmAvailability()
{
    checkEventInstances();
}

void VideoAnalyticsBase::checkEventInstances()
{
    const std::string uri = "/vapix/services";
    httpPost(uri, kGetEventInstances,
             [this, uri](const boost::system::error_code& error, const std::string& body,
                         const Orix::http::HttpResponse& response) {
                 handleVapixServices(error, body, response, uri);
             });
}

void VideoAnalyticsBase::handleVapixServices(const boost::system::error_code& error, const std::string& body,
                                             const Orix::http::HttpResponse& response, const std::string& uri)
{
    if (!started())
        return;
    if (Orix::Utility::checkHttpAnswer(*this, error, body, response, uri) != Orix::Ok) {
        ORIX_LOG(*this, LogError, " Cannot receive " << eventName() << " instance");
        notifyFailure(Orix::GenericFailure);
        return;
    }
    if (matchEventDescription(body)) {
        notifyStarted();
        return;
    }
    ORIX_LOG(*this, LogError, " Cannot parse VAPIX event description for event " << eventName());
    notifyFailure(Orix::GenericFailure);
}

Orix::http::HttpCompletion VideoAnalyticsBase::guard(Orix::http::HttpCompletion completion)
{
    return [weak = alive(), completion = std::move(completion)](const boost::system::error_code& error,
                                                                const std::string& body,
                                                                const Orix::http::HttpResponse& response) {
        if (auto self = weak.lock())
            completion(error, body, response);
    };
}

void VideoAnalyticsBase::httpGet(const std::string& uri, Orix::http::HttpCompletion completion)
{
    auto info = device_.connectionInfo();
    if (!info) {
        postGuarded([completion = std::move(completion)] {
            completion(Orix::Utility::makeConnectionError(Orix::Utility::ConnectionError::noConnectionInfo),
                       std::string(), Orix::http::HttpResponse());
        });
        return;
    }
    Orix::http::asyncGetEx(info, uri, device_.ioContext(), std::nullopt, guard(std::move(completion)));
}

void VideoAnalyticsBase::httpPost(const std::string& uri, const std::string& body,
                                  Orix::http::HttpCompletion completion, Orix::http::Headers headers)
{
    auto info = device_.connectionInfo();
    if (!info) {
        postGuarded([completion = std::move(completion)] {
            completion(Orix::Utility::makeConnectionError(Orix::Utility::ConnectionError::noConnectionInfo),
                       std::string(), Orix::http::HttpResponse());
        });
        return;
    }
    Orix::http::asyncPostEx(info, uri, body, device_.ioContext(), std::nullopt, guard(std::move(completion)),
                            std::move(headers));
}

void VideoAnalyticsBase::startRequest(const std::string& uri, std::function<void(const std::string& body)> next)
{
    httpGet(uri, [this, uri, next = std::move(next)](const boost::system::error_code& error, const std::string& body,
                                                     const Orix::http::HttpResponse& response) {
        if (!started())
            return;
        if (const std::uint32_t code = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri)) {
            // A successful answer without a body carries no reason: 1.
            const bool empty = !error && body.empty() && Orix::Utility::isSuccessStatus(response.status);
            notifyFailure(empty ? static_cast<std::uint32_t>(Orix::GenericFailure) : code);
            return;
        }
        next(body);
    });
}

void VideoAnalyticsBase::parameterRequest(const std::string& uri,
                                          const Orix::Utility::DynamicParametersCompletionPtr& completion,
                                          std::function<void(const std::string& body)> read, const char* failedLine)
{
    httpGet(uri, [this, uri, completion, read = std::move(read), failedLine](const boost::system::error_code& error,
                                                                              const std::string& body,
                                                                              const Orix::http::HttpResponse& response) {
        if (const std::uint32_t code = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri)) {
            if (failedLine != nullptr)
                ORIX_LOG(*this, LogError, " " << failedLine);
            completion->failed(sender(), code);
            return;
        }
        read(body);
    });
}

void VideoAnalyticsBase::postGuarded(std::function<void()> fn)
{
    boost::asio::post(device_.ioContext(), [weak = alive(), fn = std::move(fn)] {
        if (auto self = weak.lock())
            fn();
    });
}

} // namespace Vapixcam
