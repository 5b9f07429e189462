#pragma once
// Where detectors raise host events. The host implements it on the object
// behind its IVideoAnalyticsHandler (found with QueryContract); a handler
// without it receives no events. Calls come from the device's I/O thread; the
// texts, properties and attachments are valid only during the call.
#include <cstdint>
#include <orix/IContract.h>

namespace Orix::Analytics {

// A named text value added to an event.
struct EventProperty {
    const char* name = "";
    const char* value = "";
};

// A named object handed with an event (a target list: ITargetEnumerator).
struct EventAttachment {
    const char* name = "";
    IContract* object = nullptr;
};

class IEventSink : public IContract {
public:
    // slot 3: something happened at timestamp (host time, ms).
    virtual void ImmediateEvent(const IContract* sender, const char* name, std::uint64_t timestamp,
                                const char* description, const EventProperty* properties,
                                std::uint32_t propertyCount) = 0;
    // slot 4: a condition began (state true) or ended (false).
    virtual void TwoPhaseEvent(const IContract* sender, const char* name, bool state,
                               std::uint64_t timestamp, const char* description,
                               const char* detail, const EventProperty* properties,
                               std::uint32_t propertyCount) = 0;
    // slot 5: a report made at regular intervals (one per metadata frame),
    // carrying attachments such as the targets seen at timestamp.
    virtual void PeriodicalEvent(const IContract* sender, const char* name,
                                 std::uint64_t timestamp, const EventProperty* properties,
                                 std::uint32_t propertyCount, const EventAttachment* attachments,
                                 std::uint32_t attachmentCount) = 0;
};

} // namespace Orix::Analytics
