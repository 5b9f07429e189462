#pragma once
// The call handling of an audio destination (a camera's speaker): the host
// opens a call, pushes encoded frames, hangs up. The template keeps the call
// state, counts and optionally dumps the frames, and runs an I/O context of
// its own on one worker thread; the camera-specific transmission (a derived
// class supplies it as an AudioTransmission) runs there.
//
// Call state: 1 idle (initial), 0 in a call, changed only by atomic
// compare-and-exchange, so a second Call or HangUp does nothing:
//
//   idle --Call--> in call: transmission start posted, dump file opened
//   in call --HangUp, or the transmission failed--> idle: stop posted
//   in call --PushAudioFrame--> counted, dumped, posted to the transmission
//   idle --PushAudioFrame--> refused with 0x700 (NotInCall), not counted
//
// Lifetime: everything posted to the destination's I/O context reaches the
// transmission through a weak handle; the destructor posts the stop, ends
// the context and joins the worker, so once Destroy returns nothing calls
// the host any more. The host's handler must outlive the destination.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <orix/ErrorCodes.h>
#include <orix/gdrv/Channels.h>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace Orix::Utility {

// One pushed frame, owned.
struct OutgoingAudioFrame {
    std::string algorithm;
    std::uint32_t encoding = 1;
    std::uint32_t bitrate = 0;
    std::uint32_t sampleRate = 0;
    std::vector<std::uint8_t> data;
};

// What the destination's call state offers its transmission: the way back
// when the transmission fails. Shared, so the transmission never needs the
// host-facing object.
class AudioCallState {
public:
    AudioCallState(GDRV::IAudioDestinationHandler* handler, const IContract* source, LoggerPtr logger,
                   std::string prefix)
        : handler_(handler), source_(source), logger_(std::move(logger), std::move(prefix))
    {
    }

    bool inCall() const { return state_.load() == 0; }
    // 1 -> 0; false when a call is open.
    bool enter()
    {
        int idle = 1;
        return state_.compare_exchange_strong(idle, 0);
    }
    // 0 -> 1; false when no call is open.
    bool leave()
    {
        int busy = 0;
        return state_.compare_exchange_strong(busy, 1);
    }
    std::uint64_t sent() const { return sent_.load(); }
    std::uint64_t countSent() { return ++sent_; }
    void resetSent() { sent_ = 0; }

    void report(std::uint32_t result) const
    {
        if (handler_)
            handler_->Error(source_, result);
    }
    const LoggerOwner& log() const { return logger_; }

private:
    std::atomic<int> state_{1};
    std::atomic<std::uint64_t> sent_{0};
    GDRV::IAudioDestinationHandler* handler_;
    const IContract* source_;
    LoggerOwner logger_;
};

// The camera side of a call, run on the destination's I/O context.
class AudioTransmission {
public:
    virtual ~AudioTransmission() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void send(OutgoingAudioFrame frame) = 0;
};

template <class DeviceT>
class AudioDestinationBase : public GDRV::IAudioDestination, public SimpleAdjuster, public LoggerOwner {
public:
    AudioDestinationBase(GDRV::IAudioDestinationHandler* handler, std::uint32_t channel, DeviceT& device,
                         LoggerPtr logger, const std::string& prefix)
        : LoggerOwner(logger, prefix),
          device_(device),
          channel_(channel),
          io_(std::make_shared<boost::asio::io_context>()),
          work_(boost::asio::make_work_guard(*io_)),
          call_(std::make_shared<AudioCallState>(handler, static_cast<GDRV::IAudioDestination*>(this), logger,
                                                 logPrefix()))
    {
        if (const char* dir = std::getenv("VELTO_SPEAKER_AUDIO_OUTPUT_DUMP_DIR"))
            dumpDir_ = dir;
        thread_ = std::thread([io = io_] { io->run(); });
    }

    ~AudioDestinationBase() override { joinThread(); }

    AudioDestinationBase(const AudioDestinationBase&) = delete;
    AudioDestinationBase& operator=(const AudioDestinationBase&) = delete;

    void Destroy() override
    {
        ORIX_LOG(*this, LogDebug, " Destroy");
        delete this;
    }

    std::uint32_t GetChannel() const override { return channel_; }

    void Call() override
    {
        if (!call_->enter())
            return;
        ORIX_LOG(*this, LogDebug, " Call");
        call_->resetSent();
        post([](AudioTransmission& t) { t.start(); });
        openDump();
    }

    void HangUp() override
    {
        if (!call_->leave())
            return;
        ORIX_LOG(*this, LogDebug, " HangUp, sent: " << call_->sent());
        post([](AudioTransmission& t) { t.stop(); });
        closeDump();
    }

    std::uint32_t PushAudioFrame(const GDRV::AudioFrame& frame) override
    {
        try {
            if (!call_->inCall()) {
                call_->report(NotInCall);
                return NotInCall;
            }
            const std::uint64_t n = call_->countSent();
            if (n % 1000 == 1)
                ORIX_LOG(*this, LogDebug, " sending frame " << n);
            OutgoingAudioFrame out;
            out.algorithm = frame.algorithm ? frame.algorithm : "";
            out.encoding = frame.encoding;
            out.bitrate = frame.bitrate;
            out.sampleRate = frame.sampleRate;
            if (frame.data && frame.size)
                out.data.assign(frame.data, frame.data + frame.size);
            {
                std::lock_guard<std::mutex> lock(dumpMutex_);
                if (dump_.is_open())
                    dump_.write(reinterpret_cast<const char*>(out.data.data()),
                                static_cast<std::streamsize>(out.data.size()));
            }
            auto shared = std::make_shared<OutgoingAudioFrame>(std::move(out));
            post([shared](AudioTransmission& t) { t.send(std::move(*shared)); });
            return Ok;
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception: " << e.what());
            return GenericFailure;
        }
    }

protected:
    // The derived class hands over its transmission once constructed.
    void setTransmission(std::shared_ptr<AudioTransmission> transmission) { transmission_ = std::move(transmission); }
    const std::shared_ptr<AudioCallState>& callState() const { return call_; }
    boost::asio::io_context& ioContext() { return *io_; }
    bool onIoThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    DeviceT& device() { return device_; }
    std::uint32_t channel() const { return channel_; }

    // Ends the call, runs the transmission's stop, ends the I/O context and
    // joins its thread. Called by the derived destructor (so that the stop
    // still reaches the derived transmission) and again by this one.
    void joinThread()
    {
        if (!thread_.joinable())
            return;
        try {
            if (call_->leave())
                post([](AudioTransmission& t) { t.stop(); });
            boost::asio::post(*io_, [io = io_] { io->stop(); });
            work_.reset();
            closeDump();
            if (onIoThread()) {
                // Destroy from one of our own callbacks: the context stops
                // after this handler; the thread keeps the context alive.
                ORIX_LOG(*this, LogError, " std::exception: boost thread: trying joining itself");
                thread_.detach();
                return;
            }
            thread_.join();
            ORIX_LOG(*this, LogDebug, " Destroying");
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception: " << e.what());
        }
    }

private:
    template <class F>
    void post(F f)
    {
        boost::asio::post(*io_, [weak = std::weak_ptr<AudioTransmission>(transmission_), f] {
            if (auto t = weak.lock())
                f(*t);
        });
    }

    void openDump()
    {
        if (dumpDir_.empty())
            return;
        std::lock_guard<std::mutex> lock(dumpMutex_);
        if (dump_.is_open())
            return;
        // Local time, ISO basic form with microseconds: 20240621T071725.250413
        const std::string stamp = boost::posix_time::to_iso_string(boost::posix_time::microsec_clock::local_time());
        const std::string path = dumpDir_ + "/file_" + stamp + ".bin";
        dump_.open(path, std::ios::binary | std::ios::out);
        if (!dump_.is_open())
            ORIX_LOG(*this, LogError, " Failed to open an output debug file!");
    }

    void closeDump()
    {
        std::lock_guard<std::mutex> lock(dumpMutex_);
        if (dump_.is_open())
            dump_.close();
    }

    DeviceT& device_;
    std::uint32_t channel_;
    std::string dumpDir_;
    std::mutex dumpMutex_;
    std::ofstream dump_;
    std::shared_ptr<boost::asio::io_context> io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
    std::shared_ptr<AudioCallState> call_;
    std::shared_ptr<AudioTransmission> transmission_;
    std::thread thread_;
};

} // namespace Orix::Utility
