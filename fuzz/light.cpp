// The getLightInformation answer of /axis-cgi/lightcontrol.cgi, and the
// requests written back for the lights it lists.
//
// Checks: reading never throws whatever the JSON holds; at most kMaxLights
// lights, each property a light property of a listed light; for every light
// property the write request is JSON that names the camera's own lightID
// exactly.
#include "FuzzSupport.h"

#include "LightControl.h"

#include <json/reader.h>
#include <memory>
#include <orix/ErrorCodes.h>

using namespace Vapixcam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string json(reinterpret_cast<const char*>(data), size);
    LightInformation info;
    const std::uint32_t result = LightControl::readInformation(json, info, Fuzz::sinkLogger());
    FUZZ_CHECK(result == Orix::Ok || result == Orix::ProtocolError);
    FUZZ_CHECK(info.lights.size() <= kMaxLights);
    FUZZ_CHECK(info.properties.size() == info.values.size());

    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    for (const auto& [name, value] : info.values) {
        FUZZ_CHECK(LightControl::isLightProperty(name));
        (void)LightControl::offered(name, info.values);
        for (const bool on : {false, true}) {
            const auto request = LightControl::writeRequest(name, on, info.lights, Fuzz::sinkLogger());
            FUZZ_CHECK(request.has_value());
            Json::Value body;
            std::string errors;
            FUZZ_CHECK(reader->parse(request->body.data(), request->body.data() + request->body.size(),
                                     &body, &errors));
            const std::string id = body["params"]["lightID"].asString();
            const std::string prefix = name.substr(0, name.find_first_not_of("0123456789", 3));
            bool listed = false;
            for (const auto& light : info.lights)
                listed = listed || (light.prefix == prefix && light.id == id);
            FUZZ_CHECK(listed);
        }
    }
    return 0;
}
