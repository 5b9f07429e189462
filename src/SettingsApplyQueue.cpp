#include "SettingsApplyQueue.h"

namespace Vapixcam {

std::shared_ptr<SettingsApplyQueue> SettingsApplyQueue::create(const Orix::IContract* source, Apply apply)
{
    return std::shared_ptr<SettingsApplyQueue>(new SettingsApplyQueue(source, std::move(apply)));
}

SettingsApplyQueue::SettingsApplyQueue(const Orix::IContract* source, Apply apply)
    : source_(source), apply_(std::move(apply))
{
}

void SettingsApplyQueue::push(Orix::Utility::AsyncActionCompletionPtr call)
{
    if (closed_) {
        call->finish(source_, closeResult_);
        return;
    }
    waiting_.push_back(std::move(call));
    pump();
}

void SettingsApplyQueue::setRunning(bool running)
{
    running_ = running;
    pump();
}

void SettingsApplyQueue::close(std::uint32_t result)
{
    if (closed_)
        return;
    closed_ = true;
    closeResult_ = result;
    auto current = std::move(current_);
    current_.reset();
    auto waiting = std::move(waiting_);
    waiting_.clear();
    if (current)
        current->finish(source_, result);
    for (const auto& call : waiting)
        call->finish(source_, result);
}

// A loop rather than recursion: an apply step that finishes inline would
// otherwise nest one frame per queued call.
void SettingsApplyQueue::pump()
{
    if (pumping_)
        return;
    // An apply step may answer the host inline, and the host may destroy the
    // channel from that answer.
    const auto keep = shared_from_this();
    pumping_ = true;
    while (running_ && !closed_ && !current_ && !waiting_.empty()) {
        current_ = std::move(waiting_.front());
        waiting_.pop_front();
        std::weak_ptr<SettingsApplyQueue> weak = shared_from_this();
        auto call = current_;
        apply_(call, [weak, call](std::uint32_t result) {
            if (auto self = weak.lock())
                self->finished(call, result);
            else
                call->finish(nullptr, result);
        });
    }
    pumping_ = false;
}

void SettingsApplyQueue::finished(const Orix::Utility::AsyncActionCompletionPtr& call, std::uint32_t result)
{
    call->finish(source_, result);
    if (current_ != call)
        return;
    current_.reset();
    pump();
}

} // namespace Vapixcam
