#pragma once
// The eventtopic argument of a metadata stream: topic expressions joined by
// "|" (as the driver sends them) or "," (as the documentation writes them),
// each a path of topic names with an optional namespace prefix, "onvif:"
// or "tns1:" for ONVIF roots, "axis:" or "tnsaxis:" for Axis nodes:
//
//   onvif:VideoSource/axis:Tampering//.           the topic and everything below it
//   axis:CameraApplicationPlatform/VMD/Camera1Profile1/.   the topic and its children
//   onvif:Device/axis:IO/Port                      exactly the topic
//
// An unprefixed name matches a name in any namespace. An empty filter
// matches every topic.
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

class EventTopicFilter {
public:
    // nullopt with why filled in for an expression a camera would refuse.
    static std::optional<EventTopicFilter> parse(const std::string& expression, std::string& why);

    // topic as notifications carry it: "tns1:VideoSource/tnsaxis:Tampering".
    bool matches(const std::string& topic) const;
    // A filter that matches no topic.
    static EventTopicFilter nothing();
    bool empty() const { return pieces_.empty(); }

private:
    struct Name {
        std::string space; // "onvif", "axis" or empty
        std::string local;
    };
    enum class Depth { Exact, Children, Descendants };
    struct Piece {
        std::vector<Name> path;
        Depth depth = Depth::Exact;
    };

    static std::optional<Name> parseName(const std::string& text);
    static bool sameName(const Name& filter, const Name& topic);

    std::vector<Piece> pieces_;
    bool nothing_ = false;
};

} // namespace Camsim
