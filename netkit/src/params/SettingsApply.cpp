#include <netkit/params/SettingsApply.h>

#include <algorithm>
#include <cctype>

namespace Orix::Utility {

namespace {

bool isSecret(const std::string& name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("password") != std::string::npos;
}

} // namespace

bool processBlockingConfiguration(ParametersContainer& container, ParamMap& changed,
                                  const LoggerOwner& logger)
{
    if (container.getBool(BLOCKING_CONFIGURATION_PARAM, false)) {
        ORIX_LOG(logger, LogDebug,
                 " Configuration is blocked, keeping changes " << settingsToString(changed));
        container.holdParameters(changed);
        return true;
    }
    const ParamMap held = container.takeHeldParameters();
    for (const auto& [name, value] : held)
        changed.emplace(name, value);
    if (!held.empty())
        ORIX_LOG(logger, LogDebug,
                 " Sending changes kept while configuration was blocked: " << settingsToString(held));
    return false;
}

bool parametersRequireRTSPClientReconnect(const ParamMap& changed)
{
    return changed.count("transportProtocol") != 0 || changed.count("signalLostTimeout") != 0;
}

std::string settingsToString(const ParamMap& settings)
{
    std::string out = "{";
    bool first = true;
    for (const auto& [name, value] : settings) {
        if (!first)
            out += ", ";
        first = false;
        out += name;
        out += '=';
        out += isSecret(name) ? std::string("******") : paramToString(value);
    }
    out += '}';
    return out;
}

std::string getAsyncActionHandlerTitle(const AsyncActionCompletion& completion)
{
    return completion.title();
}

} // namespace Orix::Utility
