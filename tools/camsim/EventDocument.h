#pragma once
// The documents of the event metadata track as Axis firmware writes them:
// an XML declaration, the tt:MetadataStream element and one notification on
// a single line, each of the three lines ending in LF. Plain text
// functions, no sockets and no state.
#include "MediaPacketiser.h"

#include <chrono>
#include <string>
#include <vector>

namespace Camsim {

struct SimpleItem {
    std::string name;
    std::string value;
};

// Stateful events announce their current state with Initialized after PLAY
// and every change with Changed; pulses carry no PropertyOperation.
enum class PropertyOperation { None, Initialized, Changed };

struct Notification {
    std::string topic;   // "tns1:VideoSource/tnsaxis:Tampering"
    std::string utcTime; // "2019-01-15T07:50:45.206264Z"
    PropertyOperation operation = PropertyOperation::None;
    std::vector<SimpleItem> source;
    std::vector<SimpleItem> data;
    std::string elementData; // XML after the simple items of tt:Data (the tracker's tt:ElementItem)
};

// The document a camera sends right after PLAY.
std::string emptyMetadataDocument();

// One notification. producer: the ProducerReference uuid, constant per camera.
std::string notificationDocument(const Notification& notification, const std::string& producer);

// "2019-01-15T07:50:45.206264Z": UTC with microseconds, as the firmware writes it.
std::string utcTimeText(std::chrono::system_clock::time_point time);

// A document cut into RTP payloads of at most maxPayload bytes (at least 1),
// the marker on the last one.
std::vector<RtpPayload> metadataPayloads(const std::string& document, std::size_t maxPayload);

// The SDP media block of the metadata track (payload type 98), CRLF lines.
constexpr unsigned kMetadataPayloadType = 98;
std::string metadataSdpLines(const std::string& control);

} // namespace Camsim
