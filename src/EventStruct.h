#pragma once
#include <string>

namespace Vapixcam {

// One notification of the camera's event metadata stream.
struct EventStruct {
    std::string topic;   // after "tnsaxis:": "Tampering", "VMD3/vmd3_video_1"
    std::string utcTime; // the UtcTime attribute: "2019-05-03T10:15:30.250000Z"
    std::string source;  // inner markup of tt:Source (SimpleItems)
    std::string data;    // inner markup of tt:Data (SimpleItems)
};

inline bool operator==(const EventStruct& a, const EventStruct& b)
{
    return a.topic == b.topic && a.utcTime == b.utcTime && a.source == b.source && a.data == b.data;
}

} // namespace Vapixcam
