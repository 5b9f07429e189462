#include "AudioDestination.h"

#include "AudioParameters.h"
#include "AudioSettings.h"

#include <netkit/http/ResponseCheck.h>
#include <netkit/http/StreamingPost.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/util/Contract.h>
#include <netkit/util/ErrorTranslation.h>

#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <deque>

namespace Vapixcam {

namespace {

constexpr const char* kTransmitPath = "/axis-cgi/audio/transmit.cgi";
constexpr auto kAuthorizationTimeout = std::chrono::seconds(5);
constexpr auto kConnectTimeout = std::chrono::seconds(10);
constexpr auto kWriteTimeout = std::chrono::seconds(5);

} // namespace

// One call's POST, on the destination's I/O context.
//
// States: idle --start--> authorizing --answer or time-out--> authorized
//   --first frame--> opening --head sent--> streaming; any failure -> idle
//   (the call ends), stop -> idle. Every completion checks the generation
//   it was started in, so a late one from an earlier call does nothing.
class AudioDestination::Transmit final : public Orix::Utility::AudioTransmission,
                                         public std::enable_shared_from_this<Transmit> {
public:
    enum class State { idle, authorizing, authorized, opening, streaming };

    Transmit(boost::asio::io_context& io, DeviceServices& device, std::shared_ptr<Orix::Utility::AudioCallState> call)
        : io_(io), device_(device), call_(std::move(call)), timer_(io)
    {
    }

    void start() override
    {
        stop();
        ++generation_;
        written_ = 0;
        dropped_ = 0;
        maxQueued_ = 0;
        loggedDrop_ = false;
        loggedInfo_ = false;
        // prepareRequester
        info_ = device_.connectionInfo();
        if (!info_) {
            ORIX_LOG(call_->log(), Orix::LogError, " Connection info is empty");
            return fail(Orix::NoConnection);
        }
        state_ = State::authorizing;
        // An empty POST first, so that the camera's challenge is answered
        // (and remembered) before audio flows.
        authorization_ = Orix::http::asyncPostEx(
            info_, kTransmitPath, std::string(), io_, std::chrono::milliseconds(kAuthorizationTimeout),
            [weak = weak_from_this(), generation = generation_](const boost::system::error_code& ec,
                                                                   const std::string&,
                                                                   const Orix::http::HttpResponse& response) {
                if (auto self = weak.lock(); self && self->generation_ == generation)
                    self->handleAuthorizationRequest(ec, response);
            },
            {{"Content-Type", "audio/basic"}});
    }

    void stop() override
    {
        ++generation_;
        state_ = State::idle;
        if (authorization_)
            authorization_->cancel();
        authorization_.reset();
        if (post_)
            post_->close();
        post_.reset();
        timer_.cancel();
        queue_.clear();
        writing_ = false;
    }

    void send(Orix::Utility::OutgoingAudioFrame frame) override
    {
        if (state_ == State::idle || !call_->inCall())
            return;
        if (!loggedInfo_) {
            loggedInfo_ = true;
            ORIX_LOG(call_->log(), Orix::LogDebug,
                     " Received audiobuffer info: algorithm = " << frame.algorithm << ", encoding = " << frame.encoding
                                                                << ", bitrate = " << frame.bitrate);
        }
        if (queue_.size() >= kMaxQueuedFrames) {
            queue_.pop_front();
            ++dropped_;
            if (!loggedDrop_) {
                loggedDrop_ = true;
                ORIX_LOG(call_->log(), Orix::LogNotice,
                         " The camera takes audio slower than it comes; dropping the oldest frames");
            }
        }
        queue_.push_back(std::move(frame));
        if (queue_.size() > maxQueued_)
            maxQueued_ = queue_.size();
        if (state_ == State::authorized)
            doOpen();
        else if (state_ == State::streaming)
            asyncWritePacket();
    }

    Statistics statistics() const { return {written_.load(), dropped_.load(), maxQueued_.load()}; }

private:
    void handleAuthorizationRequest(const boost::system::error_code& ec, const Orix::http::HttpResponse& response)
    {
        authorization_.reset();
        // A camera may hold an empty POST open as an endless body, so a
        // time-out is no failure: the challenge came with the first answer.
        if (ec && ec != Orix::http::error::timeout) {
            ORIX_LOG(call_->log(), Orix::LogError, " Authorization request failed: " << ec.message());
            return fail(Orix::Utility::translateSystemError(ec));
        }
        if (!ec && !Orix::Utility::isSuccessStatus(response.status) && response.status != 415)
            ORIX_LOG(call_->log(), Orix::LogWarning, " Authorization request answered " << response.status);
        state_ = State::authorized;
        if (!queue_.empty())
            doOpen();
    }

    void doOpen()
    {
        const auto& first = queue_.front();
        contentType_ = transmitContentType(first.algorithm, first.bitrate, first.encoding);
        Orix::http::HttpRequest head;
        head.method = "POST";
        head.target = kTransmitPath;
        head.headers = {{"Content-Type", contentType_}, {"Content-Length", kBodyLength}};
        state_ = State::opening;
        post_ = Orix::http::StreamingPost::create(io_, info_, std::move(head));
        const auto generation = generation_;
        post_->open(
            std::chrono::milliseconds(kConnectTimeout),
            [weak = weak_from_this(), generation](const boost::system::error_code& ec) {
                if (auto self = weak.lock(); self && self->generation_ == generation)
                    self->handleConnect(ec);
            },
            [weak = weak_from_this(), generation](const boost::system::error_code& ec, unsigned status) {
                if (auto self = weak.lock(); self && self->generation_ == generation)
                    self->handleEnd(ec, status);
            });
    }

    void handleConnect(const boost::system::error_code& ec)
    {
        if (ec) {
            ORIX_LOG(call_->log(), Orix::LogError, " Failed connect to device. Error : " << ec.message());
            return fail(Orix::Utility::translateSystemError(ec));
        }
        state_ = State::streaming;
        asyncWritePacket();
    }

    void handleEnd(const boost::system::error_code& ec, unsigned status)
    {
        ORIX_LOG(call_->log(), Orix::LogError,
                 " The device ended the transmission" << (status ? ", status " + std::to_string(status) : std::string())
                                                      << (ec ? ": " + ec.message() : std::string()));
        if (status == 401)
            return fail(Orix::Unauthorized);
        fail(ec ? Orix::Utility::translateSystemError(ec) : Orix::ConnectionLost);
    }

    void asyncWritePacket()
    {
        if (writing_ || queue_.empty() || state_ != State::streaming)
            return;
        writing_ = true;
        auto frame = std::move(queue_.front());
        queue_.pop_front();
        const auto generation = generation_;
        timer_.expires_after(kWriteTimeout);
        timer_.async_wait([weak = weak_from_this(), generation](const boost::system::error_code& ec) {
            auto self = weak.lock();
            if (!ec && self && self->generation_ == generation && self->post_) {
                // The camera stopped reading: the write ends with an error.
                self->post_->close();
                self->handleWritePacket(boost::asio::error::timed_out);
            }
        });
        post_->write(std::move(frame.data), [weak = weak_from_this(), generation](const boost::system::error_code& ec) {
            if (auto self = weak.lock(); self && self->generation_ == generation)
                self->handleWritePacket(ec);
        });
    }

    void handleWritePacket(const boost::system::error_code& ec)
    {
        if (!writing_)
            return;
        writing_ = false;
        timer_.cancel();
        if (ec) {
            ORIX_LOG(call_->log(), Orix::LogError, " Failed to write packet: " << ec.message());
            return fail(Orix::Utility::translateSystemError(ec));
        }
        ++written_;
        asyncWritePacket();
    }

    // Ends the call on a failure of the transmission and tells the host.
    void fail(std::uint32_t result)
    {
        stop();
        if (call_->leave()) {
            ORIX_LOG(call_->log(), Orix::LogDebug, " HangUp, sent: " << call_->sent());
            call_->report(result ? result : Orix::GenericFailure);
        }
    }

    boost::asio::io_context& io_;
    DeviceServices& device_;
    std::shared_ptr<Orix::Utility::AudioCallState> call_;
    boost::asio::steady_timer timer_;
    Orix::asio::ConnectionInfoPtr info_;
    Orix::http::RequestHandlePtr authorization_;
    std::shared_ptr<Orix::http::StreamingPost> post_;
    std::deque<Orix::Utility::OutgoingAudioFrame> queue_;
    std::string contentType_;
    State state_ = State::idle;
    unsigned generation_ = 0;
    bool writing_ = false;
    bool loggedDrop_ = false;
    bool loggedInfo_ = false;
    // Read by statistics() from host threads.
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> maxQueued_{0};
};

AudioDestination::AudioDestination(Orix::GDRV::IAudioDestinationHandler* handler, std::uint32_t channel,
                                   DeviceServices& device)
    : AudioDestinationBase(handler, channel, device, device.logger(), "ad " + std::to_string(channel))
{
    transmit_ = std::make_shared<Transmit>(ioContext(), device, callState());
    setTransmission(transmit_);
}

AudioDestination::~AudioDestination()
{
    joinThread();
}

Orix::IContract* AudioDestination::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* AudioDestination::QueryConstContract(const char* name) const
{
    using namespace Orix;
    if (Utility::isContract<IContract>(name) || Utility::isContract<GDRV::IAudioDestination>(name))
        return static_cast<const GDRV::IAudioDestination*>(this);
    if (Utility::isContract<IAsyncAdjuster>(name))
        return static_cast<const IAsyncAdjuster*>(this);
    if (Utility::isContract<IDynamicParametersProvider>(name))
        return static_cast<const IDynamicParametersProvider*>(this);
    return nullptr;
}

AudioDestination::Statistics AudioDestination::statistics() const
{
    // Read on the destination's thread would need a round trip; the counts
    // are for tests and diagnostics after a call.
    return transmit_->statistics();
}

void AudioDestination::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    const auto collected = takeCollected();
    const auto* self = static_cast<const Orix::GDRV::IAudioDestination*>(this);
    const auto it = collected.find("outputGain");
    if (it == collected.end()) {
        completion->finish(self, Orix::Ok);
        return;
    }
    const std::string value = *settingText(collected, "outputGain");
    const auto info = device().connectionInfo();
    if (!info || value.empty() || value.find_first_not_of("-0123456789") != std::string::npos) {
        completion->finish(self, info ? Orix::InvalidArgument : Orix::NoConnection);
        return;
    }
    const std::string uri = "/axis-cgi/param.cgi?action=update&AudioSource.A" + std::to_string(channel()) +
                            ".OutputGain=" + value;
    auto logger = std::make_shared<Orix::LoggerOwner>(getLogger(), logPrefix());
    Orix::http::asyncGetEx(info, uri, device().ioContext(), std::nullopt,
                           [completion, logger, self, uri](const boost::system::error_code& ec, const std::string& body,
                                                           const Orix::http::HttpResponse& response) {
                               completion->finish(self, Orix::Utility::checkHttpAnswer(*logger, ec, body, response, uri));
                           });
}

void AudioDestination::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    auto completion = Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    const auto* self = static_cast<const Orix::GDRV::IAudioDestination*>(this);
    if (!device().connectionInfo()) {
        completion->failed(self, Orix::NoConnection);
        return;
    }
    auto logger = std::make_shared<const Orix::LoggerOwner>(getLogger(), logPrefix());
    requestAudioDefinitions(device(), channel(), logger, [completion, logger, self](
                                                             std::uint32_t result,
                                                             const std::vector<AudioParameterDefinition>& definitions) {
        if (result)
            return completion->failed(self, result);
        Orix::GDRV::PropertySet set;
        set["transportProtocol"] = Orix::GDRV::PropertyStringEnum{"transportProtocol", {"tcp", "udp"}, "tcp"};
        std::string algorithm;
        for (const auto& d : definitions) {
            if (d.name == "OutputGain") {
                if (auto p = audioProperty(d, "outputGain"))
                    set["outputGain"] = *p;
                else
                    ORIX_LOG(*logger, Orix::LogNotice,
                             " Cannot get current value for param '" << d.name << "'. Skip this param");
            } else if (d.name == "AudioEncoding" && d.value) {
                algorithm = *d.value == "g726" ? "G.726" : *d.value == "g711" ? "G.711" : "";
            }
        }
        set["algorithm"] =
            Orix::GDRV::PropertyStringEnum{"algorithm", {"G.711", "G.726"}, algorithm.empty() ? "G.711" : algorithm};
        // What the speaker takes over HTTP: the transmit content types' pairs.
        const bool g726 = algorithm == "G.726";
        set["encoding"] = Orix::GDRV::PropertyStringEnum{"encoding", {"u-law"}, "u-law"};
        set["bitRate"] = g726 ? Orix::GDRV::PropertyIntEnum{"bitRate", {24000, 32000}, 32000}
                              : Orix::GDRV::PropertyIntEnum{"bitRate", {64000}, 64000};
        set["samplerate"] = Orix::GDRV::PropertyIntEnum{"samplerate", {8000}, 8000};
        completion->completed(self, audioSettingsDocument(set, *logger));
    });
}

} // namespace Vapixcam
