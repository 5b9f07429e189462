#pragma once
// Settings of a detector: the values of IAsyncAdjuster plus named visual
// elements (detection and exclusion areas, windows). Elements are kept until
// the next ApplySettings, like values. The pointers are valid only during the
// call; the detector copies what it keeps.
#include <cstdint>
#include <orix/Handlers.h>
#include <orix/analytics/VisualElements.h>

namespace Orix::Analytics {

class IVisualAsyncAdjuster : public IAsyncAdjuster {
public:
    // slot 8: rectangles under a name; 0, or a result code.
    virtual std::uint32_t SetRectangleArray(const char* name, const NormalizedRect* rectangles,
                                            std::uint32_t count) = 0;
    // slot 9: a mask of width x height cells, row by row from the top left,
    // a non-zero byte marking a masked cell.
    virtual std::uint32_t SetMask(const char* name, const std::uint8_t* cells, std::uint32_t width,
                                  std::uint32_t height) = 0;
    // slot 10: polylines under a name ("detectionArea", "excludeArea").
    virtual std::uint32_t SetPolylineArray(const char* name, const Polyline* polylines,
                                           std::uint32_t count) = 0;
};

} // namespace Orix::Analytics
