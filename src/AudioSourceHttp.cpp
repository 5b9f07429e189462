#include "AudioSource.h"

#include "AudioParameters.h"

#include <netkit/audio/AudioFilter.h>
#include <netkit/http/HttpStream.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/util/GlobalService.h>

#include <boost/asio/error.hpp>

namespace Vapixcam {

namespace {

using Orix::Utility::AudioBuffer;

// What a session of the HTTP transport keeps: the filter chosen by the
// answer's content type, and the stream handle.
struct HttpSession {
    std::shared_ptr<Orix::Utility::HttpAudioFilter> filter;
    Orix::http::RequestHandlePtr handle;
};

} // namespace

AudioSource::Session AudioSource::openHttp(const SessionEnded& ended, const Orix::asio::ConnectionInfoPtr& info)
{
    Orix::http::HttpRequest request;
    request.target = "/axis-cgi/audio/receive.cgi?audiochannel=" + std::to_string(channel_ + 1);
    ORIX_LOG(*this, Orix::LogDebug, " Begin receive audio by http with url: " << request.target);
    auto session = std::make_shared<HttpSession>();
    const auto lifetime = this->lifetime();
    const std::weak_ptr<HttpSession> weakSession = session;
    const auto sink = [lifetime, weakSession](const AudioBuffer& buffer) {
        auto self = lifetime.lock();
        auto current = weakSession.lock();
        if (self && current && (*self)->httpFilter_ == current->filter)
            (*self)->deliver(buffer);
    };
    Orix::http::HttpStreamHandlers handlers;
    handlers.onResponse = [lifetime, weakSession, sink](const Orix::http::HttpResponse& response) {
        auto self = lifetime.lock();
        auto current = weakSession.lock();
        if (!self || !current || !Orix::Utility::isSuccessStatus(response.status))
            return;
        const std::string* type = response.find("Content-Type");
        const auto format = type ? receivedAudioFormat(*type) : std::nullopt;
        if (!format) {
            ORIX_LOG(**self, Orix::LogError,
                     " Cannot initialize audio filter for content type '" << (type ? *type : std::string()) << "'");
            return;
        }
        if (format->algorithm == Orix::Utility::kAlgorithmAac) {
            current->filter = Orix::Utility::createAacSendingFilter(sink);
        } else {
            Orix::Utility::AudioFormat audio;
            audio.algorithm = format->algorithm;
            audio.bitrate = format->bitrate;
            current->filter = Orix::Utility::createG7xxSendingFilter(audio, sink);
        }
        (*self)->httpFilter_ = current->filter;
    };
    handlers.onData = [lifetime, weakSession](const char* data, std::size_t size) {
        auto self = lifetime.lock();
        auto current = weakSession.lock();
        if (self && current && current->filter)
            current->filter->push(reinterpret_cast<const std::uint8_t*>(data), size, Orix::Utility::timeStamp());
    };
    handlers.onEnd = [lifetime, weakSession, ended](const boost::system::error_code& error,
                                                    const Orix::http::HttpResponse& response) {
        auto self = lifetime.lock();
        auto current = weakSession.lock();
        boost::system::error_code result = error;
        if (!result && !Orix::Utility::isSuccessStatus(response.status))
            result = Orix::http::make_error_code(response.status == 404 ? Orix::http::error::notFound
                                                                        : Orix::http::error::malformedResponse);
        else if (!result && current && !current->filter)
            result = Orix::http::make_error_code(Orix::http::error::malformedResponse);
        else if (!result)
            result = boost::asio::error::eof; // an endless body that ended
        if (self && current && (*self)->httpFilter_ == current->filter)
            (*self)->httpFilter_.reset();
        ended(result, false);
    };
    Orix::http::HttpStreamTimeouts timeouts;
    timeouts.stall = std::chrono::seconds(10);
    session->handle = Orix::http::openHttpStream(info, std::move(request), ioContext(), timeouts, std::move(handlers));
    return [session] { session->handle->cancel(); };
}

} // namespace Vapixcam
