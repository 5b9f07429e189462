#pragma once
// Routes whose requests outlive one answer (an endless audio body going
// out, a long POST coming in). The HTTP server dispatches the request head
// as usual (authentication, faults, the request log, the route's admission
// answer); a 200 hands the connection over here with whatever bytes came
// after the head, any other answer is sent and the connection closed.
#include "HttpMessage.h"

#include <memory>
#include <string>

namespace Camsim {

class RtspByteStream;

class StreamingRoutes {
public:
    virtual ~StreamingRoutes() = default;
    virtual bool handles(const std::string& path) const = 0;
    // version: 10 or 11, as on the request line.
    virtual void open(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head, std::string initial,
                      unsigned version) = 0;
};

} // namespace Camsim
