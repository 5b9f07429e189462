#include "SetCommand.h"

#include "ActionWaiter.h"

#include "CliError.h"
#include "ErrorMeaning.h"
#include "Host.h"
#include "ModuleLoader.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <json/json.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <orix/ErrorCodes.h>
#include <orix/Handlers.h>

namespace VapixcamCli {

namespace {


std::optional<int> integerText(const std::string& text)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size())
        return std::nullopt;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            return std::nullopt;
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<double> numberText(const std::string& text)
{
    if (text.empty() || text.size() > 32)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size())
        return std::nullopt;
    return value;
}

std::string describe(const SettingValue& value)
{
    if (const int* i = std::get_if<int>(&value))
        return std::to_string(*i);
    if (const bool* b = std::get_if<bool>(&value))
        return *b ? "true" : "false";
    if (const double* d = std::get_if<double>(&value)) {
        std::ostringstream text;
        text << *d;
        return text.str();
    }
    return "'" + std::get<std::string>(value) + "'";
}

} // namespace

std::uint32_t setOne(Orix::IAsyncAdjuster& adjuster, const std::string& name, const SettingValue& value)
{
    if (const int* i = std::get_if<int>(&value))
        return adjuster.SetValue(name.c_str(), *i);
    if (const bool* b = std::get_if<bool>(&value))
        return adjuster.SetValue(name.c_str(), *b);
    if (const double* d = std::get_if<double>(&value))
        return adjuster.SetValue(name.c_str(), *d);
    return adjuster.SetValue(name.c_str(), std::get<std::string>(value).c_str());
}

std::pair<std::string, std::string> splitSetting(const std::string& text)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw CliError(kExitUsage, "a setting is NAME=VALUE, got '" + text + "'");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

SettingValue settingValue(const std::string& name, const std::string& text, const std::string& reportedType)
{
    if (reportedType == "integer") {
        if (const auto i = integerText(text))
            return *i;
        throw CliError(kExitUsage, name + " takes an integer, got '" + text + "'");
    }
    if (reportedType == "boolean") {
        if (text == "true" || text == "false")
            return text == "true";
        throw CliError(kExitUsage, name + " takes true or false, got '" + text + "'");
    }
    if (reportedType == "number") {
        if (const auto d = numberText(text))
            return *d;
        throw CliError(kExitUsage, name + " takes a number, got '" + text + "'");
    }
    if (reportedType == "string")
        return text;
    if (const auto i = integerText(text))
        return *i;
    if (text == "true" || text == "false")
        return text == "true";
    return text;
}

std::map<std::string, std::string> reportedTypes(const std::string& settingsJson)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(settingsJson.data(), settingsJson.data() + settingsJson.size(), &root, &errors) ||
        !root.isObject())
        throw CliError(kExitError, "the settings are not a JSON object: " + errors);
    std::map<std::string, std::string> types;
    for (const char* list : {"settings", "videoStreamingSettings"}) {
        const Json::Value& groups = root[list];
        if (!groups.isArray())
            continue;
        for (const Json::Value& group : groups) {
            const Json::Value& properties = group["properties"];
            if (!properties.isArray())
                continue;
            for (const Json::Value& p : properties) {
                if (p["name"].isString())
                    types[p["name"].asString()] = p["type"].isString() ? p["type"].asString() : std::string();
            }
        }
    }
    return types;
}

CLI::App* SetCommand::attach(CLI::App& app)
{
    CLI::App* command =
        app.add_subcommand("set", "Change settings of a camera channel (or the device) and apply them");
    addSettingsTargetOptions(*command, device_, target_);
    command->add_option("settings", settings_, "NAME=VALUE, as `vapixcam params` names them")->required();
    module_.addTo(*command);
    return command;
}

int SetCommand::run()
{
    std::vector<std::pair<std::string, std::string>> wanted;
    for (const auto& s : settings_)
        wanted.push_back(splitSetting(s));

    Host host(module_.logLevel);
    ModuleLoader loader(module_.modulePath);
    Orix::GDRV::IModule& module = loader.init(host);
    const std::chrono::seconds limit(device_.timeoutSeconds);

    std::uint32_t result = Orix::Ok;
    std::string targetName;
    {
        DeviceSession session(module, device_);
        session.connect();
        SettingsTarget target(session, target_);
        targetName = target.name();
        const auto types = reportedTypes(target.acquire(limit));
        for (const auto& [name, text] : wanted) {
            const auto type = types.find(name);
            if (type == types.end())
                throw CliError(kExitError, targetName + " offers no setting '" + name +
                                               "' (vapixcam params lists the settings)");
            const SettingValue value = settingValue(name, text, type->second);
            const std::uint32_t code = setOne(target.adjuster(), name, value);
            if (code != Orix::Ok)
                throw CliError(kExitError, targetName + " refuses " + name + " = " + describe(value) + ": " +
                                               failureText(code));
        }
        // Kept alive until the process ends, in case the answer comes late.
        static std::vector<std::unique_ptr<ActionWaiter>> abandoned;
        auto waiter = std::make_unique<ActionWaiter>();
        target.adjuster().ApplySettings(waiter.get());
        const auto answer = waiter->wait(limit);
        if (!answer) {
            abandoned.push_back(std::move(waiter));
            throw CliError(kExitNoAnswer, targetName + " did not finish applying the settings within " +
                                              std::to_string(limit.count()) + " s");
        }
        result = *answer;
    }
    loader.fini();

    std::cout << "ApplySettings: " << formatResultCode(result) << " " << errorMeaning(result) << std::endl;
    if (result != Orix::Ok)
        throw CliError(kExitError, "applying the settings to " + targetName + " failed: " + failureText(result));
    return kExitOk;
}

} // namespace VapixcamCli
