#include "SettingsRepository.h"

#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <vector>

namespace Vapixcam {

namespace {

const boost::property_tree::ptree& emptyTree()
{
    static const boost::property_tree::ptree empty;
    return empty;
}

void addNames(const std::string& text, std::set<std::string>& names)
{
    std::vector<std::string> items;
    boost::algorithm::split(items, text, [](char c) { return c == ','; });
    for (auto& item : items) {
        boost::algorithm::trim(item);
        if (!item.empty())
            names.insert(item);
    }
}

} // namespace

SettingsRepository::SettingsRepository(Orix::GDRV::DriverInfoPtr info,
                                       const Orix::LoggerOwner& logger)
    : info_(std::move(info)), logger_(logger)
{
}

const boost::property_tree::ptree& SettingsRepository::group(const std::string& name) const
{
    if (info_) {
        const auto it = info_->groups.find(name);
        if (it != info_->groups.end() && it->second)
            return *it->second;
    }
    ORIX_LOG(logger_, Orix::LogError, " '" << name << "' is not represented in repository");
    return emptyTree();
}

std::set<std::string> SettingsRepository::ignoreList(const std::string& model) const
{
    std::set<std::string> names;
    try {
        const auto& groupTree = group("ignorePropertiesGroup");
        const auto entry = groupTree.find(model);
        if (entry == groupTree.not_found()) {
            ORIX_LOG(logger_, Orix::LogDebug,
                     " Properties Ignore list is not defined for device '" << model << "'");
            return names;
        }
        addNames(entry->second.data(), names);
        for (const auto& child : entry->second)
            addNames(child.second.data(), names);
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, Orix::LogError,
                 " Fill ignore properties failed with std::exception:" << e.what());
        names.clear();
    }
    return names;
}

} // namespace Vapixcam
