#include "VideoUpdateBuilder.h"

#include "CodecNames.h"

#include "CurrentSettings.h"
#include "VideoParameterTable.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <netkit/params/SettingsApply.h>
#include <optional>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

std::optional<bool> boolOf(const Orix::Utility::ParamValue& value)
{
    if (const bool* b = std::get_if<bool>(&value))
        return *b;
    if (const int* i = std::get_if<int>(&value))
        return *i != 0;
    if (const std::string* s = std::get_if<std::string>(&value)) {
        if (*s == "true" || *s == "yes" || *s == "on" || *s == "1")
            return true;
        if (*s == "false" || *s == "no" || *s == "off" || *s == "0")
            return false;
    }
    return std::nullopt;
}

std::optional<int> intOf(const Orix::Utility::ParamValue& value)
{
    if (const int* i = std::get_if<int>(&value))
        return *i;
    if (const double* d = std::get_if<double>(&value)) {
        if (std::isfinite(*d) && *d == std::floor(*d) && std::fabs(*d) <= 2147483647.0)
            return static_cast<int>(*d);
        return std::nullopt;
    }
    if (const std::string* s = std::get_if<std::string>(&value)) {
        try {
            std::size_t used = 0;
            const long v = std::stol(*s, &used);
            if (used == s->size() && v >= -2147483648L && v <= 2147483647L)
                return static_cast<int>(v);
        } catch (const std::exception&) {
        }
    }
    return std::nullopt;
}

class Builder {
public:
    Builder(const VideoUpdateInputs& in, const Orix::LoggerOwner& logger)
        : in_(in),
          logger_(logger),
          acquired_(*in.acquired),
          current_(*in.values, acquired_.properties.translations, in.codec, in.stream,
                   acquired_.ignoreOsdForProfiles)
    {
    }

    VideoUpdatePlan run()
    {
        const auto& changed = in_.changed;
        plan_.needsNewSession = Orix::Utility::parametersRequireRTSPClientReconnect(changed) ||
                                changed.count("transportProtocol") != 0 ||
                                (in_.stream == 0 && changed.count("codec") != 0);

        for (const auto& [name, value] : changed) {
            if (!LightControl::isLightProperty(name))
                continue;
            if (auto request = LightControl::writeRequest(name, value, acquired_.lights, logger_))
                plan_.lightRequests.push_back(std::move(*request));
        }

        std::string url = kParamUpdateUri;
        bool appended = false;
        for (const auto& d : VideoParameterTable::descriptors()) {
            const auto it = changed.find(d.hostName);
            if (it == changed.end())
                continue;
            if (in_.stream == 1 && !d.profileKey.empty()) {
                plan_.profileRewrite = true;
                plan_.needsNewSession = true;
                continue;
            }
            if (d.path.empty())
                continue;
            const auto text = writtenValue(d, it->second);
            if (!text)
                continue;
            url += "&" + instancePath(d.path, in_.instance) + "=" + VideoUpdateBuilder::encodeValue(*text);
            appended = true;
            if (d.stream)
                plan_.needsNewSession = true;
            if (d.hostName == "sensorCaptureMode")
                plan_.reboot = true;
            if (d.hostName == "digitalPtz")
                url += "&PTZ.Various.V" + std::to_string(in_.cameraNumber) + ".Locked=false";
        }

        if (plan_.profileRewrite) {
            if (!acquired_.profileIndex) {
                ORIX_LOG(logger_, Orix::LogError,
                         " Stream profile of the channel is not known, it can't be rewritten");
                plan_.error = Orix::GenericFailure;
                return plan_;
            }
            url += "&StreamProfile.S" + std::to_string(*acquired_.profileIndex) +
                   ".Parameters=" + encodeProfileParameters(profileParameters());
            appended = true;
        }
        if (appended)
            plan_.updateUrl = url;
        return plan_;
    }

private:
    // The descriptor is written when the camera defined its path, the kind
    // is known and the property is offered with the values after the change.
    bool writable(const ParameterDescriptor& d) const
    {
        const auto kind = acquired_.properties.kinds.find(d.hostName);
        if (kind == acquired_.properties.kinds.end()) {
            ORIX_LOG(logger_, Orix::LogError,
                     " Unknown type '" << static_cast<int>(d.kind) << "' is defined for of property '"
                                       << d.hostName << "'");
            return false;
        }
        if (!d.path.empty() && acquired_.properties.paths.count(d.path) == 0)
            return false;
        if (d.check && !d.check(current_)) {
            ORIX_LOG(logger_, Orix::LogDebug, " Property '" << d.hostName << "' skipped by checker");
            return false;
        }
        return true;
    }

    std::optional<std::string> writtenValue(const ParameterDescriptor& d,
                                            const Orix::Utility::ParamValue& value) const
    {
        if (!writable(d))
            return std::nullopt;
        const ParameterKind kind = acquired_.properties.kinds.at(d.hostName);
        switch (kind) {
        case ParameterKind::checkedEnum:
        case ParameterKind::cameraEnum: {
            const std::string chosen = Orix::Utility::paramToString(value);
            const auto map = acquired_.properties.translations.find(d.hostName);
            if (map != acquired_.properties.translations.end()) {
                const auto entry = map->second.find(chosen);
                if (entry != map->second.end())
                    return entry->second;
                for (const auto& [display, camera] : map->second) {
                    if (camera == chosen)
                        return camera;
                }
            }
            ORIX_LOG(logger_, Orix::LogError,
                     " Property '" << d.hostName << "' has no value '" << chosen << "'");
            return std::nullopt;
        }
        case ParameterKind::boolean: {
            const auto on = boolOf(value);
            if (!on)
                break;
            // As the camera's definition spells it (yes/no, On/Off, true/false...).
            const auto spelling = acquired_.properties.boolSpellings.find(d.hostName);
            if (spelling != acquired_.properties.boolSpellings.end())
                return *on ? spelling->second.on : spelling->second.off;
            if (d.hostName == "autoSlowShutter")
                return std::string(*on ? "on" : "off");
            if (d.hostName == "digitalPtz")
                return std::string(*on ? "true" : "false");
            return std::string(*on ? "yes" : "no");
        }
        case ParameterKind::intRange: {
            const auto number = intOf(value);
            if (!number)
                break;
            return std::to_string(*number);
        }
        case ParameterKind::string:
            if (const std::string* text = std::get_if<std::string>(&value))
                return *text;
            break;
        }
        ORIX_LOG(logger_, Orix::LogError,
                 " Unexpected property '" << d.hostName << "' value "
                                          << Orix::Utility::paramToString(value));
        return std::nullopt;
    }

    // The second stream's profile as the camera has it, with the changed
    // settings merged in: keys the driver does not model, their order and
    // the values of unchanged settings stay as they are.
    ProfileParameters profileParameters() const
    {
        ProfileParameters params = acquired_.profile;
        const std::string codec = cameraCodecName(in_.codec);
        if (!codec.empty() &&
            (in_.changed.count("codec") != 0 || findProfileParameter(params, "videocodec") == nullptr))
            setProfileParameter(params, "videocodec", codec);
        for (const auto& name : VideoParameterTable::profileRewriteOrder()) {
            if (in_.changed.count(name) == 0)
                continue;
            for (const auto* d : VideoParameterTable::findByHostName(name)) {
                if (d->profileKey.empty() || acquired_.properties.kinds.count(name) == 0 ||
                    !writable(*d))
                    continue;
                const auto stored = in_.values->getPersistentParam(name);
                if (!stored)
                    continue;
                if (const auto text = profileValue(*d, *stored))
                    setProfileParameter(params, d->profileKey, encodeProfileValue(*text));
                break;
            }
        }
        return params;
    }

    std::optional<std::string> profileValue(const ParameterDescriptor& d,
                                            const Orix::Utility::ParamValue& value) const
    {
        if (acquired_.properties.kinds.at(d.hostName) == ParameterKind::boolean) {
            // Stream profiles spell switches 0/1 ("mirror=0").
            if (const auto on = boolOf(value))
                return std::string(*on ? "1" : "0");
            ORIX_LOG(logger_, Orix::LogError, " Unexpected property '" << d.hostName << "'");
            return std::nullopt;
        }
        return writtenValue(d, value);
    }

    const VideoUpdateInputs& in_;
    const Orix::LoggerOwner& logger_;
    const AcquiredVideoSettings& acquired_;
    CurrentSettings current_;
    VideoUpdatePlan plan_;
};

} // namespace

VideoUpdatePlan VideoUpdateBuilder::build(const VideoUpdateInputs& inputs,
                                          const Orix::LoggerOwner& logger)
{
    if (inputs.values == nullptr || inputs.acquired == nullptr) {
        VideoUpdatePlan plan;
        plan.error = Orix::NotStarted;
        ORIX_LOG(logger, Orix::LogError, " Settings were applied before they were read");
        return plan;
    }
    return Builder(inputs, logger).run();
}

std::string VideoUpdateBuilder::encodeValue(const std::string& value)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ' ') {
            out += '+';
        } else if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~' || c == ':' ||
                   c == ',' || c == '(' || c == ')' || c == '/') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0xf];
        }
    }
    return out;
}

} // namespace Vapixcam
