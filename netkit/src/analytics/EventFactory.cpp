#include <netkit/analytics/EventFactory.h>

#include <exception>

namespace Orix::Utility::Detector {

EventRaiser::EventRaiser(Analytics::IEventSink* sink, const IContract* sender, HandlerGatePtr gate,
                         LoggerOwner logger, Event event)
    : sink_(sink), sender_(sender), gate_(std::move(gate)), logger_(std::move(logger)),
      event_(std::move(event))
{
}

EventRaiser::~EventRaiser()
{
    raise();
}

EventRaiser& EventRaiser::set(const std::string& name, const std::string& value)
{
    properties_.emplace_back(name, value);
    return *this;
}

EventRaiser& EventRaiser::set(const std::string& name, std::shared_ptr<IContract> attachment)
{
    if (attachment)
        attachments_.emplace_back(name, std::move(attachment));
    return *this;
}

void EventRaiser::raise()
{
    if (sink_ == nullptr)
        return;
    std::vector<Analytics::EventProperty> properties;
    properties.reserve(properties_.size());
    for (const auto& [name, value] : properties_)
        properties.push_back({name.c_str(), value.c_str()});
    std::vector<Analytics::EventAttachment> attachments;
    attachments.reserve(attachments_.size());
    for (const auto& [name, object] : attachments_)
        attachments.push_back({name.c_str(), object.get()});
    const auto propertyCount = static_cast<std::uint32_t>(properties.size());
    const auto call = [&] {
        switch (event_.kind) {
        case EventKind::immediate:
            sink_->ImmediateEvent(sender_, event_.name.c_str(), event_.timestamp,
                                  event_.description.c_str(), properties.data(), propertyCount);
            break;
        case EventKind::twoPhase:
            sink_->TwoPhaseEvent(sender_, event_.name.c_str(), event_.state, event_.timestamp,
                                 event_.description.c_str(), event_.detail.c_str(),
                                 properties.data(), propertyCount);
            break;
        case EventKind::periodical:
            sink_->PeriodicalEvent(sender_, event_.name.c_str(), event_.timestamp,
                                   properties.data(), propertyCount, attachments.data(),
                                   static_cast<std::uint32_t>(attachments.size()));
            break;
        }
    };
    try {
        if (gate_)
            gate_->pass(call);
        else
            call();
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, " Event '" << event_.name << "' raised an exception: " << e.what());
    } catch (...) {
        ORIX_LOG(logger_, LogError, " Event '" << event_.name << "' raised an unknown exception");
    }
}

EventFactory::EventFactory(Analytics::IEventSink* sink, const IContract* sender, HandlerGatePtr gate,
                           LoggerOwner logger)
    : sink_(sink), sender_(sender), gate_(std::move(gate)), logger_(std::move(logger))
{
}

EventRaiserPtr EventFactory::make(EventRaiser::Event event)
{
    return std::make_shared<EventRaiser>(sink_, sender_, gate_, logger_, std::move(event));
}

EventRaiserPtr EventFactory::RaiseImmediateEvent(const std::string& name, std::uint64_t timestamp,
                                                 const std::string& description)
{
    return make({EventKind::immediate, name, timestamp, false, description, {}});
}

EventRaiserPtr EventFactory::RaiseTwoPhaseEvent(const std::string& name, bool state,
                                                std::uint64_t timestamp,
                                                const std::string& description,
                                                const std::string& detail)
{
    return make({EventKind::twoPhase, name, timestamp, state, description, detail});
}

EventRaiserPtr EventFactory::RaisePeriodicalEvent(const std::string& name, std::uint64_t timestamp)
{
    return make({EventKind::periodical, name, timestamp, false, {}, {}});
}

} // namespace Orix::Utility::Detector
