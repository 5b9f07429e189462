#pragma once
// A channel a command created, from Create... to Destroy: stopped first when
// it was started, whichever way the command ends (exceptions included).
namespace VapixcamCli {

template <class Channel>
class ChannelScope {
public:
    explicit ChannelScope(Channel* channel) : channel_(channel) {}
    ~ChannelScope() { release(); }
    ChannelScope(const ChannelScope&) = delete;
    ChannelScope& operator=(const ChannelScope&) = delete;

    explicit operator bool() const { return channel_ != nullptr; }
    Channel& operator*() const { return *channel_; }
    Channel* operator->() const { return channel_; }

    template <class Handler>
    void start(Handler& handler)
    {
        channel_->Start(&handler);
        started_ = true;
    }
    void stop()
    {
        if (channel_ != nullptr && started_)
            channel_->Stop();
        started_ = false;
    }
    void release()
    {
        if (channel_ == nullptr)
            return;
        stop();
        channel_->Destroy();
        channel_ = nullptr;
    }

private:
    Channel* channel_;
    bool started_ = false;
};

} // namespace VapixcamCli
