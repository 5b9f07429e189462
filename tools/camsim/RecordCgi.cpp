#include "RecordCgi.h"

#include "RecordingStore.h"
#include "Router.h"

namespace Camsim {

namespace {

HttpResponse badRequest(const std::string& why)
{
    return HttpResponse::text(400, "400 Bad Request\n" + why + "\n");
}

std::vector<std::string> splitComma(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        out.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos)
            return out;
        from = comma + 1;
    }
}

} // namespace

HttpResponse RecordCgi::disks(const HttpRequest& request) const
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequest("malformed arguments");
    return HttpResponse::text(200, store_.diskListXml(), "text/xml");
}

HttpResponse RecordCgi::list(const HttpRequest& request) const
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequest("malformed arguments");
    RecordingQuery query;
    for (const auto& [name, value] : *args) {
        if (name == "recordingid") {
            query.ids.clear();
            if (value != "all")
                query.ids = splitComma(value);
        } else if (name == "diskid") {
            query.diskId = value;
        } else if (name == "starttime" || name == "stoptime") {
            const auto micros = parseIsoUtc(value);
            if (!micros)
                return badRequest("bad " + name + " " + value);
            (name == "starttime" ? query.startMicros : query.stopMicros) = micros;
        } else if (name == "maxnumberofresults") {
            if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
                return badRequest("bad maxnumberofresults " + value);
            query.maxResults = static_cast<unsigned>(std::stoul(value));
        } else if (name == "sortorder") {
            if (value != "ascending" && value != "descending")
                return badRequest("bad sortorder " + value);
            query.descending = value == "descending";
        }
    }
    return HttpResponse::text(200, store_.recordListXml(query), "text/xml");
}

} // namespace Camsim
