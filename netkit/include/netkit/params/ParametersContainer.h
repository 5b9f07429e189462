#pragma once
// A channel's settings: the persistent current value of each property by host
// name, default values, and the queue of pending changes the host applied.
// Thread-safe: host threads push, the channel's I/O thread pops.
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <orix/gdrv/Properties.h>
#include <string>
#include <variant>
#include <vector>

namespace Orix::Utility {

using ParamValue = std::variant<bool, int, double, std::string>;
using ParamMap = std::map<std::string, ParamValue>;

// "true"/"false", decimal, or the text itself.
std::string paramToString(const ParamValue& value);

class ParametersContainer {
public:
    void setPersistentParam(const std::string& name, ParamValue value);
    std::optional<ParamValue> getPersistentParam(const std::string& name) const;
    void setDefaultValue(const std::string& name, ParamValue value);
    std::optional<ParamValue> getDefaultValue(const std::string& name) const;

    // The persistent value, else the default, else fallback. A value of
    // another type converts where it sensibly can ("12" -> 12, 1 -> true);
    // otherwise fallback.
    std::string getString(const std::string& name, const std::string& fallback = {}) const;
    int getInt(const std::string& name, int fallback = 0) const;
    bool getBool(const std::string& name, bool fallback = false) const;

    // Pending changes: the host's ApplySettings pushes, the channel pops.
    void pushParameters(ParamMap changes);
    bool popParameters(ParamMap& changes);
    // Stores every change as the persistent value.
    void updateParams(const ParamMap& changes);

    // Changes held back while the host blocks configuration; a later change
    // of the same name replaces the held one. takeHeldParameters empties it.
    void holdParameters(const ParamMap& changes);
    ParamMap takeHeldParameters();

    // Property sets offered to the host. The container keeps a reference;
    // UpdatePropertiesFromCurrent sets each property's current value from the
    // persistent value of its name when that value fits the property (a
    // list entry for enumerations, within the range for ranges).
    using PropertySetPtr = std::shared_ptr<GDRV::PropertySet>;
    void addPropertySet(PropertySetPtr set);
    // A set of properties the driver makes up (not read from the camera):
    // each property's current value also becomes the default value of its
    // name unless one is set.
    void addArtificalPropertiesSet(PropertySetPtr set);
    void UpdatePropertiesFromCurrent();

private:
    std::optional<ParamValue> lookup(const std::string& name) const;

    mutable std::mutex mutex_;
    std::map<std::string, ParamValue> persistent_;
    std::map<std::string, ParamValue> defaults_;
    std::deque<ParamMap> pending_;
    ParamMap held_;
    std::vector<PropertySetPtr> propertySets_;
};

} // namespace Orix::Utility
