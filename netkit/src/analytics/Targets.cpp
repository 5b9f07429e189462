#include <netkit/analytics/Targets.h>

#include <algorithm>
#include <cmath>

namespace Orix::Utility::Detector {

namespace {

double clamp01(double value)
{
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
}

} // namespace

void TargetAdjuster::setArea(const Analytics::NormalizedRect& area, bool valid)
{
    hasArea_ = valid;
    if (!valid) {
        area_ = {};
        return;
    }
    area_.x = clamp01(area.x);
    area_.y = clamp01(area.y);
    area_.width = std::min(clamp01(area.width), 1.0 - area_.x);
    area_.height = std::min(clamp01(area.height), 1.0 - area_.y);
}

void TargetAdjuster::setProperty(const std::string& name, double value)
{
    properties_[name] = value;
}

TargetsListBase::TargetsListBase(Analytics::ITargetEnumeratorFactory* factory) : factory_(factory) {}

void TargetsListBase::add(std::uint64_t id, const TargetAdjuster& target)
{
    for (auto& entry : targets_) {
        if (entry.first == id) {
            entry.second = target;
            return;
        }
    }
    if (targets_.size() < kMaxTargets)
        targets_.emplace_back(id, target);
}

std::shared_ptr<Analytics::ITargetEnumerator> TargetsListBase::createEnumerator(std::uint64_t timestamp)
{
    std::vector<std::pair<std::uint64_t, TargetAdjuster>> targets;
    targets.swap(targets_);
    if (factory_ == nullptr)
        return nullptr;

    // The host copies during the call; these arrays only live until it returns.
    std::vector<std::vector<Analytics::TargetProperty>> properties(targets.size());
    std::vector<Analytics::TargetInfo> infos(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const auto& [id, target] = targets[i];
        for (const auto& [name, value] : target.properties())
            properties[i].push_back({name.c_str(), value});
        infos[i].id = id;
        infos[i].hasArea = target.hasArea();
        infos[i].area = target.area();
        infos[i].properties = properties[i].data();
        infos[i].propertyCount = static_cast<std::uint32_t>(properties[i].size());
    }
    Analytics::ITargetEnumerator* enumerator =
        factory_->CreateEnumerator(timestamp, infos.data(), static_cast<std::uint32_t>(infos.size()));
    if (enumerator == nullptr)
        return nullptr;
    return std::shared_ptr<Analytics::ITargetEnumerator>(
        enumerator, [](Analytics::ITargetEnumerator* e) { e->Release(); });
}

void TargetsList::addTarget(std::uint64_t id, const TargetAdjuster& target)
{
    add(id, target);
}

} // namespace Orix::Utility::Detector
