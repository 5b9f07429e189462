#pragma once
// One frame of the object tracker's metadata (the tt:Data text of an
// AnalyticVideoTracker notification) read into the targets the host lists:
//
//   <tt:ElementItem Name="Objects"><tt:Frame UtcTime="...">
//     <tt:Object ObjectId="12">
//       <tt:Appearance>
//         <tt:Shape><tt:BoundingBox left="-0.5" top="0.5" right="0" bottom="-0.25"/></tt:Shape>
//         <tt:Color><tt:Color X="200" Y="40" Z="40"/></tt:Color>
//       </tt:Appearance>
//       <tt:Behaviour><tt:Extension>Changed</tt:Extension></tt:Behaviour>
//     </tt:Object>
//   </tt:Frame></tt:ElementItem>
//
// Boxes are in the camera's frame (-1..1, y up); targets get the host's
// normalised frame (0..1, origin top left). Only objects whose behaviour is
// "Created" or "Changed" are listed.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Vapixcam {

struct TrackedTarget {
    std::uint32_t id = 0;
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    std::optional<std::array<double, 3>> rgb; // X, Y, Z of the object's colour
};

struct TrackerFrame {
    std::vector<TrackedTarget> targets;
    std::size_t colourFailures = 0; // objects whose colour could not be read
};

// The host rectangle of a camera bounding box.
TrackedTarget boxToTarget(double left, double top, double right, double bottom);

// False with the reason in error when the text is not XML, or an object
// lacks its bounding box or has an ObjectId that is not a number; nothing
// of the frame is then listed.
bool readTrackerFrame(const std::string& data, TrackerFrame& out, std::string& error);

} // namespace Vapixcam
