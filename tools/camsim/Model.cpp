#include "Model.h"

#include "HttpMessage.h"

#include <cctype>

namespace Camsim {

namespace {

bool isInstanceOf(const std::string& piece, const std::string& pattern)
{
    // "G#" matches "G0", "G12"; anything else must match case-insensitively.
    const auto hash = pattern.find('#');
    if (hash == std::string::npos)
        return iequals(piece, pattern);
    const std::string letter = pattern.substr(0, hash);
    if (piece.size() <= letter.size() || !iequals(piece.substr(0, letter.size()), letter))
        return false;
    for (std::size_t i = letter.size(); i < piece.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(piece[i])))
            return false;
    }
    return true;
}

} // namespace

bool InstanceTemplate::parentMatches(const std::string& groupPath) const
{
    const auto want = splitParamPath(parent);
    const auto have = splitParamPath(groupPath);
    if (want.empty() || want.size() != have.size())
        return false;
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (!isInstanceOf(have[i], want[i]))
            return false;
    }
    return true;
}

std::string Model::value(const std::string& path) const
{
    const Param* p = params.findParam(path);
    return p ? p->value : std::string();
}

const InstanceTemplate* Model::findTemplate(const std::string& n) const
{
    for (const auto& t : templates) {
        if (iequals(t.name, n))
            return &t;
    }
    return nullptr;
}

const InstanceTemplate* Model::templateForParent(const std::string& groupPath) const
{
    for (const auto& t : templates) {
        if (t.parentMatches(groupPath))
            return &t;
    }
    return nullptr;
}

} // namespace Camsim
