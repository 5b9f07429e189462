#pragma once
// The host's ApplySettings calls on one channel, carried out one at a time in
// the order the host made them. Calls made before the channel is started
// wait until it is; closing the queue answers every waiting and running call.
//
// States of a call: waiting --running and first in line--> applying --finish--> answered
//                   waiting, applying --close--> answered with the close result
//
// Threading: one thread (the device's I/O context). The apply step's finish
// holds a weak handle, so a finish after the queue is gone is harmless.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <netkit/params/HandlerWrappers.h>

namespace Vapixcam {

class SettingsApplyQueue final : public std::enable_shared_from_this<SettingsApplyQueue> {
public:
    using Finish = std::function<void(std::uint32_t result)>;
    // Carries out one call: finish must be called once, inline or later.
    using Apply = std::function<void(const Orix::Utility::AsyncActionCompletionPtr& call, Finish finish)>;

    // source is what the host's handler is told the answer comes from.
    static std::shared_ptr<SettingsApplyQueue> create(const Orix::IContract* source, Apply apply);

    void push(Orix::Utility::AsyncActionCompletionPtr call);
    void setRunning(bool running);
    bool running() const { return running_; }
    // Answers every call with result; later pushes are answered at once.
    void close(std::uint32_t result);
    std::size_t waiting() const { return waiting_.size(); }
    bool applying() const { return current_ != nullptr; }

private:
    SettingsApplyQueue(const Orix::IContract* source, Apply apply);
    void pump();
    void finished(const Orix::Utility::AsyncActionCompletionPtr& call, std::uint32_t result);

    const Orix::IContract* source_;
    Apply apply_;
    std::deque<Orix::Utility::AsyncActionCompletionPtr> waiting_;
    Orix::Utility::AsyncActionCompletionPtr current_;
    bool running_ = false;
    bool pumping_ = false;
    bool closed_ = false;
    std::uint32_t closeResult_ = 0;
};

} // namespace Vapixcam
