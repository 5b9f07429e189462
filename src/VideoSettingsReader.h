#pragma once
// One acquisition of a video source's settings: the second stream's profile
// first, then the ImageSource/PTZ definitions, the Image definitions and the
// light information, one request after another on the device's io_context;
// then the values are stored in the source's container, what is not
// applicable is withdrawn, and the settings document is built.
//
//   auto reader = VideoSettingsReader::create(io, inputs, logger, "vs 0.0");
//   reader->start([](std::uint32_t result, const std::string& json) { ... });
//
// The completion runs exactly once, on io, never inside start(): with 0 and
// the document, with the translated error of the first failed request, or
// with 0x107 after cancel().
#include "AcquiredVideoSettings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/http/HttpClient.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/DriverInfo.h>
#include <set>
#include <string>
#include <vector>

namespace Vapixcam {

struct VideoSettingsReaderInputs {
    Orix::asio::ConnectionInfoPtr info;
    std::uint32_t channel = 0;
    std::uint32_t stream = 0;
    unsigned instanceIndex = 0;     // dewarp camera number - 1, else the channel
    unsigned cameraNumber = 1;
    std::string model;              // the camera's product number, for the ignore list
    Orix::GDRV::DriverInfoPtr driverInfo;
    std::vector<std::string> codecs{"H264"}; // the camera's codecs, host spelling
    std::string codec = "H264";     // the current codec
    // The ignore list read earlier by the same channel; read from the
    // repository when absent.
    std::optional<std::set<std::string>> ignored;
    // Where the values read are stored; must outlive the reader.
    Orix::Utility::ParametersContainer* values = nullptr;
};

class VideoSettingsReader : public std::enable_shared_from_this<VideoSettingsReader>,
                            public Orix::LoggerOwner {
public:
    using Completion = std::function<void(std::uint32_t result, const std::string& json)>;

    static std::shared_ptr<VideoSettingsReader> create(boost::asio::io_context& io,
                                                       VideoSettingsReaderInputs inputs,
                                                       Orix::LoggerPtr logger,
                                                       const std::string& logPrefix = {});

    void start(Completion done);
    // Safe from any thread.
    void cancel();

    // Valid after a successful completion.
    const AcquiredVideoSettings& acquired() const { return acquired_; }

    // The streaming property set's transport choices.
    static const std::vector<std::string>& transportProtocols();

private:
    struct Step {
        std::string method; // "GET" or "POST"
        std::string uri;
        std::string body;
        std::function<std::uint32_t(const boost::system::error_code&, const std::string&,
                                    const Orix::http::HttpResponse&)> handle;
    };

    VideoSettingsReader(boost::asio::io_context& io, VideoSettingsReaderInputs inputs,
                        Orix::LoggerPtr logger, const std::string& logPrefix);

    void buildSteps();
    void doNextStep();
    void handleStep(const boost::system::error_code& error, const std::string& body,
                    const Orix::http::HttpResponse& response);
    std::uint32_t handleProfile(const boost::system::error_code& error, const std::string& body,
                                const Orix::http::HttpResponse& response, const std::string& uri);
    std::uint32_t handleDefinitions(const boost::system::error_code& error,
                                    const std::string& body,
                                    const Orix::http::HttpResponse& response,
                                    const std::string& uri);
    std::uint32_t handleLights(const boost::system::error_code& error, const std::string& body,
                               const Orix::http::HttpResponse& response);
    void handleDynamicParameters();
    void applyFilter();
    void finish(std::uint32_t result, const std::string& json);

    boost::asio::io_context& io_;
    VideoSettingsReaderInputs inputs_;
    AcquiredVideoSettings acquired_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    Completion done_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::mutex requestMutex_;
    Orix::http::RequestHandlePtr request_;
};

} // namespace Vapixcam
