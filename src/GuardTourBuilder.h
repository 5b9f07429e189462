#pragma once
// Stores a guard tour the host describes point by point (BeginTour,
// AddTourPoint..., EndTour) in the camera with param.cgi add/update/remove
// requests. The requests are collected as jobs and run in order on a worker
// thread of their own once the description ends; the host's calls return at
// once. The destructor stops the worker between two requests and joins it.
//
// Requests of one build, for host tour t and points 1..k:
//   remove GuardTour.G(t-1)                        (a tour stored before)
//   add    group=GuardTour&template=guardtour      -> "G<g> OK"
//   update GuardTour.G<g>.Name=GuardTour
//   per point: add group=GuardTour.G<g>.Tour&template=tour (new point only)
//              update GuardTour.G<g>.Tour.T<k-1>.PresetNbr=..&MoveSpeed=..
//                     &WaitTime=..&WaitTimeViewType=Seconds
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace Vapixcam {

// The outcome of one param.cgi request of a tour: result 0 when the camera
// acknowledged it, and the camera's answer text.
struct TourReply {
    std::uint32_t result = 0;
    std::string answer;
};

class GuardTourBuilder {
public:
    // Sends one request and reads the camera's parameter reply; called on
    // the worker thread.
    using Exchange = std::function<TourReply(const std::string& request)>;

    GuardTourBuilder(Exchange exchange, Orix::LoggerOwner logger);
    ~GuardTourBuilder();
    GuardTourBuilder(const GuardTourBuilder&) = delete;
    GuardTourBuilder& operator=(const GuardTourBuilder&) = delete;

    // Starts describing host tour `tour` (from 1). False while another
    // description is open.
    bool begin(std::uint32_t tour);
    // False when no description is open.
    bool addPoint(std::uint32_t point, std::uint32_t preset, std::uint32_t speed,
                  std::uint32_t wait);
    // Hands the described jobs to the worker thread. While the previous
    // build still runs the description stays open (busy); the host may end
    // it again later.
    enum class EndResult { started, notOpen, busy };
    EndResult end();
    // Waits until the running build finished; the results of its requests.
    std::vector<TourReply> wait();

private:
    struct Build;
    using Job = std::function<void(Build&)>;
    void run(std::shared_ptr<Build> build, std::vector<Job> jobs);

    Exchange exchange_;
    Orix::LoggerOwner logger_;
    std::mutex mutex_;
    std::optional<std::uint32_t> open_; // host tour being described
    std::vector<Job> jobs_;
    std::mutex workerMutex_; // worker_ and running_
    std::shared_ptr<Build> running_;
    std::thread worker_;
    std::atomic<bool> stopping_{false};
};

} // namespace Vapixcam
