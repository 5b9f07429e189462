#pragma once
// The settings write shared by the parameter-based detectors: the host
// properties pushed since the last apply, in the detector's table order,
// appended to one request ("/axis-cgi/param.cgi?action=update" and pieces
// like "&Tampering.T0.MinDuration=10").
#include <netkit/params/ParametersContainer.h>
#include <string>
#include <vector>

namespace Vapixcam {

enum class UpdateValueType { text, integer, boolean };

struct UpdatePiece {
    std::string property; // host property name
    UpdateValueType type;
    std::string prefix;   // written before the value: "&Motion.M0.Sensitivity="
};

struct ParameterUpdate {
    std::string request;   // base plus the pieces of the present properties
    bool appended = false; // at least one property was present
    std::string typeError; // set when a present value had the wrong type
};

// Booleans are written "yes" or "no". A value of the wrong type (the host
// set a text where a number belongs) stops the build with typeError holding
// the log text "boost::bad_any_cast: ...", as the settings channel reports it.
ParameterUpdate buildParameterUpdate(const std::string& base, const std::vector<UpdatePiece>& pieces,
                                     const Orix::Utility::ParamMap& pushed);

} // namespace Vapixcam
