#pragma once
// The temperature alarm zones of a thermal camera
// ("/axis-cgi/temperature_alarm/get.cgi"), read for the host: each zone's
// alarm settings and its rectangle as a visual element in the host's
// normalised frame.
//
// Answer layout: the zones are the children of
// TemperatureResponse.Success.GetSuccess, in document order; each zone
// carries its fields as child elements or as attributes:
//
//   <TemperatureResponse SchemaVersion="1.0">
//     <Success><GetSuccess>
//       <TemperatureZone>
//         <ZoneID>1</ZoneID><Name>Door</Name>
//         <Emissivity>0.95</Emissivity><DetectionType>above</DetectionType>
//         <Temperature>60</Temperature><TemperatureType>max</TemperatureType>
//         <DelayTime>5</DelayTime>
//         <Xleft>0</Xleft><Xright>4999.5</Xright><Ytop>9999</Ytop><Ybottom>0</Ybottom>
//       </TemperatureZone>
//     </GetSuccess></Success>
//   </TemperatureResponse>
//
// Rectangle coordinates are the camera's 0..9999.
#include <json/value.h>
#include <string>
#include <utility>
#include <vector>

namespace Vapixcam {

struct TemperatureZone {
    std::string name; // the zone's Name, else "Zone " and its id or position
    // Host property -> the camera's value, in the order emissivity,
    // detectionType, temperature, temperatureType, delayTime.
    std::vector<std::pair<std::string, std::string>> values;
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
};

struct TemperatureReading {
    std::vector<TemperatureZone> zones;
    std::vector<std::string> failed; // zones that could not be read, by element name
};

// False (and the reason in error) when the answer is not such a document.
bool readTemperatureZones(const std::string& xml, TemperatureReading& out, std::string& error);

// The settings document reported to the host: one group per zone with its
// read-only properties, and the zones' rectangles under "visualElements".
Json::Value temperatureSettingsJson(const TemperatureReading& reading);

} // namespace Vapixcam
