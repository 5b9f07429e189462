#include <netkit/analytics/VideoAnalyticsBase.h>

#include <netkit/util/Contract.h>
#include <orix/ErrorCodes.h>

namespace Orix::Utility {

VideoAnalyticsBase::VideoAnalyticsBase(Analytics::IVideoAnalyticsHandler* handler,
                                       std::uint32_t channel, std::string detectorId,
                                       const LoggerOwner& logger)
    : LoggerOwner(logger.getLogger(), logger.logPrefix()),
      handler_(handler),
      channel_(channel),
      detectorId_(std::move(detectorId))
{
    Analytics::IEventSink* sink = nullptr;
    if (handler_ != nullptr) {
        try {
            // The host answers with the interface itself, as IContract.
            sink = static_cast<Analytics::IEventSink*>(
                handler_->QueryContract(contractName<Analytics::IEventSink>()));
        } catch (...) {
            sink = nullptr;
        }
    }
    if (sink != nullptr)
        factory_ = std::make_unique<Detector::EventFactory>(sink, sender(), gate_, *this);
    else
        ORIX_LOG(*this, LogWarning, " The host's handler takes no events");
}

VideoAnalyticsBase::~VideoAnalyticsBase() = default;

IContract* VideoAnalyticsBase::QueryContract(const char* name)
{
    return const_cast<IContract*>(QueryConstContract(name));
}

const IContract* VideoAnalyticsBase::QueryConstContract(const char* name) const
{
    if (isContract<IContract>(name) || isContract<Analytics::IVideoAnalytics>(name) ||
        isContract<Analytics::IDetector>(name))
        return static_cast<const Analytics::IVideoAnalytics*>(this);
    if (isContract<Analytics::IVisualAsyncAdjuster>(name) || isContract<IAsyncAdjuster>(name))
        return static_cast<const Analytics::IVisualAsyncAdjuster*>(this);
    return nullptr;
}

std::uint32_t VideoAnalyticsBase::SetValue(const char* name, const char* value)
{
    return values_.SetValue(name, value);
}

std::uint32_t VideoAnalyticsBase::SetValue(const char* name, double value)
{
    return values_.SetValue(name, value);
}

std::uint32_t VideoAnalyticsBase::SetValue(const char* name, int value)
{
    return values_.SetValue(name, value);
}

std::uint32_t VideoAnalyticsBase::SetValue(const char* name, bool value)
{
    return values_.SetValue(name, value);
}

ParamMap VideoAnalyticsBase::takeCollected()
{
    return values_.takeCollected();
}

std::uint32_t VideoAnalyticsBase::SetRectangleArray(const char* name,
                                                    const Analytics::NormalizedRect* rectangles,
                                                    std::uint32_t count)
{
    if (name == nullptr || (rectangles == nullptr && count != 0) || count > kMaxRectangles)
        return InvalidArgument;
    std::lock_guard<std::mutex> lock(elementsMutex_);
    rectangles_[name].assign(rectangles, rectangles + count);
    return Ok;
}

std::uint32_t VideoAnalyticsBase::SetMask(const char* name, const std::uint8_t* cells,
                                          std::uint32_t width, std::uint32_t height)
{
    const std::uint64_t size = static_cast<std::uint64_t>(width) * height;
    if (name == nullptr || (cells == nullptr && size != 0) || size > kMaxMaskCells)
        return InvalidArgument;
    std::lock_guard<std::mutex> lock(elementsMutex_);
    Mask& mask = masks_[name];
    mask.width = width;
    mask.height = height;
    mask.cells.assign(cells, cells + size);
    return Ok;
}

std::uint32_t VideoAnalyticsBase::SetPolylineArray(const char* name,
                                                   const Analytics::Polyline* polylines,
                                                   std::uint32_t count)
{
    if (name == nullptr || (polylines == nullptr && count != 0) || count > kMaxPolylines)
        return InvalidArgument;
    auto converted = createPolylinesArray(polylines, count);
    std::lock_guard<std::mutex> lock(elementsMutex_);
    polylines_[name] = std::move(converted);
    return Ok;
}

std::vector<PolylineF> VideoAnalyticsBase::polylines(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(elementsMutex_);
    const auto it = polylines_.find(name);
    return it == polylines_.end() ? std::vector<PolylineF>{} : it->second;
}

std::vector<Analytics::NormalizedRect> VideoAnalyticsBase::rectangles(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(elementsMutex_);
    const auto it = rectangles_.find(name);
    return it == rectangles_.end() ? std::vector<Analytics::NormalizedRect>{} : it->second;
}

std::optional<VideoAnalyticsBase::Mask> VideoAnalyticsBase::mask(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(elementsMutex_);
    const auto it = masks_.find(name);
    if (it == masks_.end())
        return std::nullopt;
    return it->second;
}

} // namespace Orix::Utility
