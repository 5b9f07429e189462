#include "MediaLibrary.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace Camsim {

namespace fs = std::filesystem;

namespace {

const char* extension(VideoCodec codec)
{
    switch (codec) {
    case VideoCodec::H264: return ".264";
    case VideoCodec::H265: return ".265";
    case VideoCodec::Jpeg: return ".mjpeg";
    }
    return "";
}

} // namespace

std::size_t nearestSize(const std::vector<std::pair<unsigned, unsigned>>& sizes, unsigned width, unsigned height)
{
    std::size_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const long d = std::labs(static_cast<long>(sizes[i].first) - static_cast<long>(width)) +
                       std::labs(static_cast<long>(sizes[i].second) - static_cast<long>(height));
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

MediaLibrary::MediaLibrary(std::string directory) : directory_(std::move(directory)) {}

std::vector<MediaLibrary::Entry> MediaLibrary::scan(VideoCodec codec) const
{
    std::vector<Entry> entries;
    std::error_code ec;
    const std::string prefix = std::string(codecName(codec)) + "-";
    for (fs::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0 || it->path().extension().string() != extension(codec))
            continue;
        const std::string size = it->path().stem().string().substr(prefix.size());
        const auto x = size.find('x');
        if (x == std::string::npos || x == 0 || size.find_first_not_of("0123456789x") != std::string::npos)
            continue;
        const unsigned w = static_cast<unsigned>(std::strtoul(size.substr(0, x).c_str(), nullptr, 10));
        const unsigned h = static_cast<unsigned>(std::strtoul(size.substr(x + 1).c_str(), nullptr, 10));
        if (w > 0 && h > 0)
            entries.push_back(Entry{w, h, it->path().string()});
    }
    return entries;
}

std::optional<MediaLibrary::Entry> MediaLibrary::nearest(VideoCodec codec, unsigned width, unsigned height,
                                                         std::string& error) const
{
    const auto entries = scan(codec);
    if (entries.empty()) {
        error = std::string("no ") + codecName(codec) + " clips in " + directory_ +
                " (make them with tools/camsim/data/media/make_clips.sh)";
        return std::nullopt;
    }
    std::vector<std::pair<unsigned, unsigned>> sizes;
    for (const auto& e : entries)
        sizes.emplace_back(e.width, e.height);
    return entries[nearestSize(sizes, width, height)];
}

std::optional<std::string> MediaLibrary::read(const Entry& entry, std::string& error)
{
    std::ifstream in(entry.path, std::ios::binary);
    if (!in) {
        error = "cannot read " + entry.path;
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size < 0 || static_cast<std::size_t>(size) > kMaxClipBytes) {
        error = entry.path + " is larger than " + std::to_string(kMaxClipBytes) + " bytes";
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(&bytes[0], size);
    if (!in) {
        error = "cannot read " + entry.path;
        return std::nullopt;
    }
    return bytes;
}

std::shared_ptr<const MediaClip> MediaLibrary::clip(VideoCodec codec, unsigned width, unsigned height,
                                                    std::string& error)
{
    const auto chosen = nearest(codec, width, height, error);
    if (!chosen)
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = loaded_.find(chosen->path);
    if (found != loaded_.end())
        return found->second;
    const auto bytes = read(*chosen, error);
    if (!bytes)
        return nullptr;
    std::string why;
    auto parsed = parseClip(*bytes, codec, why);
    if (!parsed) {
        error = chosen->path + ": " + why;
        return nullptr;
    }
    if (codec != VideoCodec::Jpeg) {
        parsed->width = chosen->width;
        parsed->height = chosen->height;
    }
    auto shared = std::make_shared<const MediaClip>(std::move(*parsed));
    loaded_.emplace(chosen->path, shared);
    return shared;
}

std::shared_ptr<const std::vector<std::string>> MediaLibrary::jpegFiles(unsigned width, unsigned height,
                                                                         std::string& error)
{
    const auto chosen = nearest(VideoCodec::Jpeg, width, height, error);
    if (!chosen)
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = jpegFiles_.find(chosen->path);
    if (found != jpegFiles_.end())
        return found->second;
    const auto bytes = read(*chosen, error);
    if (!bytes)
        return nullptr;
    auto pictures = splitJpegStream(*bytes);
    if (pictures.empty()) {
        error = chosen->path + ": no JPEG pictures";
        return nullptr;
    }
    auto shared = std::make_shared<const std::vector<std::string>>(std::move(pictures));
    jpegFiles_.emplace(chosen->path, shared);
    return shared;
}

} // namespace Camsim
