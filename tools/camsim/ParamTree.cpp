#include "ParamTree.h"

#include "HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace Camsim {

bool listOrderLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && digit(a[ie]))
                ++ie;
            while (je < b.size() && digit(b[je]))
                ++je;
            std::string na = a.substr(i, ie - i);
            std::string nb = b.substr(j, je - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size() - 1));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size() - 1));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ie;
            j = je;
            continue;
        }
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[j]));
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

const Param* ParamGroup::param(const std::string& n) const
{
    for (const auto& p : params) {
        if (iequals(p.name, n))
            return &p;
    }
    return nullptr;
}

Param* ParamGroup::param(const std::string& n)
{
    return const_cast<Param*>(static_cast<const ParamGroup*>(this)->param(n));
}

const ParamGroup* ParamGroup::group(const std::string& n) const
{
    for (const auto& g : groups) {
        if (iequals(g.name, n))
            return &g;
    }
    return nullptr;
}

ParamGroup* ParamGroup::group(const std::string& n)
{
    return const_cast<ParamGroup*>(static_cast<const ParamGroup*>(this)->group(n));
}

Param& ParamGroup::addParam(Param p)
{
    if (auto* existing = param(p.name))
        return *existing;
    auto at = std::upper_bound(params.begin(), params.end(), p.name,
                               [](const std::string& n, const Param& q) { return listOrderLess(n, q.name); });
    return *params.insert(at, std::move(p));
}

ParamGroup& ParamGroup::addGroup(const std::string& n)
{
    if (auto* existing = group(n))
        return *existing;
    auto at = std::upper_bound(groups.begin(), groups.end(), n,
                               [](const std::string& m, const ParamGroup& g) { return listOrderLess(m, g.name); });
    return *groups.insert(at, ParamGroup{n, {}, {}});
}

std::vector<std::string> splitParamPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('.', start);
        if (end == std::string::npos)
            end = path.size();
        if (end == start)
            return {};
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (!parts.empty() && iequals(parts.front(), "root"))
        parts.erase(parts.begin());
    return parts;
}

std::string joinParamPath(const std::vector<std::string>& parts, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
        if (i)
            out += '.';
        out += parts[i];
    }
    return out;
}

const ParamGroup* ParamTree::findGroup(const std::string& path) const
{
    const auto parts = splitParamPath(path);
    if (parts.empty())
        return iequals(path, "root") ? &root_ : nullptr;
    const ParamGroup* g = &root_;
    for (const auto& part : parts) {
        g = g->group(part);
        if (!g)
            return nullptr;
    }
    return g;
}

ParamGroup* ParamTree::findGroup(const std::string& path)
{
    return const_cast<ParamGroup*>(static_cast<const ParamTree*>(this)->findGroup(path));
}

const Param* ParamTree::findParam(const std::string& path) const
{
    auto parts = splitParamPath(path);
    if (parts.empty())
        return nullptr;
    const std::string name = parts.back();
    parts.pop_back();
    const ParamGroup* g = &root_;
    for (const auto& part : parts) {
        g = g->group(part);
        if (!g)
            return nullptr;
    }
    return g->param(name);
}

Param* ParamTree::findParam(const std::string& path)
{
    return const_cast<Param*>(static_cast<const ParamTree*>(this)->findParam(path));
}

ParamGroup* ParamTree::ensureGroup(const std::string& path)
{
    const auto parts = splitParamPath(path);
    if (parts.empty())
        return nullptr;
    ParamGroup* g = &root_;
    for (const auto& part : parts) {
        if (g->param(part))
            return nullptr;
        g = &g->addGroup(part);
    }
    return g;
}

Param* ParamTree::define(const std::string& path, const std::string& value, const ParamType& type)
{
    auto parts = splitParamPath(path);
    if (parts.empty())
        return nullptr;
    const std::string name = parts.back();
    parts.pop_back();
    ParamGroup* g = &root_;
    for (const auto& part : parts) {
        if (g->param(part))
            return nullptr;
        g = &g->addGroup(part);
    }
    if (g->group(name))
        return nullptr;
    Param& p = g->addParam(Param{name, value, type});
    p.value = value;
    p.type = type;
    return &p;
}

bool ParamTree::removeGroup(const std::string& path)
{
    auto parts = splitParamPath(path);
    if (parts.empty())
        return false;
    const std::string name = parts.back();
    parts.pop_back();
    ParamGroup* parent = parts.empty() ? &root_ : findGroup(joinParamPath(parts, parts.size()));
    if (!parent)
        return false;
    for (auto it = parent->groups.begin(); it != parent->groups.end(); ++it) {
        if (iequals(it->name, name)) {
            parent->groups.erase(it);
            return true;
        }
    }
    return false;
}

void ParamTree::visit(const ParamGroup& group, const std::string& prefix,
                      const std::function<void(const std::string&, const Param&)>& fn)
{
    const std::string base = prefix.empty() ? std::string() : prefix + ".";
    for (const auto& p : group.params)
        fn(base + p.name, p);
    for (const auto& g : group.groups)
        visit(g, base + g.name, fn);
}

std::string ParamTree::canonicalGroupPath(const std::string& path) const
{
    const auto parts = splitParamPath(path);
    if (parts.empty())
        return {};
    const ParamGroup* g = &root_;
    std::string out;
    for (const auto& part : parts) {
        g = g->group(part);
        if (!g)
            return {};
        out += (out.empty() ? "" : ".") + g->name;
    }
    return out;
}

} // namespace Camsim
