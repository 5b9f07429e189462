#pragma once
// The host's target lists: the detectors of the module hand the targets of
// one metadata frame to this factory (found through IServiceProvider) and
// attach the enumerator it makes to a periodical event. The enumerator keeps
// its own copies, so it outlives the driver's list.
#include <orix/analytics/ITargetEnumerator.h>
#include <string>
#include <vector>

namespace VapixcamCli {

class TargetEnumerator final : public Orix::Analytics::ITargetEnumerator {
public:
    TargetEnumerator(std::uint64_t timestamp, const Orix::Analytics::TargetInfo* targets, std::uint32_t count);

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    std::uint64_t GetTimestamp() const override { return timestamp_; }
    std::uint32_t GetCount() const override { return static_cast<std::uint32_t>(targets_.size()); }
    bool GetTarget(std::uint32_t index, Orix::Analytics::TargetInfo& out) const override;
    void Release() override { delete this; }

private:
    struct Target {
        Orix::Analytics::TargetInfo info;
        std::vector<std::string> names; // owners of the property names
        std::vector<Orix::Analytics::TargetProperty> properties;
    };

    std::uint64_t timestamp_;
    std::vector<Target> targets_;
};

class TargetEnumeratorFactory final : public Orix::Analytics::ITargetEnumeratorFactory {
public:
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    Orix::Analytics::ITargetEnumerator* CreateEnumerator(std::uint64_t timestamp,
                                                         const Orix::Analytics::TargetInfo* targets,
                                                         std::uint32_t count) override;
};

} // namespace VapixcamCli
