#pragma once
// What a media.amp URL asks for, resolved against the camera's parameters:
// the stream profile's Parameters first, the URL's own arguments over them,
// the image settings of the chosen camera for whatever is left. A wrong
// camera or an unknown profile is 404, a bad value 400, as the camera
// answers.
#include "MediaClip.h"

#include <optional>
#include <string>

namespace Camsim {

class ParamTree;

struct StreamRequest {
    unsigned camera = 1;          // 1-based
    VideoCodec codec = VideoCodec::H264;
    unsigned width = 1920;
    unsigned height = 1080;
    unsigned fps = 0;             // 0: as fast as the camera goes
    bool video = true;
    bool audio = false;
    std::string profile;          // the stream profile's name, if one was asked for
    std::string recordingId;      // recordingid=: playback of a recording, video only
    bool pull = false;            // pull=1: the client paces a recording's delivery
    bool events = false;          // event=on: the metadata track, last
    std::string eventTopic;       // eventtopic=, checked by EventTopicFilter
};

struct StreamRequestError {
    int status = 400;
    std::string reason;
};

// query: the URL's query string (without '?'). tree: the camera's
// parameters (read only). nullopt with error filled in when the camera
// would refuse the request.
std::optional<StreamRequest> resolveStreamRequest(const std::string& query, const ParamTree& tree,
                                                  StreamRequestError& error);

// Whether the camera streams videocodec=codec: its own lower-case names
// (h264, h265, jpeg) that Properties.Image.Format lists.
bool videoCodecSupported(const std::string& codec, const ParamTree& tree);

// Whether a stream profile's Parameters (a media.amp query string) may be
// stored: well-formed escapes and a codec the camera streams.
bool profileParametersAccepted(const std::string& parameters, const ParamTree& tree);

// "1280x720", or the old names 4CIF, 2CIFEXP, 2CIF, CIF, QCIF (PAL sizes).
bool parseResolution(const std::string& text, unsigned& width, unsigned& height);

} // namespace Camsim
