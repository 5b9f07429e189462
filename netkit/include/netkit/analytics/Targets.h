#pragma once
// Tracked objects of one metadata frame on their way to the host. A detector
// describes each object with a TargetAdjuster, adds it to its TargetsList,
// and after the frame asks the list for an enumerator (made by the host's
// ITargetEnumeratorFactory) that it attaches to a periodical event. The list
// then starts empty for the next frame.
#include <cstdint>
#include <map>
#include <memory>
#include <orix/analytics/ITargetEnumerator.h>
#include <string>
#include <vector>

namespace Orix::Utility::Detector {

// One target's area and numeric properties.
class TargetAdjuster {
public:
    // valid false clears the area. Coordinates outside 0..1 are clamped.
    void setArea(const Analytics::NormalizedRect& area, bool valid);
    void setProperty(const std::string& name, double value);

    bool hasArea() const { return hasArea_; }
    const Analytics::NormalizedRect& area() const { return area_; }
    const std::map<std::string, double>& properties() const { return properties_; }

private:
    bool hasArea_ = false;
    Analytics::NormalizedRect area_;
    std::map<std::string, double> properties_;
};

class TargetsListBase {
public:
    // At most this many targets per frame; later ones are ignored.
    static constexpr std::size_t kMaxTargets = 1024;

    explicit TargetsListBase(Analytics::ITargetEnumeratorFactory* factory);
    virtual ~TargetsListBase() = default;

    // The host's enumerator of the targets added since the last call (an
    // empty frame gives an empty enumerator, so the host learns the objects
    // are gone), or null when the factory gives none. The list is emptied.
    // The enumerator is released when the last copy goes.
    std::shared_ptr<Analytics::ITargetEnumerator> createEnumerator(std::uint64_t timestamp);

    std::size_t size() const { return targets_.size(); }

protected:
    void add(std::uint64_t id, const TargetAdjuster& target);

private:
    Analytics::ITargetEnumeratorFactory* factory_;
    std::vector<std::pair<std::uint64_t, TargetAdjuster>> targets_;
};

class TargetsList : public TargetsListBase {
public:
    using TargetsListBase::TargetsListBase;
    // A second target of the same id in one frame replaces the first.
    void addTarget(std::uint64_t id, const TargetAdjuster& target);
};

} // namespace Orix::Utility::Detector
