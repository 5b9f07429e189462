#pragma once
// vapixcam set URL NAME=VALUE...: connects to one camera through the module,
// reads the settings of one channel (or of the device) as a host does before
// changing them, sets each value, applies them and prints the result code
// with its meaning. A failure ends with a non-zero exit code.
//
// A value is passed as the type the channel reported for that setting
// (integer, boolean, number, string); failing that it is an int when the
// text is an integer, a bool for "true"/"false", else a string. A name the channel does not offer is
// refused before anything is sent.
#include "Command.h"
#include "DeviceSession.h"
#include "ParamsCommand.h"

#include <cstdint>
#include <map>
#include <orix/Handlers.h>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace VapixcamCli {

using SettingValue = std::variant<int, bool, double, std::string>;

// "NAME=VALUE" -> the pair; throws CliError (usage) without '=' or a name.
std::pair<std::string, std::string> splitSetting(const std::string& text);

// The value to hand to SetValue. reportedType is the "type" the settings
// document gives the property ("integer", "boolean", "string", "number"),
// empty when it lists none. Throws CliError when the text does not fit a
// reported integer, boolean or number.
SettingValue settingValue(const std::string& name, const std::string& text, const std::string& reportedType);

// SetValue of the value's own type; the adjuster's result.
std::uint32_t setOne(Orix::IAsyncAdjuster& adjuster, const std::string& name, const SettingValue& value);

// name -> "type" of every property in a settings document (both lists).
std::map<std::string, std::string> reportedTypes(const std::string& settingsJson);

class SetCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    SettingsTargetOptions target_;
    std::vector<std::string> settings_;
};

} // namespace VapixcamCli
