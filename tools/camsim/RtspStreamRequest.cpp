#include "RtspStreamRequest.h"

#include "EventTopicFilter.h"
#include "FormData.h"
#include "HttpMessage.h"
#include "ParamTree.h"

#include <cctype>

namespace Camsim {

namespace {

std::optional<unsigned> number(const std::string& s, unsigned max)
{
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long v = std::stoul(s);
    if (v > max)
        return std::nullopt;
    return static_cast<unsigned>(v);
}

std::string paramValue(const ParamTree& tree, const std::string& path)
{
    const Param* p = tree.findParam(path);
    return p ? p->value : std::string();
}

unsigned numberOfCameras(const ParamTree& tree)
{
    unsigned n = 1;
    for (const char* path : {"ImageSource.NbrOfSources", "Properties.Image.NbrOfViews"}) {
        const auto v = number(paramValue(tree, path), 64);
        if (v && *v > n)
            n = *v;
    }
    return n;
}

bool formatSupported(const ParamTree& tree, const std::string& codec)
{
    const std::string formats = paramValue(tree, "Properties.Image.Format");
    if (formats.empty())
        return codec != "h265";
    std::size_t pos = 0;
    while (pos <= formats.size()) {
        auto comma = formats.find(',', pos);
        if (comma == std::string::npos)
            comma = formats.size();
        if (toLower(formats.substr(pos, comma - pos)) == codec)
            return true;
        pos = comma + 1;
    }
    return false;
}

// The Parameters of the profile with this name (StreamProfile.S<k>.Name).
std::optional<std::string> profileParameters(const ParamTree& tree, const std::string& name)
{
    const ParamGroup* profiles = tree.findGroup("StreamProfile");
    if (!profiles)
        return std::nullopt;
    for (const auto& g : profiles->groups) {
        const Param* n = g.param("Name");
        const Param* p = g.param("Parameters");
        if (n && p && n->value == name)
            return p->value;
    }
    return std::nullopt;
}

// Later pairs override earlier ones.
std::optional<std::string> lastValue(const FormPairs& pairs, const std::string& name)
{
    std::optional<std::string> v;
    for (const auto& p : pairs) {
        if (p.first == name)
            v = p.second;
    }
    return v;
}

std::optional<bool> flag(const std::string& s)
{
    if (s == "1" || s == "yes" || s == "on")
        return true;
    if (s == "0" || s == "no" || s == "off")
        return false;
    return std::nullopt;
}

} // namespace

bool videoCodecSupported(const std::string& codec, const ParamTree& tree)
{
    // The camera's own names only: "mjpeg" is refused even where
    // Properties.Image.Format lists it.
    return (codec == "h264" || codec == "h265" || codec == "jpeg") && formatSupported(tree, codec);
}

bool profileParametersAccepted(const std::string& parameters, const ParamTree& tree)
{
    const auto args = parseForm(parameters);
    if (!args)
        return false;
    const auto codec = lastValue(*args, "videocodec");
    return !codec || videoCodecSupported(toLower(*codec), tree);
}

bool parseResolution(const std::string& text, unsigned& width, unsigned& height)
{
    static const struct {
        const char* name;
        unsigned w, h;
    } named[] = {{"4CIF", 704, 576}, {"2CIFEXP", 704, 576}, {"2CIF", 704, 288}, {"CIF", 352, 288}, {"QCIF", 176, 144},
                 {"D1", 720, 576}};
    for (const auto& n : named) {
        if (iequals(text, n.name)) {
            width = n.w;
            height = n.h;
            return true;
        }
    }
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    const auto w = number(text.substr(0, x), 8192);
    const auto h = number(text.substr(x + 1), 8192);
    if (!w || !h || *w < 16 || *h < 16)
        return false;
    width = *w;
    height = *h;
    return true;
}

std::optional<StreamRequest> resolveStreamRequest(const std::string& query, const ParamTree& tree,
                                                  StreamRequestError& error)
{
    const auto urlArgs = parseForm(query);
    if (!urlArgs) {
        error = {400, "malformed %-escape in the URL"};
        return std::nullopt;
    }
    FormPairs args;
    StreamRequest r;
    if (const auto profile = lastValue(*urlArgs, "streamprofile")) {
        const auto parameters = profileParameters(tree, *profile);
        if (!parameters) {
            error = {404, "no stream profile named '" + *profile + "'"};
            return std::nullopt;
        }
        const auto profileArgs = parseForm(*parameters);
        if (!profileArgs) {
            error = {400, "stream profile '" + *profile + "' has malformed Parameters"};
            return std::nullopt;
        }
        args = *profileArgs;
        r.profile = *profile;
    }
    args.insert(args.end(), urlArgs->begin(), urlArgs->end());

    if (const auto id = lastValue(args, "recordingid")) {
        // The recording decides codec and size; the store is the connection's to ask.
        if (id->empty()) {
            error = {400, "recordingid is empty"};
            return std::nullopt;
        }
        r.recordingId = *id;
        r.audio = false;
        if (const auto v = lastValue(args, "pull")) {
            const auto f = flag(*v);
            if (!f) {
                error = {400, "pull=" + *v + " is neither 0 nor 1"};
                return std::nullopt;
            }
            r.pull = *f;
        }
        return r;
    }

    if (const auto camera = lastValue(args, "camera")) {
        const unsigned cameras = numberOfCameras(tree);
        const auto n = number(*camera, 1000);
        // "quad" is the four-view picture of encoders and multi-view cameras.
        const bool quad = iequals(*camera, "quad") && cameras > 1;
        if (!quad && (!n || *n < 1 || *n > cameras)) {
            error = {404, "camera=" + *camera + " does not exist (1.." + std::to_string(cameras) + ")"};
            return std::nullopt;
        }
        r.camera = quad ? 1 : *n;
    }
    const std::string image = "Image.I" + std::to_string(r.camera - 1);

    std::string codec = "h264";
    if (const auto c = lastValue(args, "videocodec"))
        codec = toLower(*c);
    if (!videoCodecSupported(codec, tree)) {
        error = {400, "videocodec=" + codec + " is not supported by this camera"};
        return std::nullopt;
    }
    r.codec = codec == "h264" ? VideoCodec::H264 : codec == "h265" ? VideoCodec::H265 : VideoCodec::Jpeg;

    std::string resolution = paramValue(tree, image + ".Appearance.Resolution");
    if (const auto v = lastValue(args, "resolution"))
        resolution = *v;
    if (!resolution.empty() && !parseResolution(resolution, r.width, r.height)) {
        error = {400, "resolution=" + resolution + " is not a resolution"};
        return std::nullopt;
    }

    std::string fps = paramValue(tree, image + ".Stream.FPS");
    if (const auto v = lastValue(args, "fps"))
        fps = *v;
    if (!fps.empty()) {
        const auto f = number(fps, 120);
        if (!f) {
            error = {400, "fps=" + fps + " is not a frame rate"};
            return std::nullopt;
        }
        r.fps = *f;
    }

    r.audio = paramValue(tree, "Audio.A0.Enabled") == "yes";
    for (const char* name : {"video", "audio"}) {
        if (const auto v = lastValue(args, name)) {
            const auto f = flag(*v);
            if (!f) {
                error = {400, std::string(name) + "=" + *v + " is neither 0 nor 1"};
                return std::nullopt;
            }
            (std::string(name) == "video" ? r.video : r.audio) = *f;
        }
    }
    if (const auto v = lastValue(args, "event")) {
        const auto f = flag(*v);
        if (!f) {
            error = {400, "event=" + *v + " is neither on nor off"};
            return std::nullopt;
        }
        r.events = *f;
    }
    if (const auto topic = lastValue(args, "eventtopic"); topic && r.events) {
        std::string why;
        if (!EventTopicFilter::parse(*topic, why)) {
            error = {400, why};
            return std::nullopt;
        }
        r.eventTopic = *topic;
    }
    if (!r.video && !r.audio && !r.events) {
        error = {400, "neither video nor audio asked for"};
        return std::nullopt;
    }
    return r;
}

} // namespace Camsim
