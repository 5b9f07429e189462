#pragma once
// The camera's audio over HTTP:
//   GET  /axis-cgi/audio/receive.cgi[?audiochannel=N|camera=N]  the input's sound, sent in real time
//        as one endless body ("audio/basic", "audio/G726-32", "audio/G726-24", or ADTS frames as
//        "audio/mpeg4-generic") until the client goes away
//   POST /axis-cgi/audio/transmit.cgi  sound for the speaker as one long body: a Content-Length
//        (answered 200 when complete), chunked, or open-ended until the client closes; content
//        types "audio/basic", "audio/G726-32", "audio/G726-24", "audio/axis-mulaw-128"
// and for tests the control route
//   GET    /camsim/audio  {"transmissions":[{"contentType":..,"bytes":N,"complete":bool,
//                          "data":BASE64},..]} oldest first (the last kMaxKept)
//   DELETE /camsim/audio  forgets them
// Only one transmission at a time (half duplex); a second one is answered 503.
#include "AudioClip.h"
#include "HttpMessage.h"
#include "StreamingRoutes.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace Camsim {

class Camera;
class Router;

struct Transmission {
    mutable std::mutex mutex; // the fields below
    std::string contentType;
    std::string data;
    bool complete = false;   // the body ended as announced (length or last chunk)
    bool open = true;        // the client is still sending
    std::uint64_t dropped = 0; // bytes beyond kMaxTransmissionBytes
};

class AudioCgi : public StreamingRoutes {
public:
    static constexpr std::size_t kMaxKept = 8;
    static constexpr std::size_t kMaxTransmissionBytes = 16 * 1024 * 1024;

    AudioCgi(Camera& camera, std::string mediaDir) : camera_(camera), library_(std::move(mediaDir)) {}

    void registerRoutes(Router& router);

    bool handles(const std::string& path) const override;
    void open(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head, std::string initial,
              unsigned version) override;

    // Admission answers (200: the connection is handed to open()).
    HttpResponse admitReceive(const HttpRequest& request);
    HttpResponse admitTransmit(const HttpRequest& request);
    HttpResponse control(const HttpRequest& request);

private:
    std::shared_ptr<const AudioStream> streamFor(const HttpRequest& request, std::string& error, int& status);
    std::shared_ptr<Transmission> beginTransmission(const std::string& contentType);

    Camera& camera_;
    AudioLibrary library_;
    std::mutex mutex_;
    std::deque<std::shared_ptr<Transmission>> transmissions_;
};

// Incremental reader of a request body: Content-Length, chunked (RFC 9112
// section 7.1) or everything until the connection closes. Bounded: a chunk
// size line over 1 KiB or a malformed one is an error.
class BodyReader {
public:
    enum class Framing { Length, Chunked, UntilClose };
    enum class State { Reading, Done, Error };

    BodyReader(Framing framing, std::uint64_t length) : framing_(framing), remaining_(length)
    {
        if (framing_ == Framing::Length && remaining_ == 0)
            state_ = State::Done;
    }
    // Appends the body bytes found in data to out.
    State feed(const char* data, std::size_t size, std::string& out);
    State state() const { return state_; }
    bool untilClose() const { return framing_ == Framing::UntilClose; }

private:
    enum class Chunk { Size, Data, DataEnd, Trailer };
    Framing framing_;
    std::uint64_t remaining_;
    State state_ = State::Reading;
    Chunk chunk_ = Chunk::Size;
    std::string line_;
};

} // namespace Camsim
