#pragma once
// The camera's typed parameter tree. Paths are dot-separated, with or without
// the leading "root", and looked up case-insensitively. Inside each group the
// parameters come first and then the subgroups, each sorted the way Axis
// firmware lists them: case-insensitively, with instance numbers in numeric
// order (S2 before S10).
#include "ParamType.h"

#include <functional>
#include <string>
#include <vector>

namespace Camsim {

struct Param {
    std::string name;
    std::string value;
    ParamType type;
};

struct ParamGroup {
    std::string name;
    std::vector<Param> params;
    std::vector<ParamGroup> groups;

    const Param* param(const std::string& name) const;
    Param* param(const std::string& name);
    const ParamGroup* group(const std::string& name) const;
    ParamGroup* group(const std::string& name);
    // Inserts in listing order; an existing entry of that name is returned.
    Param& addParam(Param p);
    ParamGroup& addGroup(const std::string& name);
    bool empty() const { return params.empty() && groups.empty(); }
};

// Case-insensitive, digit runs compared as numbers.
bool listOrderLess(const std::string& a, const std::string& b);

// "root.Image.I0" -> {"Image", "I0"}; empty pieces give an empty result.
std::vector<std::string> splitParamPath(const std::string& path);
std::string joinParamPath(const std::vector<std::string>& parts, std::size_t count);

class ParamTree {
public:
    ParamGroup& root() { return root_; }
    const ParamGroup& root() const { return root_; }

    const ParamGroup* findGroup(const std::string& path) const;
    ParamGroup* findGroup(const std::string& path);
    const Param* findParam(const std::string& path) const;
    Param* findParam(const std::string& path);

    // Creates the groups on the way. Fails (returns nullptr) when a path
    // piece already names a parameter or the path is empty.
    Param* define(const std::string& path, const std::string& value, const ParamType& type);
    ParamGroup* ensureGroup(const std::string& path);
    bool removeGroup(const std::string& path);

    // Every parameter under group (in listing order) with its full path
    // without "root.", e.g. "Image.I0.Appearance.Resolution".
    static void visit(const ParamGroup& group, const std::string& prefix,
                      const std::function<void(const std::string&, const Param&)>& fn);

    // Canonical spelling of a group path (the tree's case), or empty.
    std::string canonicalGroupPath(const std::string& path) const;

private:
    ParamGroup root_{"root", {}, {}};
};

} // namespace Camsim
