#include "support/ScriptedRequest.h"

#include <algorithm>
#include <cctype>

namespace TestSupport {
namespace {

const std::pair<std::string, std::string>* find(const RecordedHeaders& r, const std::string& name)
{
    const auto same = [&](const std::pair<std::string, std::string>& h) {
        return std::equal(h.first.begin(), h.first.end(), name.begin(), name.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    };
    const auto it = std::find_if(r.headers.begin(), r.headers.end(), same);
    return it == r.headers.end() ? nullptr : &*it;
}

} // namespace

std::string RecordedHeaders::header(const std::string& name) const
{
    const auto* h = find(*this, name);
    return h ? h->second : std::string();
}

bool RecordedHeaders::hasHeader(const std::string& name) const { return find(*this, name) != nullptr; }

} // namespace TestSupport
