#pragma once
// The settings adjuster of a channel that has nothing to set (the IO
// channels): values are collected and dropped, and ApplySettings answers
// 0 at once. Contract queries go to the channel that owns it.
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Contract.h>
#include <netkit/util/Logging.h>

namespace Vapixcam {

class NoSettingsAdjuster final : public Orix::Utility::SimpleAdjuster {
public:
    // owner and log outlive the adjuster (it is a member of the channel).
    NoSettingsAdjuster(Orix::IContract& owner, const Orix::LoggerOwner& log) : owner_(owner), log_(log) {}

    Orix::IContract* QueryContract(const char* name) override { return owner_.QueryContract(name); }
    const Orix::IContract* QueryConstContract(const char* name) const override
    {
        return static_cast<const Orix::IContract&>(owner_).QueryConstContract(name);
    }
    void ApplySettings(Orix::IAsyncActionHandler* handler) override;

private:
    Orix::IContract& owner_;
    const Orix::LoggerOwner& log_;
};

// The contract query of a channel whose only other interface is its
// adjuster: the channel as Channel (and IContract), the adjuster as
// IAsyncAdjuster.
template <class Channel>
const Orix::IContract* queryChannelContract(const Channel* channel, const NoSettingsAdjuster* settings,
                                            const char* name)
{
    using Orix::Utility::isContract;
    if (isContract<Orix::IContract>(name) || isContract<Channel>(name))
        return channel;
    if (isContract<Orix::IAsyncAdjuster>(name))
        return settings;
    return nullptr;
}

} // namespace Vapixcam
