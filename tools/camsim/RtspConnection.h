#pragma once
// One RTSP control connection and the session on it: reads requests (and
// the client's interleaved RTCP), answers OPTIONS, DESCRIBE, SETUP, PLAY,
// PAUSE, TEARDOWN, GET_PARAMETER and SET_PARAMETER as an Axis camera does,
// and streams through a MediaStreamer. Runs on its byte stream's executor;
// for a tunnel the requests arrive through feed() from the POST leg.
//
// Session states (one session per connection):
//   Init --SETUP--> Ready --PLAY--> Playing --PAUSE--> Ready
//   any --TEARDOWN / end fault on UDP / UDP time-out--> Init (id forgotten: 454)
#include "FaultInjector.h"
#include "RecordingStore.h"
#include "RtspMessage.h"
#include "RtspStreamRequest.h"

#include <boost/asio/any_io_executor.hpp>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

class Camera;
class EventEngine;
class MediaLibrary;
class AudioLibrary;
struct AudioStream;
class MediaStreamer;
class RequestLog;
class RecordingStore;
class RtspAuth;
class RtspByteStream;

inline constexpr const char* kMediaPath = "/axis-media/media.amp";

// What every connection of one camera shares.
struct RtspContext {
    Camera& camera;
    FaultInjector& faults;
    RequestLog& log;
    RtspAuth& auth;
    MediaLibrary& media;
    std::string bindAddress;
    AudioLibrary& audio;
    bool refuseTcp = false; // interleaved TCP on a plain RTSP connection gets 461
    const RecordingStore* recordings = nullptr;
    EventEngine* events = nullptr; // the metadata track of event=on
};

class RtspConnection : public std::enable_shared_from_this<RtspConnection> {
public:
    static constexpr std::size_t kMaxQueuedBytes = 8 * 1024 * 1024;

    RtspConnection(RtspContext& context, std::unique_ptr<RtspByteStream> stream, bool tunnelled, bool secure);
    ~RtspConnection();

    // Writes preface (the tunnel's HTTP answer) and starts reading: requests,
    // or on a tunnel's GET leg only to notice the close.
    void start(std::string preface = {});
    // Request bytes from a tunnel's POST leg.
    void feed(const std::string& bytes);
    void close();
    // Runs once the connection is closed.
    void onClose(std::function<void()> fn) { onClose_ = std::move(fn); }
    bool closed() const { return closed_; }
    boost::asio::any_io_executor executor() const { return executor_; }

private:
    enum class State { Init, Ready, Playing };
    enum class After { Nothing, Close };

    struct Reply {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        After after = After::Nothing;
        bool silent = false;                  // close without an answer
        std::chrono::milliseconds delay{0};
        std::string fault;                    // for the request log
    };

    void doRead();
    void handleRead(const boost::system::error_code& ec, std::size_t n);
    void process();
    void handleRequest(const RtspRequest& request);
    void send(std::string bytes, bool media);
    void doWrite();
    void handleWrite(const boost::system::error_code& ec);

    Reply answer(const RtspRequest& request);
    Reply describe(const RtspRequest& request);
    Reply setup(const RtspRequest& request);
    Reply play(const RtspRequest& request);
    Reply pause();
    Reply teardown();
    // The fault armed for the media path, taken once per connection.
    void takeFault(Reply& reply);
    void endSession();
    void addSessionHeader(Reply& reply) const;
    std::optional<StreamRequest> resolve(const std::string& url, Reply& reply);
    // The sound of the audio input that belongs to the asked camera (the
    // first input when the camera has none of its own); null when unusable.
    std::shared_ptr<const AudioStream> audioFor(const StreamRequest& request);
    std::string baseUrl(const std::string& url) const;
    void logRequest(const RtspRequest& request, int status, const std::string& fault);

    RtspContext& context_;
    std::unique_ptr<RtspByteStream> stream_;
    boost::asio::any_io_executor executor_;
    bool tunnelled_;
    bool secure_;
    RtspReader reader_;
    std::vector<char> readBuffer_;
    std::deque<std::string> queue_;
    std::size_t queued_ = 0;
    std::string writing_;
    bool writeInFlight_ = false;
    bool closeAfterWrite_ = false;
    bool closed_ = false;
    std::function<void()> onClose_;

    State state_ = State::Init;
    std::string sessionId_;
    unsigned sessionTimeout_ = 60;
    std::shared_ptr<MediaStreamer> streamer_;
    std::vector<std::string> trackUrls_;   // per streamer track
    std::vector<unsigned> trackIndexes_;   // stream=N of each streamer track
    bool udp_ = false;
    bool faultTaken_ = false;
    std::optional<FaultSpec> fault_;
    std::uint64_t sdpSessionId_ = 0;
    std::optional<std::string> eventTopic_;      // set up with a metadata track
    std::shared_ptr<void> eventSubscription_;    // from the first PLAY on

    // Playback of a recording (media.amp?recordingid=...).
    std::optional<Recording> recording_;
    bool recordingStarted_ = false;
    std::optional<std::string> seekRecording(const std::string& range);
    std::size_t recordingFrames() const;
};

} // namespace Camsim
