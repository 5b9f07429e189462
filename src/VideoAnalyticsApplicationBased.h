#pragma once
// A detector whose events come from a camera application (ACAP): Start first
// starts the application (control.cgi?action=start), accepts "OK\r\n" or
// "Error: 6" (already running), waits 5 s for it to declare its events, then
// runs the event-instances check of VideoAnalyticsBase.
#include "VideoAnalyticsBase.h"

#include <chrono>
#include <memory>
#include <string>

namespace Vapixcam {

class VideoAnalyticsApplicationBased : public VideoAnalyticsBase {
public:
    static constexpr std::chrono::milliseconds kApplicationStartWait{5000};

    VideoAnalyticsApplicationBased(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                   std::uint32_t channel, const std::string& detectorId,
                                   DeviceServices& device);
    ~VideoAnalyticsApplicationBased() override;

    // Tests shorten the wait after the application started.
    void setApplicationStartWait(std::chrono::milliseconds wait) { startWait_ = wait; }

protected:
    // The camera application's package name ("VMD3", "vmd", "QVT").
    virtual std::string applicationName() const = 0;

    void confirmAvailability() override;
    // An empty settings document unless overridden.
    void doAcquireDynamicParameters(
        const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    void abandon() override;

private:
    struct Timer;
    void onStartCommandResponse(const boost::system::error_code& error, const std::string& body,
                                const Orix::http::HttpResponse& response, const std::string& uri);

    std::unique_ptr<Timer> timer_;
    std::chrono::milliseconds startWait_ = kApplicationStartWait;
};

// How the camera answered control.cgi?action=start: started, already
// running, or refused.
enum class ApplicationStartAnswer { started, alreadyRunning, refused };
ApplicationStartAnswer classifyApplicationStart(const std::string& body);

} // namespace Vapixcam
