#pragma once
// The pure rules of a live video stream: which URL it opens, how long it
// waits before a reconnect, what follows the end of a session, which
// transport follows a refused one, and which camera number a channel streams.
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <netkit/rtsp/RTSPClient.h>
#include <optional>
#include <string>

namespace Vapixcam {

// Seconds before reconnect number `attempt` (1 = after the first failure):
// 10 per attempt up to 30 attempts, plus 0-4 s of jitter from `random`
// (a value in 0..32767).
unsigned reconnectDelaySeconds(std::uint64_t attempt, int random);

// What follows the end of a session. A session the server ended cleanly
// (no error, or rtsp::error::sessionEndedByServer: an RTCP BYE, the end of
// the stream) is resumed at once when it brought media; one that brought
// none waits like a failure, so that a server ending every session at once
// is not hammered. retryAtOnce (the owner changed the transport) resumes
// at once too.
enum class SessionEndAction { resumeAtOnce, waitAndRetry };
SessionEndAction afterSessionEnd(const boost::system::error_code& error, bool mediaInSession,
                                 bool retryAtOnce);

// The transport to try after the server refused `refused`, when the host did
// not choose one: tcp, then udp, then the HTTP tunnel; nothing after that.
std::optional<Orix::Utility::RtspTransport> fallbackTransport(Orix::Utility::RtspTransport refused);

// The camera number of a channel: channel + 1 without a dewarp view, else the
// view's number (1..12). Nothing for a view name the camera does not know.
std::optional<unsigned> cameraNumber(std::uint32_t channel, const std::string& dewarpMode);

// The ImageChannelSet.Selected value of a view; nothing for an unknown view.
std::optional<unsigned> dewarpSelectedValue(const std::string& dewarpMode);

// "/axis-media/media.amp?camera=N&videocodec=h264" for the main stream,
// "/axis-media/media.amp?camera=N&streamprofile=ProfileX" for the second.
std::string liveStreamUrl(unsigned cameraNumber, std::uint32_t stream, const std::string& codec,
                          const std::string& profileName);

} // namespace Vapixcam
