#pragma once
// The shock detector's sensitivity as the camera reports it
// ("/axis-cgi/shockdetection/getsensitivitylevel.cgi?schemaversion=1"):
//
//   <ShockDetectionResponse SchemaVersion="1.0">
//     <Success><GetSensitivityLevelSuccess><SensitivityLevel>50</SensitivityLevel>
//     </GetSensitivityLevelSuccess></Success>
//   </ShockDetectionResponse>
//
// The level is the integer content of the first element whose name ends in
// "Level"; older builds answer a plain "level=50".
#include <optional>
#include <string>

namespace Vapixcam {

std::optional<int> readShockSensitivity(const std::string& answer);

} // namespace Vapixcam
