#pragma once
// The configuration document of the Video Motion Detection 3 application
// (vaconfig.cgi): the body of "action=modify&name=VMD3" built from the
// operator's areas and the four object filters, and the filters read back
// from "action=get&name=VMD3".
//
// The application keeps a filter's value and whether it is on in one
// integer: a disabled filter is stored negated.
#include "MotionAreas.h"

#include <array>
#include <netkit/params/ParametersContainer.h>
#include <string>
#include <vector>

namespace Vapixcam {

// One int object of the rule engine and the two host properties it carries.
struct Vmd3Filter {
    const char* object;           // named object in the configuration
    const char* valueProperty;    // host property holding the magnitude
    const char* enablingProperty; // host property saying whether it filters
};

// In the order the objects are written.
extern const std::array<Vmd3Filter, 4> kVmd3Filters;

// The modify request body for the channel (zero-based). The filter values
// come from the container (persistent value, else default, else 0); a
// filter is written negated when its enabling property is false. An empty
// detection area gives an empty text.
std::string buildVmd3Configuration(int channel, const MotionAreas& areas,
                                   const Orix::Utility::ParametersContainer& values);

// A filter read back from the application.
struct Vmd3FilterValue {
    const Vmd3Filter* filter = nullptr;
    int value = 0;        // magnitude
    bool enabled = false; // the stored value was positive
};

struct Vmd3Reading {
    std::vector<Vmd3FilterValue> filters;
    std::vector<std::string> unsupported; // int objects the table does not name
};

// Reads the int objects under reply.config.application.ruleEngines
// .ruleEngine.namedObjects. False (and the parser's reason in error) when
// the answer is not such a document.
bool readVmd3Configuration(const std::string& xml, Vmd3Reading& out, std::string& error);

} // namespace Vapixcam
