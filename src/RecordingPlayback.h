#pragma once
// Plays the recordings of one storage source from a host-chosen time on,
// one recording after the other, each as an RTSP session on
// /axis-media/media.amp?recordingid=<id> that starts where the play
// position lies (Range: clock=...). Sessions run on a StreamSupervisor: a
// recording that ends (RTCP BYE) opens the next one at once; a failure is
// retried from the last frame after a short delay, and the host hears of
// it (Ended with the code) when playback has not resumed within the
// signal-lost time.
//
// Frame times are the times the camera recorded them: the start the camera
// names in its answer to PLAY (else the requested start), plus the RTP time
// since the session's first frame. They are deliberately not counted on
// from the play position: after a recording ends that position is its last
// frame + 1 ms, which would glue the next recording onto the earlier one
// across a gap in which the camera did not record; and a camera asked to
// start inside a recording starts at the key frame before, so the asked
// time would label its first second of frames too late.
//
// The host object is a shell over a shared state that completions reach
// through weak handles; Destroy returns when nothing can call the host's
// handler any more (posting the teardown to the device's I/O thread and
// waiting, or in place when called on it).
#include <atomic>
#include <memory>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Storage.h>
#include <string>

namespace Vapixcam {

class DeviceServices;

class RecordingPlayback final : public Orix::GDRV::IRecordingPlayback, public Orix::LoggerOwner {
public:
    RecordingPlayback(std::string id, Orix::GDRV::IRecordingPlaybackHandler* handler, DeviceServices& device);
    ~RecordingPlayback() override;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    void Destroy() override;
    void Teardown() override;
    void Play(double speed, Orix::IAsyncActionHandler* handler) override;
    void Seek(std::uint64_t time, Orix::IAsyncActionHandler* handler) override;
    void Step(Orix::IAsyncActionHandler* handler) override;

private:
    class Stream;
    DeviceServices& device_;
    std::atomic<bool> terminated_{false};
    std::shared_ptr<Stream> state_;
};

} // namespace Vapixcam
