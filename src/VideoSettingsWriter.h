#pragma once
// Carries out the settings a host applied to a video source: the light
// POSTs and the param.cgi update run together (AsyncMultiRequest); a
// capture-mode change is followed, once the update succeeded, by the reboot
// POST to /axis-cgi/firmwaremanagement.cgi. A change that only touches the
// RTSP session (transport, main-stream codec) sends nothing and asks for a
// new session.
//
//   auto writer = VideoSettingsWriter::create(io, info, logger, "vs 0.1");
//   writer->start(container, inputs, [](std::uint32_t result, bool newSession,
//                                       bool profileRewritten) { ... });
//
// The completion runs exactly once, on io, never inside start().
#include "VideoUpdateBuilder.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/http/HttpClient.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>

namespace Orix::Utility {
class AsyncMultiRequest;
}

namespace Vapixcam {

class VideoSettingsWriter : public std::enable_shared_from_this<VideoSettingsWriter>,
                            public Orix::LoggerOwner {
public:
    using Completion =
        std::function<void(std::uint32_t result, bool needsNewSession, bool profileNeedsRewrite)>;

    static std::shared_ptr<VideoSettingsWriter> create(boost::asio::io_context& io,
                                                       Orix::asio::ConnectionInfoPtr info,
                                                       Orix::LoggerPtr logger,
                                                       const std::string& logPrefix = {});

    // container: the source's container, the change already merged into it
    // (updateParams); while configuration is blocked the change is kept
    // there and the completion reports success with nothing sent.
    // inputs.values is set to &container. Both container and
    // *inputs.acquired must outlive the writer's completion.
    void start(Orix::Utility::ParametersContainer& container, VideoUpdateInputs inputs,
               Completion done);
    // Safe from any thread; the completion then reports 0x107.
    void cancel();

private:
    VideoSettingsWriter(boost::asio::io_context& io, Orix::asio::ConnectionInfoPtr info,
                        Orix::LoggerPtr logger, const std::string& logPrefix);

    void send(const VideoUpdatePlan& plan);
    void handleSent(std::uint32_t result, const VideoUpdatePlan& plan);
    void requestReboot(const VideoUpdatePlan& plan);
    void recordRefusal(std::uint32_t code);
    void finish(std::uint32_t result, bool needsNewSession, bool profileRewrite);

    boost::asio::io_context& io_;
    Orix::asio::ConnectionInfoPtr info_;
    Completion done_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::shared_ptr<Orix::Utility::AsyncMultiRequest> multi_;
    Orix::http::RequestHandlePtr reboot_;
    std::uint32_t refusal_ = 0; // first refusal the camera wrote in a 200 answer
};

} // namespace Vapixcam
