#pragma once
// The common life of a detector. Start joins the device's event stream and
// confirms with the camera that it produces the detector's event (the VAPIX
// event-instances query); Stop leaves the stream, closing an open two-phase
// event. Notifications of the detector's topic arrive in handleEvent; the
// concrete class turns them into host events with raiseEvent.
//
// States (started flag, atomic): Stop -> Start: start step posted; a second
// Start or Stop while in that state answers Failed(3). A failure after Start
// leaves the detector registered with the stream until Stop.
//
// Threading: host calls only flip the flag and post; everything else runs
// on the device's I/O thread. Completions hold a weak handle (alive()) and
// check it there; Destroy ends everything on the I/O thread and closes the
// handler gate, so nothing calls the host after it returns.
#include "EventStream.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <netkit/analytics/VideoAnalyticsBase.h>
#include <netkit/http/HttpClient.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/ParametersContainer.h>
#include <orix/Handlers.h>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/Properties.h>
#include <string>

namespace Orix::Utility {
class GlobalService;
}

namespace Vapixcam {

class DeviceServices;

class VideoAnalyticsBase : public Orix::Utility::VideoAnalyticsBase,
                           public Orix::IDynamicParametersProvider,
                           public EventDetector {
public:
    VideoAnalyticsBase(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                       const std::string& detectorId, DeviceServices& device);
    ~VideoAnalyticsBase() override;

    // IContract: adds IDynamicParametersProvider.
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    // IVideoAnalytics
    void Destroy() override;
    void Start() override;
    void Stop() override;
    // IAsyncAdjuster: hands the set values to the parameter container and
    // posts applySettings.
    void ApplySettings(Orix::IAsyncActionHandler* handler) override;
    // IDynamicParametersProvider: posts doAcquireDynamicParameters.
    void AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler) override;

    // EventDetector
    void reportStreamError(std::uint32_t code) override;
    void raiseEvent(std::uint64_t timestamp, bool state) override;
    std::string logName() const override;

    bool started() const { return started_.load(); }

    // Name -> value of the SimpleItems in a tt:Source or tt:Data text
    // (attributes Name and Value in either order; at most kMaxSimpleItems).
    static constexpr std::size_t kMaxSimpleItems = 64;
    static std::map<std::string, std::string> parseSimpleItems(const std::string& text);
    // The value of a plain on/off item: one character is false for "0" and
    // true otherwise; any other length is true.
    static bool onOffState(const std::string& value);

protected:
    // Checks after Start that the camera produces the event; must end in
    // notifyStarted() or notifyFailure(). Default: checkEventInstances().
    virtual void confirmAvailability();
    // Writes the set values (parameters().popParameters()) to the camera and
    // finishes completion.
    virtual void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) = 0;
    // Reports the detector's settings through completion.
    virtual void doAcquireDynamicParameters(
        const Orix::Utility::DynamicParametersCompletionPtr& completion) = 0;
    // Does the camera's event-instances document declare this event?
    virtual bool matchEventDescription(const std::string& text) const = 0;

    // The common on/off rule: the first item of the map (smallest name)
    // gives the state with onOffState, then raiseEvent; an empty map raises
    // nothing.
    void raiseOnOffRule(const std::map<std::string, std::string>& items, std::uint64_t timestamp);

    // POSTs GetEventInstances to /vapix/services and reports Started when
    // matchEventDescription accepts the answer, else Failed(1).
    void checkEventInstances();
    void notifyStarted();
    void notifyFailure(std::uint32_t code);

    // HTTP on the device's I/O context; completion runs there only while the
    // detector lives. Without connection info it gets
    // ConnectionError::noConnectionInfo, posted.
    void httpGet(const std::string& uri, Orix::http::HttpCompletion completion);
    void httpPost(const std::string& uri, const std::string& body,
                  Orix::http::HttpCompletion completion, Orix::http::Headers headers = {});
    // A GET of the detector's own start (before the event check): the
    // body goes to next while the detector is still started; a refused
    // answer, or an empty one, ends the start with the failure notification.
    void startRequest(const std::string& uri, std::function<void(const std::string& body)> next);
    // A GET that reads the detector's parameters: the body goes to read; a
    // refused answer fails the completion, after failedLine when given.
    void parameterRequest(const std::string& uri, const Orix::Utility::DynamicParametersCompletionPtr& completion,
                          std::function<void(const std::string& body)> read, const char* failedLine = nullptr);
    // httpGet as a function, for the request steps detectors share.
    std::function<void(const std::string&, Orix::http::HttpCompletion)> getter()
    {
        return [this](const std::string& uri, Orix::http::HttpCompletion done) { httpGet(uri, std::move(done)); };
    }
    // Runs fn on the I/O context while the detector lives.
    void postGuarded(std::function<void()> fn);
    // A handle that expires when the detector goes (checked on the I/O thread).
    std::weak_ptr<void> alive() const { return lifetime_; }
    // The handle itself: I/O-thread completions a derived class writes by
    // hand hold alive() and call through this once it locks.
    template <class Self>
    static Self* fromHandle(const std::shared_ptr<void>& handle)
    {
        return static_cast<Self*>(*static_cast<VideoAnalyticsBase**>(handle.get()));
    }

    DeviceServices& device() { return device_; }
    Orix::Utility::ParametersContainer& parameters() { return parameters_; }
    // Derived values the concrete class offers the host (created empty).
    const std::shared_ptr<Orix::GDRV::PropertySet>& artificialProperties() const
    {
        return artificialProperties_;
    }
    // The detector's property set from the repository, or null.
    const std::shared_ptr<Orix::GDRV::PropertySet>& repositoryProperties() const
    {
        return repositoryProperties_;
    }

    // Ends what runs on the I/O thread; derived classes that own timers or
    // requests override and call this last.
    virtual void abandon();

private:
    void doStart();
    void doStop();
    void handleVapixServices(const boost::system::error_code& error, const std::string& body,
                             const Orix::http::HttpResponse& response, const std::string& uri);
    Orix::http::HttpCompletion guard(Orix::http::HttpCompletion completion);

    DeviceServices& device_;
    std::atomic<int> started_{0};
    Orix::Utility::ParametersContainer parameters_;
    std::shared_ptr<Orix::GDRV::PropertySet> artificialProperties_;
    std::shared_ptr<Orix::GDRV::PropertySet> repositoryProperties_;
    std::shared_ptr<VideoAnalyticsBase*> lifetime_;
    std::shared_ptr<EventStream> stream_; // the stream joined by the last start
    // Where the stopped notification is made; held so that it runs while the
    // detector lives (the module holds it too).
    std::shared_ptr<Orix::Utility::GlobalService> globalService_;
};

// The property set of a detector id in the repository's "Detectors" group,
// or null. Each child of the detector's node is one property:
//
//   groups { Detectors { tamperingDetection {
//       minDuration { type intRange min 0 max 60 value 10 }
//       darkDetection { type bool value true }
//       mode { type stringEnum values { "" a "" b } value a }
//   } } }
//
// types: bool, intRange, intEnum, stringEnum, string, editableString,
// doubleRange; a child of another type is skipped.
std::shared_ptr<Orix::GDRV::PropertySet> detectorPropertySet(const Orix::GDRV::DriverInfo* info,
                                                             const std::string& detectorId);

} // namespace Vapixcam
