#pragma once
// The clips camsim streams, found in one directory as <codec>-<W>x<H>.<ext>
// (h264-1280x720.264, h265-640x360.265, jpeg-1920x1080.mjpeg, made by
// data/media/make_clips.sh) and loaded on first use. A request gets the clip
// of its codec nearest to the asked resolution.
#include "MediaClip.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

class MediaLibrary {
public:
    static constexpr std::size_t kMaxClipBytes = 64 * 1024 * 1024;

    explicit MediaLibrary(std::string directory);

    // The clip of this codec nearest to width x height; null with error when
    // there is none or it cannot be read.
    std::shared_ptr<const MediaClip> clip(VideoCodec codec, unsigned width, unsigned height, std::string& error);

    // The whole JPEG files of the MJPEG clip nearest to width x height, as
    // jpg/image.cgi serves them; null with error as clip() gives it.
    std::shared_ptr<const std::vector<std::string>> jpegFiles(unsigned width, unsigned height,
                                                              std::string& error);

    const std::string& directory() const { return directory_; }

private:
    struct Entry {
        unsigned width;
        unsigned height;
        std::string path;
    };
    std::vector<Entry> scan(VideoCodec codec) const;
    // The clip file of codec nearest to width x height; nullopt with error.
    std::optional<Entry> nearest(VideoCodec codec, unsigned width, unsigned height, std::string& error) const;
    static std::optional<std::string> read(const Entry& entry, std::string& error);

    std::string directory_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const MediaClip>> loaded_;
    std::map<std::string, std::shared_ptr<const std::vector<std::string>>> jpegFiles_;
};

// The size among the candidates closest to width x height (sum of the
// differences of both sides); the first on a tie.
std::size_t nearestSize(const std::vector<std::pair<unsigned, unsigned>>& sizes, unsigned width, unsigned height);

} // namespace Camsim
