#pragma once
// What every detector shares on the library side: the host's handler (behind
// a HandlerGate), the channel, the detector id, the event factory (when the
// host's handler offers an IEventSink), the values the host sets until its
// next ApplySettings, and the visual elements (areas, masks) it hands over.
// The driver's detector class implements Start, Stop, Destroy and
// ApplySettings.
//
// Threading: the IVisualAsyncAdjuster setters may be called from any host
// thread; the rest on the detector's I/O thread.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <netkit/analytics/EventFactory.h>
#include <netkit/analytics/Geometry.h>
#include <netkit/analytics/HandlerGate.h>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/analytics/IVideoAnalytics.h>
#include <orix/analytics/IVisualAsyncAdjuster.h>
#include <string>
#include <vector>

namespace Orix::Utility {

class VideoAnalyticsBase : public Analytics::IVideoAnalytics,
                           public Analytics::IVisualAsyncAdjuster,
                           public LoggerOwner {
public:
    // Bounds on the visual elements one name may hold.
    static constexpr std::uint32_t kMaxRectangles = 64;
    static constexpr std::uint64_t kMaxMaskCells = 1u << 20;

    struct Mask {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::vector<std::uint8_t> cells;
    };

    VideoAnalyticsBase(Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                       std::string detectorId, const LoggerOwner& logger);
    ~VideoAnalyticsBase() override;

    // IContract: IVideoAnalytics (and IDetector, IContract), IVisualAsyncAdjuster,
    // IAsyncAdjuster. Derived classes add theirs and fall back to these.
    IContract* QueryContract(const char* name) override;
    const IContract* QueryConstContract(const char* name) const override;

    // IAsyncAdjuster: 0, or 6 for a null name or value.
    std::uint32_t SetValue(const char* name, const char* value) override;
    std::uint32_t SetValue(const char* name, double value) override;
    std::uint32_t SetValue(const char* name, int value) override;
    std::uint32_t SetValue(const char* name, bool value) override;

    // IVisualAsyncAdjuster: kept per name for the next ApplySettings; 6 for a
    // null name, null data with a non-zero count, or more than the bounds.
    std::uint32_t SetRectangleArray(const char* name, const Analytics::NormalizedRect* rectangles,
                                    std::uint32_t count) override;
    std::uint32_t SetMask(const char* name, const std::uint8_t* cells, std::uint32_t width,
                          std::uint32_t height) override;
    std::uint32_t SetPolylineArray(const char* name, const Analytics::Polyline* polylines,
                                   std::uint32_t count) override;

    Analytics::IVideoAnalyticsHandler* handler() const { return handler_; }
    std::uint32_t channel() const { return channel_; }
    const std::string& detectorId() const { return detectorId_; }
    // Null when the host's handler takes no events.
    Detector::EventFactory* factory() { return factory_.get(); }
    const HandlerGatePtr& gate() const { return gate_; }
    // What the host is told callbacks and events come from.
    const IContract* sender() const { return static_cast<const Analytics::IVideoAnalytics*>(this); }

    // The values set since the last call.
    ParamMap takeCollected();
    // The visual elements last set under name (empty or nothing when none).
    std::vector<PolylineF> polylines(const std::string& name) const;
    std::vector<Analytics::NormalizedRect> rectangles(const std::string& name) const;
    std::optional<Mask> mask(const std::string& name) const;

protected:
    // Calls the host's handler unless closeHandler() has run; a host
    // exception is logged and stops here.
    template <class Call>
    void notifyHandler(Call&& call)
    {
        // A copy: the host may destroy this detector from inside the call.
        const HandlerGatePtr gate = gate_;
        gate->pass([&] {
            try {
                call(*handler_);
            } catch (const std::exception& e) {
                ORIX_LOG(*this, LogError, " std::exception - " << e.what());
            } catch (...) {
                ORIX_LOG(*this, LogError, " unknown exception from the host");
            }
        });
    }
    // After this neither the handler nor the event sink is called; returns
    // once a call running on another thread has ended.
    void closeHandler() { gate_->close(); }

private:
    class Values : public SimpleAdjuster {
    public:
        IContract* QueryContract(const char*) override { return nullptr; }
        const IContract* QueryConstContract(const char*) const override { return nullptr; }
        void ApplySettings(IAsyncActionHandler*) override {}
    };

    Analytics::IVideoAnalyticsHandler* handler_;
    const std::uint32_t channel_;
    const std::string detectorId_;
    HandlerGatePtr gate_ = std::make_shared<HandlerGate>();
    std::unique_ptr<Detector::EventFactory> factory_;
    Values values_;

    mutable std::mutex elementsMutex_;
    std::map<std::string, std::vector<PolylineF>> polylines_;
    std::map<std::string, std::vector<Analytics::NormalizedRect>> rectangles_;
    std::map<std::string, Mask> masks_;
};

} // namespace Orix::Utility
