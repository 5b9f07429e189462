#pragma once
// One simulated camera model: its parameter tree, the templates action=add
// instantiates, and the few traits that are not parameters.
#include "ParamTree.h"

#include <string>
#include <vector>

namespace Camsim {

struct TemplateParam {
    std::string relativePath; // below the new instance, e.g. "Name"
    std::string value;
    ParamType type;
};

// action=add&template=<name>&group=<parent>: creates <parent>.<letter><n>.
struct InstanceTemplate {
    std::string name;   // "streamprofile"
    std::string parent; // "StreamProfile"; '#' stands for any instance number ("GuardTour.G#.Tour")
    std::string letter; // "S"
    std::vector<TemplateParam> params;

    bool parentMatches(const std::string& groupPath) const;
};

// The firmware's web server decides the wording of 401 and 404 pages.
enum class WebServerStyle { Apache, Boa };

struct Model {
    std::string name;
    ParamTree params;
    std::vector<InstanceTemplate> templates;
    bool optics = false; // has /axis-cgi/opticssetup.cgi
    WebServerStyle webServer = WebServerStyle::Apache;
    // AXIS OS 12.11: after a "# Error:" line for an unknown group the next
    // requested group is listed without its "root." prefix.
    bool unprefixedAfterError = false;

    std::string value(const std::string& path) const; // empty when missing
    const InstanceTemplate* findTemplate(const std::string& name) const;
    // The template whose instances live directly in groupPath, if any.
    const InstanceTemplate* templateForParent(const std::string& groupPath) const;
};

} // namespace Camsim
