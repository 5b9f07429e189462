#include "AudioCgi.h"

#include "Camera.h"
#include "ControlEndpoint.h"
#include "RtspByteStream.h"
#include "RtspMessage.h"
#include "Router.h"

#include <boost/asio/steady_timer.hpp>

#include <array>
#include <iostream>

namespace Camsim {

namespace {

constexpr const char* kReceivePath = "/axis-cgi/audio/receive.cgi";
constexpr const char* kTransmitPath = "/axis-cgi/audio/transmit.cgi";
constexpr std::size_t kMaxChunkLine = 1024;

bool acceptedTransmitType(const std::string& contentType)
{
    const std::string type = toLower(contentType.substr(0, contentType.find(';')));
    for (const char* accepted : {"audio/basic", "audio/g726-32", "audio/g726-24", "audio/axis-mulaw-128"}) {
        if (type == accepted)
            return true;
    }
    return false;
}

std::string statusLine(unsigned version, int status)
{
    return std::string(version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ") + std::to_string(status) + " " +
           reasonPhrase(status) + "\r\n";
}

// ADTS header of an access unit (ISO/IEC 14496-3 1.A.2), no CRC.
std::string adtsFrame(const AudioStream& stream, const std::string& unit)
{
    const unsigned objectType = static_cast<unsigned char>(stream.aacConfig[0]) >> 3;
    const unsigned index = ((static_cast<unsigned char>(stream.aacConfig[0]) & 0x07) << 1) |
                           (static_cast<unsigned char>(stream.aacConfig[1]) >> 7);
    const unsigned channels = (static_cast<unsigned char>(stream.aacConfig[1]) >> 3) & 0x0F;
    const std::size_t length = unit.size() + 7;
    std::string h(7, '\0');
    h[0] = '\xFF';
    h[1] = '\xF1';
    h[2] = static_cast<char>(((objectType - 1) << 6) | (index << 2) | (channels >> 2));
    h[3] = static_cast<char>(((channels & 3) << 6) | ((length >> 11) & 3));
    h[4] = static_cast<char>((length >> 3) & 0xFF);
    h[5] = static_cast<char>(((length & 7) << 5) | 0x1F);
    h[6] = '\xFC';
    return h + unit;
}

// The input's sound, paced in real time, until the client goes away.
class AudioSender : public std::enable_shared_from_this<AudioSender> {
public:
    AudioSender(std::unique_ptr<RtspByteStream> stream, std::shared_ptr<const AudioStream> audio)
        : stream_(std::move(stream)), audio_(std::move(audio)), timer_(stream_->executor())
    {
    }

    void start(unsigned version)
    {
        out_ = statusLine(version, 200) + "Content-Type: " + audioContentType(*audio_) +
               "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
        due_ = std::chrono::steady_clock::now();
        doWatch();
        doWrite();
    }

private:
    // A read that only notices the client closing.
    void doWatch()
    {
        stream_->asyncReadSome(in_.data(), in_.size(), [self = shared_from_this()](auto ec, std::size_t) {
            if (ec)
                self->stop();
            else
                self->doWatch();
        });
    }

    void doWrite()
    {
        if (stopped_)
            return;
        stream_->asyncWrite(out_.data(), out_.size(), [self = shared_from_this()](auto ec, std::size_t) {
            if (ec)
                return self->stop();
            self->schedule();
        });
    }

    void schedule()
    {
        if (stopped_)
            return;
        const std::string chunk = nextAudioChunk(*audio_, position_);
        out_ = audio_->codec == AudioCodec::Aac ? adtsFrame(*audio_, chunk) : chunk;
        due_ += audioChunkDuration(*audio_);
        timer_.expires_at(due_);
        timer_.async_wait([self = shared_from_this()](auto ec) {
            if (!ec)
                self->doWrite();
        });
    }

    void stop()
    {
        if (stopped_)
            return;
        stopped_ = true;
        timer_.cancel();
        stream_->close();
    }

    std::unique_ptr<RtspByteStream> stream_;
    std::shared_ptr<const AudioStream> audio_;
    boost::asio::steady_timer timer_;
    std::chrono::steady_clock::time_point due_;
    std::size_t position_ = 0;
    std::string out_;
    std::array<char, 512> in_{};
    bool stopped_ = false;
};

// One POST body into a kept transmission.
class AudioReceiver : public std::enable_shared_from_this<AudioReceiver> {
public:
    AudioReceiver(std::unique_ptr<RtspByteStream> stream, std::shared_ptr<Transmission> transmission,
                  BodyReader reader, unsigned version)
        : stream_(std::move(stream)), transmission_(std::move(transmission)), reader_(reader), version_(version)
    {
    }

    void start(const std::string& initial)
    {
        if (consume(initial.data(), initial.size()))
            doRead();
    }

private:
    // False once the body is over (answered or failed).
    bool consume(const char* data, std::size_t size)
    {
        std::string body;
        const auto state = reader_.feed(data, size, body);
        keep(body);
        if (state == BodyReader::State::Reading)
            return true;
        finish(state == BodyReader::State::Done, state == BodyReader::State::Done ? 200 : 400);
        return false;
    }

    void keep(const std::string& body)
    {
        if (body.empty())
            return;
        std::lock_guard<std::mutex> lock(transmission_->mutex);
        const std::size_t room = AudioCgi::kMaxTransmissionBytes - std::min(AudioCgi::kMaxTransmissionBytes,
                                                                            transmission_->data.size());
        const std::size_t take = std::min(room, body.size());
        transmission_->data.append(body, 0, take);
        transmission_->dropped += body.size() - take;
    }

    void doRead()
    {
        stream_->asyncReadSome(in_.data(), in_.size(), [self = shared_from_this()](auto ec, std::size_t n) {
            if (ec) {
                // An open-ended body ends with the connection.
                const bool whole = self->reader_.state() == BodyReader::State::Reading &&
                                   self->reader_.untilClose();
                self->close(whole);
                return;
            }
            if (self->consume(self->in_.data(), n))
                self->doRead();
        });
    }

    void finish(bool complete, int status)
    {
        {
            // Over before the answer goes out: the client may send the next
            // POST as soon as it has it.
            std::lock_guard<std::mutex> lock(transmission_->mutex);
            transmission_->complete = complete;
            transmission_->open = false;
        }
        answer_ = statusLine(version_, status) + "Content-Length: 0\r\nConnection: close\r\n\r\n";
        stream_->asyncWrite(answer_.data(), answer_.size(),
                            [self = shared_from_this()](auto, std::size_t) { self->close(false); });
    }

    void close(bool complete)
    {
        {
            std::lock_guard<std::mutex> lock(transmission_->mutex);
            if (complete)
                transmission_->complete = true;
            transmission_->open = false;
        }
        stream_->close();
    }

    std::unique_ptr<RtspByteStream> stream_;
    std::shared_ptr<Transmission> transmission_;
    BodyReader reader_;
    unsigned version_;
    std::string answer_;
    std::array<char, 16 * 1024> in_{};
};

std::optional<unsigned> channelArg(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return std::nullopt;
    unsigned channel = 1;
    for (const auto& [name, value] : *args) {
        if (name != "audiochannel" && name != "camera")
            continue;
        if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        channel = static_cast<unsigned>(std::stoul(value));
    }
    if (channel == 0)
        return std::nullopt;
    return channel;
}

} // namespace

BodyReader::State BodyReader::feed(const char* data, std::size_t size, std::string& out)
{
    std::size_t at = 0;
    while (state_ == State::Reading && at < size) {
        if (framing_ == Framing::UntilClose) {
            out.append(data + at, size - at);
            return state_;
        }
        if (framing_ == Framing::Length) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, size - at));
            out.append(data + at, take);
            at += take;
            remaining_ -= take;
            if (remaining_ == 0)
                state_ = State::Done;
            continue;
        }
        switch (chunk_) {
        case Chunk::Size:
        case Chunk::DataEnd:
        case Chunk::Trailer: {
            const char c = data[at++];
            if (c != '\n') {
                line_ += c;
                if (line_.size() > kMaxChunkLine)
                    state_ = State::Error;
                continue;
            }
            if (!line_.empty() && line_.back() == '\r')
                line_.pop_back();
            const std::string line = std::move(line_);
            line_.clear();
            if (chunk_ == Chunk::DataEnd) {
                if (!line.empty())
                    state_ = State::Error;
                chunk_ = Chunk::Size;
            } else if (chunk_ == Chunk::Trailer) {
                if (line.empty())
                    state_ = State::Done;
            } else {
                const std::string digits = line.substr(0, line.find(';'));
                if (digits.empty() || digits.size() > 15 ||
                    digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                    state_ = State::Error;
                    continue;
                }
                remaining_ = std::stoull(digits, nullptr, 16);
                chunk_ = remaining_ == 0 ? Chunk::Trailer : Chunk::Data;
            }
            continue;
        }
        case Chunk::Data: {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, size - at));
            out.append(data + at, take);
            at += take;
            remaining_ -= take;
            if (remaining_ == 0)
                chunk_ = Chunk::DataEnd;
            continue;
        }
        }
    }
    return state_;
}

void AudioCgi::registerRoutes(Router& router)
{
    router.add(kReceivePath, [this](const HttpRequest& r) { return admitReceive(r); });
    router.add(kTransmitPath, [this](const HttpRequest& r) { return admitTransmit(r); });
    router.addControl("/camsim/audio", [this](const HttpRequest& r) { return control(r); });
}

bool AudioCgi::handles(const std::string& path) const
{
    return path == kReceivePath || path == kTransmitPath;
}

std::shared_ptr<const AudioStream> AudioCgi::streamFor(const HttpRequest& request, std::string& error, int& status)
{
    const auto channel = channelArg(request);
    if (!channel) {
        status = 400;
        error = "Error: bad audiochannel\r\n";
        return nullptr;
    }
    bool enabled = false;
    const auto setting = camera_.withModel([&](Model& m) {
        enabled = audioEnabled(m.params, *channel - 1);
        return audioSetting(m.params, *channel - 1);
    });
    if (!setting) {
        status = 404;
        error = "Error: no such audio channel or encoding\r\n";
        return nullptr;
    }
    if (!enabled) {
        status = 503;
        error = "Error: audio is disabled\r\n";
        return nullptr;
    }
    auto stream = library_.stream(*setting, error);
    if (!stream) {
        std::cerr << "camsim: " << error << std::endl;
        status = 503;
        error = "Error: no audio\r\n";
    }
    return stream;
}

HttpResponse AudioCgi::admitReceive(const HttpRequest& request)
{
    if (request.method != "GET")
        return HttpResponse::text(405, "Error: GET only\r\n");
    std::string error;
    int status = 200;
    if (!streamFor(request, error, status))
        return HttpResponse::text(status, error);
    return HttpResponse::text(200, "");
}

HttpResponse AudioCgi::admitTransmit(const HttpRequest& request)
{
    if (request.method != "POST")
        return HttpResponse::text(405, "Error: POST only\r\n");
    if (!acceptedTransmitType(request.header("Content-Type")))
        return HttpResponse::text(415, "Error: unsupported audio format\r\n");
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& t : transmissions_) {
        std::lock_guard<std::mutex> tl(t->mutex);
        if (t->open)
            return HttpResponse::text(503, "Error: the speaker is in use\r\n");
    }
    return HttpResponse::text(200, "");
}

std::shared_ptr<Transmission> AudioCgi::beginTransmission(const std::string& contentType)
{
    auto t = std::make_shared<Transmission>();
    t->contentType = contentType;
    std::lock_guard<std::mutex> lock(mutex_);
    transmissions_.push_back(t);
    while (transmissions_.size() > kMaxKept)
        transmissions_.pop_front();
    return t;
}

void AudioCgi::open(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head, std::string initial,
                    unsigned version)
{
    if (head.path() == kReceivePath) {
        std::string error;
        int status = 200;
        auto audio = streamFor(head, error, status);
        if (!audio) {
            stream->close();
            return;
        }
        std::make_shared<AudioSender>(std::move(stream), std::move(audio))->start(version);
        return;
    }
    BodyReader::Framing framing = BodyReader::Framing::UntilClose;
    std::uint64_t length = 0;
    if (toLower(head.header("Transfer-Encoding")).find("chunked") != std::string::npos) {
        framing = BodyReader::Framing::Chunked;
    } else if (head.hasHeader("Content-Length")) {
        const std::string value = head.header("Content-Length");
        if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos) {
            stream->close();
            return;
        }
        framing = BodyReader::Framing::Length;
        length = std::stoull(value);
    }
    auto receiver = std::make_shared<AudioReceiver>(std::move(stream), beginTransmission(head.header("Content-Type")),
                                                    BodyReader(framing, length), version);
    receiver->start(initial);
}

HttpResponse AudioCgi::control(const HttpRequest& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (request.method == "DELETE") {
        transmissions_.clear();
        return json(200, Json::Value(Json::objectValue));
    }
    if (request.method != "GET")
        return jsonError(405, "GET or DELETE");
    Json::Value out(Json::objectValue);
    out["transmissions"] = Json::Value(Json::arrayValue);
    for (const auto& t : transmissions_) {
        std::lock_guard<std::mutex> tl(t->mutex);
        Json::Value v(Json::objectValue);
        v["contentType"] = t->contentType;
        v["bytes"] = Json::UInt64(t->data.size());
        v["complete"] = t->complete;
        v["open"] = t->open;
        v["dropped"] = Json::UInt64(t->dropped);
        v["data"] = base64Encode(t->data);
        out["transmissions"].append(v);
    }
    return json(200, out);
}

} // namespace Camsim
