#include "GuardTourBuilder.h"

#include "PtzAnswers.h"

#include <orix/ErrorCodes.h>
#include <orix/gdrv/Telemetry.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;

namespace {

const std::string kParamCgi = "/axis-cgi/admin/param.cgi?action=";

} // namespace

struct GuardTourBuilder::Build {
    std::optional<std::uint32_t> group; // camera index g of GuardTour.G<g>
    std::set<std::uint32_t> points;     // T<n> groups that exist
    std::vector<TourReply> replies;
    std::atomic<bool> done{false};
};

GuardTourBuilder::GuardTourBuilder(Exchange exchange, Orix::LoggerOwner logger)
    : exchange_(std::move(exchange)), logger_(std::move(logger))
{
}

GuardTourBuilder::~GuardTourBuilder()
{
    stopping_ = true;
    std::lock_guard<std::mutex> lock(workerMutex_);
    if (worker_.joinable())
        worker_.join();
}

bool GuardTourBuilder::begin(std::uint32_t tour)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_)
        return false;
    open_ = tour;
    jobs_.clear();
    jobs_.push_back([this, tour](Build& build) {
        // A tour stored before under this number is replaced.
        exchange_(kParamCgi + "remove&group=GuardTour.G" + std::to_string(tour - 1));
        std::optional<std::uint32_t> index;
        TourReply added = exchange_(kParamCgi + "add&group=GuardTour&template=guardtour");
        if (added.result == Orix::Ok && !isParamReplyOk(added.answer, &index))
            added.result = Orix::GDRV::DeviceError;
        build.replies.push_back(added);
        if (!index) {
            ORIX_LOG(logger_, LogError, " Guard tour " << tour << " could not be created");
            return;
        }
        build.group = *index;
        if (*index != tour - 1)
            ORIX_LOG(logger_, LogWarning, " Tour " << tour << " is stored as guard tour "
                                                   << *index + 1);
        const std::string g = "GuardTour.G" + std::to_string(*index);
        build.replies.push_back(exchange_(kParamCgi + "update&" + g + ".Name=GuardTour"));
    });
    return true;
}

bool GuardTourBuilder::addPoint(std::uint32_t point, std::uint32_t preset, std::uint32_t speed,
                                std::uint32_t wait)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_)
        return false;
    jobs_.push_back([this, point, preset, speed, wait](Build& build) {
        if (!build.group) {
            ORIX_LOG(logger_, LogError, " Tour point " << point << " skipped: no guard tour");
            return;
        }
        const std::string tourGroup = "GuardTour.G" + std::to_string(*build.group) + ".Tour";
        const std::uint32_t t = point - 1;
        if (build.points.count(t) == 0) {
            TourReply added = exchange_(kParamCgi + "add&group=" + tourGroup + "&template=tour");
            build.replies.push_back(added);
            if (added.result != Orix::Ok)
                return;
            build.points.insert(t);
        }
        const std::string p = tourGroup + ".T" + std::to_string(t);
        build.replies.push_back(exchange_(
            kParamCgi + "update&" + p + ".PresetNbr=" + std::to_string(preset + 1) + "&" + p +
            ".MoveSpeed=" + std::to_string(speed) + "&" + p + ".WaitTime=" + std::to_string(wait) +
            "&" + p + ".WaitTimeViewType=Seconds"));
    });
    return true;
}

GuardTourBuilder::EndResult GuardTourBuilder::end()
{
    std::lock_guard<std::mutex> workerLock(workerMutex_);
    if (running_ && !running_->done)
        return EndResult::busy;
    std::vector<Job> jobs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_)
            return EndResult::notOpen;
        open_.reset();
        jobs.swap(jobs_);
    }
    if (worker_.joinable())
        worker_.join(); // finished already
    auto build = std::make_shared<Build>();
    running_ = build;
    worker_ = std::thread([this, build, jobs = std::move(jobs)]() mutable { run(build, std::move(jobs)); });
    return EndResult::started;
}

std::vector<TourReply> GuardTourBuilder::wait()
{
    std::lock_guard<std::mutex> lock(workerMutex_);
    if (worker_.joinable())
        worker_.join();
    return running_ ? running_->replies : std::vector<TourReply>{};
}

void GuardTourBuilder::run(std::shared_ptr<Build> build, std::vector<Job> jobs)
{
    try {
        for (const Job& job : jobs) {
            if (stopping_)
                break;
            job(*build);
        }
        ORIX_LOG(logger_, LogDebug, " Guard tour stored with " << build->replies.size() << " requests");
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, " std::exception - " << e.what());
    }
    build->done = true;
}

} // namespace Vapixcam
