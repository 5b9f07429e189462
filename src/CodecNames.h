#pragma once
// The one mapping between the host's codec names and the camera's.
//
//   host    camera (videocodec=, StreamProfile "videocodec", Properties.Image.Format)
//   H264    h264
//   H265    h265
//   MJPEG   jpeg      (Axis firmware refuses "mjpeg")
//   MPEG4   mpeg4
//   AV1     av1
#include <netkit/rtp/Frame.h>
#include <string>

namespace Vapixcam {

// The camera's spelling of a host codec name (any case); empty when the
// camera has no such codec.
std::string cameraCodecName(const std::string& hostCodec);

// The host's name of a camera codec (any case; "mjpeg" is read as MJPEG too,
// since older profiles may carry it); empty when unknown.
std::string hostCodecName(const std::string& cameraCodec);

// The host's name of the codec of a received frame ("H264", "MJPEG", "G.711", ...).
const char* frameCodecName(Orix::Utility::Codec codec);

} // namespace Vapixcam
