#include "EventTopicFilter.h"

namespace Camsim {

namespace {

constexpr std::size_t kMaxPieces = 64;
constexpr std::size_t kMaxExpression = 8192;

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    while (true) {
        const auto at = text.find(separator, from);
        out.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return out;
        from = at + 1;
    }
}

bool endsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::optional<EventTopicFilter::Name> EventTopicFilter::parseName(const std::string& text)
{
    Name name;
    const auto colon = text.find(':');
    name.local = colon == std::string::npos ? text : text.substr(colon + 1);
    if (colon != std::string::npos) {
        const std::string prefix = text.substr(0, colon);
        if (prefix == "onvif" || prefix == "tns1")
            name.space = "onvif";
        else if (prefix == "axis" || prefix == "tnsaxis")
            name.space = "axis";
        else
            return std::nullopt;
    }
    if (name.local.empty() || name.local.find_first_of(":/ ") != std::string::npos)
        return std::nullopt;
    return name;
}

std::optional<EventTopicFilter> EventTopicFilter::parse(const std::string& expression, std::string& why)
{
    EventTopicFilter filter;
    if (expression.empty())
        return filter;
    if (expression.size() > kMaxExpression) {
        why = "eventtopic is longer than " + std::to_string(kMaxExpression) + " characters";
        return std::nullopt;
    }
    for (const std::string& comma : split(expression, ',')) {
        for (const std::string& text : split(comma, '|')) {
            if (filter.pieces_.size() == kMaxPieces) {
                why = "eventtopic has more than " + std::to_string(kMaxPieces) + " expressions";
                return std::nullopt;
            }
            Piece piece;
            std::string path = text;
            if (endsWith(path, "//.")) {
                piece.depth = Depth::Descendants;
                path.resize(path.size() - 3);
            } else if (endsWith(path, "/.")) {
                piece.depth = Depth::Children;
                path.resize(path.size() - 2);
            }
            for (const std::string& part : split(path, '/')) {
                const auto name = parseName(part);
                if (!name) {
                    why = "'" + text + "' is not a topic expression";
                    return std::nullopt;
                }
                piece.path.push_back(*name);
            }
            filter.pieces_.push_back(std::move(piece));
        }
    }
    return filter;
}

bool EventTopicFilter::sameName(const Name& filter, const Name& topic)
{
    return filter.local == topic.local && (filter.space.empty() || topic.space.empty() || filter.space == topic.space);
}

EventTopicFilter EventTopicFilter::nothing()
{
    EventTopicFilter f;
    f.nothing_ = true;
    return f;
}

bool EventTopicFilter::matches(const std::string& topic) const
{
    if (nothing_)
        return false;
    if (pieces_.empty())
        return true;
    std::vector<Name> names;
    for (const std::string& part : split(topic, '/')) {
        const auto name = parseName(part);
        if (!name)
            return false;
        names.push_back(*name);
    }
    for (const Piece& piece : pieces_) {
        if (names.size() < piece.path.size())
            continue;
        const std::size_t below = names.size() - piece.path.size();
        const bool depthOk = below == 0 || (below == 1 && piece.depth != Depth::Exact) ||
                             piece.depth == Depth::Descendants;
        if (!depthOk)
            continue;
        bool same = true;
        for (std::size_t i = 0; i < piece.path.size() && same; ++i)
            same = sameName(piece.path[i], names[i]);
        if (same)
            return true;
    }
    return false;
}

} // namespace Camsim
