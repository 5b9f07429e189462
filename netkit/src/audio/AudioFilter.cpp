#include <netkit/audio/AudioFilter.h>

#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/sdp/SdpFmtp.h>
#include <netkit/util/TextUtil.h>

#include <cstdlib>

namespace Orix::Utility {

namespace {

constexpr std::uint32_t kBufferMillis = 20;

std::uint32_t g726Rate(const std::string& encoding)
{
    const auto dash = encoding.rfind('-');
    if (dash == std::string::npos)
        return 0;
    const std::string kbps = encoding.substr(dash + 1);
    for (const char* rate : {"16", "24", "32", "40"}) {
        if (kbps == rate)
            return static_cast<std::uint32_t>(std::stoul(kbps)) * 1000;
    }
    return 0;
}

class G7xxSendingFilter final : public HttpAudioFilter {
public:
    G7xxSendingFilter(AudioFormat format, AudioSink sink) : format_(std::move(format)), sink_(std::move(sink))
    {
        // Octets of 20 ms; G.726 groups of 8 code words stay whole.
        const std::uint64_t bits = std::uint64_t(format_.bitrate ? format_.bitrate : 64000) * kBufferMillis / 1000;
        bytesPerBuffer_ = static_cast<std::size_t>(bits / 8);
        samplesPerBuffer_ = format_.sampleRate * kBufferMillis / 1000;
        pending_.reserve(bytesPerBuffer_);
    }

    void push(const std::uint8_t* data, std::size_t size, std::uint64_t hostTime) override
    {
        while (size > 0) {
            const std::size_t take = std::min(size, bytesPerBuffer_ - pending_.size());
            pending_.insert(pending_.end(), data, data + take);
            data += take;
            size -= take;
            if (pending_.size() == bytesPerBuffer_)
                emit(hostTime);
        }
    }

    std::uint64_t buffers() const override { return count_; }

private:
    void emit(std::uint64_t hostTime)
    {
        if (!start_)
            start_ = hostTime;
        AudioBuffer buffer;
        buffer.format = &format_;
        buffer.data = pending_.data();
        buffer.size = pending_.size();
        buffer.rtpTimestamp = static_cast<std::uint32_t>(samples_);
        buffer.hostTimestamp = *start_ + samples_ * 1000 / (format_.sampleRate ? format_.sampleRate : 8000);
        samples_ += samplesPerBuffer_;
        ++count_;
        if (sink_)
            sink_(buffer);
        pending_.clear();
    }

    AudioFormat format_;
    AudioSink sink_;
    std::size_t bytesPerBuffer_ = 160;
    std::uint64_t samplesPerBuffer_ = 160;
    std::vector<std::uint8_t> pending_;
    std::optional<std::uint64_t> start_;
    std::uint64_t samples_ = 0;
    std::uint64_t count_ = 0;
};

class AacSendingFilter final : public HttpAudioFilter {
public:
    AacSendingFilter(AudioSink sink, std::uint32_t bitrate) : sink_(std::move(sink)), bitrate_(bitrate) {}

    void push(const std::uint8_t* data, std::size_t size, std::uint64_t hostTime) override
    {
        reader_.push(data, size);
        while (auto frame = reader_.pull()) {
            const std::uint32_t rate = frame->config.sampleRate();
            if (!start_ || rate != format_.sampleRate || int(format_.channels) != frame->config.channels) {
                // A new configuration starts the clock again.
                const auto config = audioSpecificConfig(frame->config);
                format_.algorithm = kAlgorithmAac;
                format_.sampleRate = rate;
                format_.channels = static_cast<std::uint32_t>(frame->config.channels);
                format_.bitrate = bitrate_;
                format_.config.assign(config.begin(), config.end());
                start_ = hostTime;
                samples_ = 0;
            }
            AudioBuffer buffer;
            buffer.format = &format_;
            buffer.data = frame->accessUnit.data();
            buffer.size = frame->accessUnit.size();
            buffer.rtpTimestamp = static_cast<std::uint32_t>(samples_);
            buffer.hostTimestamp = *start_ + samples_ * 1000 / rate;
            samples_ += 1024; // samples per AAC frame
            ++count_;
            if (sink_)
                sink_(buffer);
        }
    }

    std::uint64_t buffers() const override { return count_; }

private:
    AudioSink sink_;
    std::uint32_t bitrate_;
    AdtsReader reader_;
    AudioFormat format_;
    std::optional<std::uint64_t> start_;
    std::uint64_t samples_ = 0;
    std::uint64_t count_ = 0;
};

} // namespace

std::optional<AudioFormat> audioFormatForTrack(const SdpMedia& track)
{
    const auto pt = track.payloadType();
    const auto map = pt ? track.rtpmap(*pt) : std::nullopt;
    if (!map)
        return std::nullopt;
    const std::string name = text::toLower(map->encoding);
    AudioFormat format;
    format.sampleRate = map->clockRate ? map->clockRate : 8000;
    format.channels = map->channels ? map->channels : 1;
    if (name == "pcmu" || name == "pcma") {
        format.algorithm = kAlgorithmG711;
        format.encoding = name == "pcmu" ? kEncodingStandard : kEncodingAlternate;
        format.bitrate = 8 * format.sampleRate * format.channels;
        return format;
    }
    if (name.rfind("g726-", 0) == 0 || name.rfind("aal2-g726-", 0) == 0) {
        format.algorithm = kAlgorithmG726;
        format.encoding = name.rfind("aal2-", 0) == 0 ? kEncodingAlternate : kEncodingStandard;
        format.bitrate = g726Rate(name);
        if (format.bitrate == 0)
            return std::nullopt;
        return format;
    }
    if (name == "mpeg4-generic") {
        AacFormat aac;
        if (readAacFormat(track, aac))
            return std::nullopt;
        format.algorithm = kAlgorithmAac;
        format.config = aac.config;
        if (const auto config = parseAudioSpecificConfig(aac.config.data(), aac.config.size())) {
            format.sampleRate = config->sampleRate();
            if (config->channels > 0)
                format.channels = static_cast<std::uint32_t>(config->channels);
        }
        if (const auto* fmtp = track.fmtp(*pt)) {
            if (const auto bitrate = fmtp->get("bitrate"))
                format.bitrate = static_cast<std::uint32_t>(std::strtoul(bitrate->c_str(), nullptr, 10));
        }
        return format;
    }
    return std::nullopt;
}

std::shared_ptr<RtpStreamFilter> initializeAudioFilter(const SdpMedia& track, const AudioSinkParams& params,
                                                       LoggerPtr logger)
{
    auto format = audioFormatForTrack(track);
    boost::system::error_code ec;
    auto depacketizer = format ? createDepacketizer(track, &ec) : nullptr;
    if (!depacketizer) {
        LoggerOwner owner(logger);
        const auto pt = track.payloadType();
        const auto map = pt ? track.rtpmap(*pt) : std::nullopt;
        ORIX_LOG(owner, LogError,
                 " No audio filter for track '" << (map ? map->encoding : std::string("?")) << "'"
                                                << (ec ? ": " + ec.message() : std::string()));
        return nullptr;
    }
    if (format->algorithm == kAlgorithmAac && format->bitrate == 0)
        format->bitrate = params.aacBitrate;
    auto shared = std::make_shared<AudioFormat>(std::move(*format));
    auto sink = params.sink;
    return std::make_shared<RtpStreamFilter>(
        std::move(depacketizer), params.reorder, std::move(logger), [shared, sink](const Frame& frame) {
            AudioBuffer buffer;
            buffer.format = shared.get();
            buffer.data = frame.data.data();
            buffer.size = frame.data.size();
            buffer.hostTimestamp = frame.hostTimestamp;
            buffer.rtpTimestamp = frame.rtpTimestamp;
            buffer.discontinuity = frame.discontinuity;
            if (sink)
                sink(buffer);
        });
}

std::unique_ptr<HttpAudioFilter> createG7xxSendingFilter(AudioFormat format, AudioSink sink)
{
    return std::make_unique<G7xxSendingFilter>(std::move(format), std::move(sink));
}

std::unique_ptr<HttpAudioFilter> createAacSendingFilter(AudioSink sink, std::uint32_t bitrate)
{
    return std::make_unique<AacSendingFilter>(std::move(sink), bitrate);
}

} // namespace Orix::Utility
