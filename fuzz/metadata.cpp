// Documents of the event metadata track, as the camera sends them after the
// RTP layer has put a document together, and the SimpleItems detectors read
// out of a notification's Source and Data.
//
// Input: one byte choosing a chunk size (1..256), then the document.
// Checks: the reader's bounds hold (document size, topic, Source/Data,
// notification count); feeding the document in chunks gives exactly what
// feeding it at once gives; an accepted UtcTime lies before the year 10000;
// SimpleItem reading stays within its bound.
#include "FuzzSupport.h"

#include "MetadataParser.h"

#include <netkit/util/HostTime.h>

using Vapixcam::NotificationReader;

namespace {

struct Outcome {
    NotificationReader::Status status;
    std::vector<Vapixcam::EventStruct> events;
};

Outcome read(std::string_view document, std::size_t chunk)
{
    NotificationReader reader;
    for (std::size_t pos = 0; pos < document.size(); pos += chunk)
        reader.feed(document.data() + pos, std::min(chunk, document.size() - pos));
    reader.finish();
    return {reader.status(), reader.take()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::size_t chunk = 1 + input.byte();
    const std::string_view document = input.rest();

    const Outcome whole = read(document, document.size() ? document.size() : 1);
    const Outcome pieces = read(document, chunk);
    FUZZ_CHECK(whole.status == pieces.status);
    FUZZ_CHECK(whole.events == pieces.events);

    if (document.size() > NotificationReader::kMaxDocumentBytes)
        FUZZ_CHECK(whole.status == NotificationReader::Status::tooLarge && whole.events.empty());
    FUZZ_CHECK(whole.events.size() <= NotificationReader::kMaxNotifications);
    for (const auto& event : whole.events) {
        FUZZ_CHECK(!event.topic.empty());
        FUZZ_CHECK(event.topic.size() <= NotificationReader::kMaxTopicBytes);
        FUZZ_CHECK(event.source.size() <= NotificationReader::kMaxCaptureBytes);
        FUZZ_CHECK(event.data.size() <= NotificationReader::kMaxCaptureBytes);
        FUZZ_CHECK(event.utcTime.size() <= NotificationReader::kMaxAttributeBytes);
        if (const auto ms = Orix::Utility::utcTextToTimeStamp(event.utcTime))
            FUZZ_CHECK(*ms < 253402300800000ull); // before year 10000
        FUZZ_CHECK(Vapixcam::readSimpleItems(event.data, 8).size() <= 8);
        FUZZ_CHECK(Vapixcam::readSimpleItems(event.source, 8).size() <= 8);
    }

    Vapixcam::MetadataParser parser(Fuzz::sinkLogger(), [](const std::vector<Vapixcam::EventStruct>& events) {
        FUZZ_CHECK(!events.empty());
    });
    parser.process(reinterpret_cast<const std::uint8_t*>(document.data()), document.size());
    return 0;
}
