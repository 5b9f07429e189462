#pragma once
// Raising host events. A raise returns an EventRaiser; properties and
// attachments set on it travel with the event, which reaches the host's
// IEventSink when the raiser is released (the last copy goes). A raiser that
// is dropped at once raises a plain event.
//
//   factory.RaisePeriodicalEvent("TargetList", ts)->set("TargetList", enumerator);
//
// Threading: raise on the channel's I/O thread. Host exceptions stop in the
// raiser and are logged.
#include <cstdint>
#include <memory>
#include <netkit/analytics/HandlerGate.h>
#include <netkit/util/Logging.h>
#include <orix/IContract.h>
#include <orix/analytics/IEventSink.h>
#include <string>
#include <utility>
#include <vector>

namespace Orix::Utility::Detector {

enum class EventKind { immediate = 0, twoPhase = 1, periodical = 2 };

class EventRaiser {
public:
    struct Event {
        EventKind kind = EventKind::immediate;
        std::string name;
        std::uint64_t timestamp = 0;
        bool state = false;
        std::string description;
        std::string detail;
    };

    EventRaiser(Analytics::IEventSink* sink, const IContract* sender, HandlerGatePtr gate,
                LoggerOwner logger, Event event);
    ~EventRaiser(); // raises the event
    EventRaiser(const EventRaiser&) = delete;
    EventRaiser& operator=(const EventRaiser&) = delete;

    EventRaiser& set(const std::string& name, const std::string& value);
    // The attachment is released (ITargetEnumerator::Release or its deleter)
    // with the raiser, after the host has seen it.
    EventRaiser& set(const std::string& name, std::shared_ptr<IContract> attachment);

    const Event& event() const { return event_; }

private:
    void raise();

    Analytics::IEventSink* sink_;
    const IContract* sender_;
    HandlerGatePtr gate_;
    LoggerOwner logger_;
    Event event_;
    std::vector<std::pair<std::string, std::string>> properties_;
    std::vector<std::pair<std::string, std::shared_ptr<IContract>>> attachments_;
};

using EventRaiserPtr = std::shared_ptr<EventRaiser>;

class EventFactory {
public:
    // sender: what the host is told events come from (the detector).
    EventFactory(Analytics::IEventSink* sink, const IContract* sender, HandlerGatePtr gate,
                 LoggerOwner logger);

    EventRaiserPtr RaiseImmediateEvent(const std::string& name, std::uint64_t timestamp,
                                       const std::string& description);
    // state true opens the event, false closes it.
    EventRaiserPtr RaiseTwoPhaseEvent(const std::string& name, bool state, std::uint64_t timestamp,
                                      const std::string& description, const std::string& detail);
    EventRaiserPtr RaisePeriodicalEvent(const std::string& name, std::uint64_t timestamp);

private:
    EventRaiserPtr make(EventRaiser::Event event);

    Analytics::IEventSink* sink_;
    const IContract* sender_;
    HandlerGatePtr gate_;
    LoggerOwner logger_;
};

} // namespace Orix::Utility::Detector
