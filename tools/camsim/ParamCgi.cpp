#include "ParamCgi.h"

#include "ErrorPages.h"
#include "ParamFormat.h"
#include "Router.h"
#include "RtspStreamRequest.h"

#include <cctype>

namespace Camsim {

namespace {

bool startsWithNoCase(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

std::string settingError(const std::string& name, const std::string& value)
{
    return "# Error: Error setting '" + name + "' to '" + value + "'!\n";
}

// Keeps a host that adds in a loop from growing the tree without end where
// the group itself sets no MaxGroups.
constexpr unsigned kMaxInstances = 256;

bool isInstanceName(const std::string& name, const std::string& letter)
{
    if (name.size() <= letter.size() || !startsWithNoCase(name, letter))
        return false;
    for (std::size_t i = letter.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

// A stream profile's Parameters is a media.amp query: the camera refuses
// what it could not stream, as it refuses any other bad value.
bool isProfileParameters(const std::string& path)
{
    return startsWithNoCase(path, "StreamProfile.") && path.size() > 11 &&
           iequals(path.substr(path.size() - 11), ".Parameters");
}

bool isReserved(const std::string& name)
{
    return name == "action" || name == "template" || name == "group" || name == "usergroup";
}

} // namespace

std::vector<std::string> ParamCgi::splitGroups(const std::string& value)
{
    std::vector<std::string> groups;
    std::size_t start = 0;
    while (start <= value.size()) {
        auto end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        std::string g = value.substr(start, end - start);
        const auto b = g.find_first_not_of(" \t");
        const auto e = g.find_last_not_of(" \t");
        if (b != std::string::npos)
            groups.push_back(g.substr(b, e - b + 1));
        start = end + 1;
    }
    return groups;
}

HttpResponse ParamCgi::handle(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequestPage("Malformed %-escape in the request arguments.");
    return camera_.withModel([&](Model& model) { return answer(model, *args); });
}

HttpResponse ParamCgi::answer(Model& model, const FormPairs& args)
{
    const auto action = formValue(args, "action");
    if (!action)
        return HttpResponse::text(200, "# Error: No action specified\n");
    const auto group = formValue(args, "group");
    const auto groups = group ? splitGroups(*group) : std::vector<std::string>();
    if (*action == "list")
        return HttpResponse::text(200, formatParamList(model, groups));
    if (*action == "listdefinitions") {
        const auto format = formValue(args, "listformat");
        if (!format || *format != "xmlschema")
            return HttpResponse::text(200, "# Error: Unsupported listformat '" + format.value_or("") + "'\n");
        return HttpResponse::text(200, formatParamDefinitions(model, groups), "text/xml");
    }
    if (*action == "update")
        return HttpResponse::text(200, update(model, args));
    if (*action == "add")
        return HttpResponse::text(200, add(model, args));
    if (*action == "remove")
        return HttpResponse::text(200, remove(model, args));
    return HttpResponse::text(200, "# Error: Unknown action '" + *action + "'\n");
}

std::string ParamCgi::update(Model& model, const FormPairs& args)
{
    // All or nothing: the first refusal leaves every value as it was.
    std::vector<std::pair<Param*, const std::string*>> changes;
    for (const auto& a : args) {
        if (isReserved(a.first))
            continue;
        Param* p = model.params.findParam(a.first);
        if (!p || !p->type.writable() || !p->type.accepts(a.second) ||
            (isProfileParameters(stripRoot(a.first)) && !profileParametersAccepted(a.second, model.params)))
            return settingError(a.first, a.second);
        changes.emplace_back(p, &a.second);
    }
    for (auto& c : changes)
        c.first->value = *c.second;
    return "OK\n";
}

std::string ParamCgi::add(Model& model, const FormPairs& args)
{
    const std::string failed = "# Request failed: Couldn't create group\n";
    const auto templateName = formValue(args, "template");
    const auto groupArg = formValue(args, "group");
    if (!templateName || !groupArg)
        return failed;
    const InstanceTemplate* t = model.findTemplate(*templateName);
    const std::string parentPath = stripRoot(*groupArg);
    if (!t || !t->parentMatches(parentPath))
        return failed;

    // The parent may be created on the way (GuardTour.G0.Tour), but only
    // below a group that exists.
    auto parts = splitParamPath(parentPath);
    const std::string grandParent = joinParamPath(parts, parts.size() - 1);
    ParamGroup* parent = model.params.findGroup(parentPath);
    if (!parent && (parts.size() == 1 || !model.params.findGroup(grandParent)))
        return failed;

    unsigned index = 0;
    unsigned instances = 0;
    if (parent) {
        for (const auto& g : parent->groups) {
            if (isInstanceName(g.name, t->letter))
                ++instances;
        }
        while (parent->group(t->letter + std::to_string(index)))
            ++index;
        if (instances >= kMaxInstances)
            return failed;
        if (const Param* maxGroups = parent->param("MaxGroups")) {
            try {
                if (instances >= static_cast<unsigned>(std::stoul(maxGroups->value)))
                    return failed;
            } catch (const std::exception&) {
            }
        }
    }

    // Values given with the bare letter: StreamProfile.S.Name=...
    const std::string prefix = parentPath + "." + t->letter + ".";
    std::vector<std::pair<const TemplateParam*, const std::string*>> given;
    for (const auto& a : args) {
        if (isReserved(a.first))
            continue;
        const std::string name = stripRoot(a.first);
        const TemplateParam* match = nullptr;
        if (startsWithNoCase(name, prefix)) {
            const std::string rel = name.substr(prefix.size());
            for (const auto& tp : t->params) {
                if (iequals(tp.relativePath, rel))
                    match = &tp;
            }
        }
        if (!match || !match->type.accepts(a.second) ||
            (isProfileParameters(name) && !profileParametersAccepted(a.second, model.params)))
            return settingError(a.first, a.second);
        given.emplace_back(match, &a.second);
    }

    const std::string canonicalParent =
        parent ? model.params.canonicalGroupPath(parentPath) : parentPath;
    parent = model.params.ensureGroup(canonicalParent);
    if (!parent)
        return failed;
    const std::string instance = t->letter + std::to_string(index);
    const std::string base = canonicalParent + "." + instance + ".";
    for (const auto& tp : t->params) {
        std::string value = tp.value;
        for (const auto& g : given) {
            if (g.first == &tp)
                value = *g.second;
        }
        model.params.define(base + tp.relativePath, value, tp.type);
    }
    return instance + " OK\n";
}

std::string ParamCgi::remove(Model& model, const FormPairs& args)
{
    const auto groupArg = formValue(args, "group");
    const auto groups = groupArg ? splitGroups(*groupArg) : std::vector<std::string>();
    if (groups.empty())
        return "# Request failed: Couldn't remove group ''\n";
    std::vector<std::string> canonical;
    for (const auto& g : groups) {
        const std::string path = model.params.canonicalGroupPath(g);
        auto parts = splitParamPath(path);
        const InstanceTemplate* t =
            parts.size() > 1 ? model.templateForParent(joinParamPath(parts, parts.size() - 1)) : nullptr;
        if (path.empty() || !t || !isInstanceName(parts.back(), t->letter))
            return "# Request failed: Couldn't remove group '" + stripRoot(g) + "'\n";
        canonical.push_back(path);
    }
    for (const auto& path : canonical)
        model.params.removeGroup(path);
    return "OK\n";
}

} // namespace Camsim
