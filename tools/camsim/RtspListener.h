#pragma once
// The RTSP port until the media server exists: accepts connections and
// answers every request "RTSP/1.0 501 Not Implemented" with its CSeq, so a
// client's reachability probe and error paths have something real to hit.
#include <boost/system/error_code.hpp>

#include <memory>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Camsim {

class RtspListener {
public:
    static constexpr std::size_t kHeaderLimit = 8 * 1024;
    static constexpr std::size_t kBodyLimit = 64 * 1024;

    explicit RtspListener(boost::asio::io_context& io);
    ~RtspListener();

    boost::system::error_code listen(const std::string& address, unsigned short port);
    unsigned short port() const;
    void stop();

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// Value of the named header (case-insensitive) in an RTSP request head, or empty.
std::string rtspHeader(const std::string& head, const std::string& name);

} // namespace Camsim
