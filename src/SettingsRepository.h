#pragma once
// The repository groups the settings model reads: "Properties" (allowed
// enumeration values per host property), "VSPropertiesGroups" and
// "StreamingPropertiesGroups" (how the host groups image and stream
// properties) and "ignorePropertiesGroup" (host properties a model must not
// offer).
#include <boost/property_tree/ptree.hpp>
#include <netkit/util/Logging.h>
#include <orix/gdrv/DriverInfo.h>
#include <set>
#include <string>

namespace Vapixcam {

class SettingsRepository {
public:
    SettingsRepository(Orix::GDRV::DriverInfoPtr info, const Orix::LoggerOwner& logger);

    // The group, or an empty tree and the error "'<name>' is not represented
    // in repository".
    const boost::property_tree::ptree& group(const std::string& name) const;

    // The host names the model's entry of "ignorePropertiesGroup" lists,
    // comma-separated in the entry's value (children's values count too).
    // Empty, with a debug line, for a model without an entry.
    std::set<std::string> ignoreList(const std::string& model) const;

private:
    Orix::GDRV::DriverInfoPtr info_;
    const Orix::LoggerOwner& logger_;
};

} // namespace Vapixcam
