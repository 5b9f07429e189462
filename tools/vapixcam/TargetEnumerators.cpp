#include "TargetEnumerators.h"

#include <netkit/util/Contract.h>
#include <algorithm>
#include <string>

namespace VapixcamCli {

namespace {

// A detector reports one frame's targets; more than this is not a frame.
constexpr std::uint32_t kMaxTargets = 4096;
constexpr std::uint32_t kMaxProperties = 64;

} // namespace

TargetEnumerator::TargetEnumerator(std::uint64_t timestamp, const Orix::Analytics::TargetInfo* targets,
                                   std::uint32_t count)
    : timestamp_(timestamp)
{
    if (targets == nullptr)
        return;
    targets_.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Target& target = targets_[i];
        target.info = targets[i];
        const std::uint32_t properties =
            targets[i].properties == nullptr ? 0 : std::min(targets[i].propertyCount, kMaxProperties);
        for (std::uint32_t p = 0; p < properties; ++p) {
            const auto& property = targets[i].properties[p];
            target.names.emplace_back(property.name == nullptr ? "" : property.name);
            target.properties.push_back({nullptr, property.value});
        }
        // Names are pointed to once every copy is in place.
        for (std::size_t p = 0; p < target.properties.size(); ++p)
            target.properties[p].name = target.names[p].c_str();
        target.info.properties = target.properties.empty() ? nullptr : target.properties.data();
        target.info.propertyCount = static_cast<std::uint32_t>(target.properties.size());
    }
}

Orix::IContract* TargetEnumerator::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* TargetEnumerator::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::Analytics::ITargetEnumerator>(this, name);
}

bool TargetEnumerator::GetTarget(std::uint32_t index, Orix::Analytics::TargetInfo& out) const
{
    if (index >= targets_.size())
        return false;
    out = targets_[index].info;
    return true;
}

Orix::IContract* TargetEnumeratorFactory::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* TargetEnumeratorFactory::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::Analytics::ITargetEnumeratorFactory>(this, name);
}

Orix::Analytics::ITargetEnumerator* TargetEnumeratorFactory::CreateEnumerator(
    std::uint64_t timestamp, const Orix::Analytics::TargetInfo* targets, std::uint32_t count)
{
    if (count > kMaxTargets)
        return nullptr;
    try {
        return new TargetEnumerator(timestamp, targets, count);
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace VapixcamCli
