#include "Camera.h"

#include <cctype>

namespace Camsim {

std::string realmForMac(const std::string& mac)
{
    std::string realm = "AXIS_";
    for (char c : mac) {
        if (c != ':' && c != '-')
            realm += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return realm;
}

Camera::Camera(Model model)
    : model_(std::move(model)),
      realm_(realmForMac(model_.value("Network.eth0.MACAddress"))),
      modelName_(model_.name),
      hasOptics_(model_.optics),
      webServer_(model_.webServer)
{
}

} // namespace Camsim
