#pragma once
// The camera's embedded motion windows (param.cgi group "Motion"): the
// requests that replace a channel's windows by one full-frame window, and
// the settings table of that window.
#include "ParameterUpdate.h"

#include <string>
#include <vector>

namespace Vapixcam {

// The window groups ("Motion.M3") of a "param.cgi?action=list&group=Motion"
// answer whose ImageSource is the channel. Names with or without "root.".
std::vector<std::string> motionWindowsOfChannel(const std::string& listAnswer, int channel);

// "/axis-cgi/param.cgi?action=remove&group=" and the groups, comma-separated.
std::string motionWindowsRemoveRequest(const std::vector<std::string>& groups);

// Adds one include window over the whole frame (0..9999) for the channel,
// sensitivity 90, object size 15, history 90.
std::string motionMainWindowRequest(int channel);

// WindowType, Sensitivity, ObjectSize, History of window M0.
const std::vector<UpdatePiece>& motionWindowPieces();

} // namespace Vapixcam
