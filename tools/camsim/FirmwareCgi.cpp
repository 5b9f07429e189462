#include "FirmwareCgi.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cctype>
#include <map>
#include <memory>
#include <optional>

namespace Camsim {

namespace {

const char* const kVersionParam = "Properties.FirmwareManagement.Version";

struct Size {
    long long width = 0;
    long long height = 0;
    bool fitsIn(const Size& frame) const { return width <= frame.width && height <= frame.height; }
    long long area() const { return width * height; }
};

// The first "<digits>x<digits>" in text: "2144x2144 (WDR)", "1280x720 60 fps".
std::optional<Size> sizeIn(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) ||
            (i > 0 && std::isdigit(static_cast<unsigned char>(text[i - 1]))))
            continue;
        std::size_t j = i;
        Size s;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && j - i < 6)
            s.width = s.width * 10 + (text[j++] - '0');
        if (j >= text.size() || text[j] != 'x')
            continue;
        std::size_t k = ++j;
        while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])) && k - j < 6)
            s.height = s.height * 10 + (text[k++] - '0');
        if (k > j && s.width > 0 && s.height > 0)
            return s;
    }
    return std::nullopt;
}

// The size a source's capture mode names, per source index ("0", "1", ...).
std::map<std::string, Size> captureFrames(const Model& model)
{
    std::map<std::string, Size> frames;
    const ParamGroup* sources = model.params.findGroup("ImageSource");
    if (!sources)
        return frames;
    for (const auto& source : sources->groups) {
        if (source.name.size() < 2 || (source.name[0] != 'I' && source.name[0] != 'i'))
            continue;
        const ParamGroup* sensor = source.group("Sensor");
        const Param* mode = sensor ? sensor->param("CaptureMode") : nullptr;
        if (!mode)
            continue;
        for (const auto& entry : mode->type.entries) {
            if (entry.value != mode->value)
                continue;
            if (auto size = sizeIn(entry.niceValue.empty() ? entry.value : entry.niceValue))
                frames[source.name.substr(1)] = *size;
        }
    }
    return frames;
}

bool fitsAny(const std::string& resolution, const std::map<std::string, Size>& frames)
{
    const auto size = sizeIn(resolution);
    if (!size)
        return true; // named sizes (4CIF, ...) are left alone
    for (const auto& frame : frames) {
        if (size->fitsIn(frame.second))
            return true;
    }
    return false;
}

void limitViewResolutions(Param& resolution, const Param& factory, const Size& frame)
{
    std::vector<EnumEntry> kept;
    for (const auto& entry : factory.type.entries) {
        const auto size = sizeIn(entry.value);
        if (!size || size->fitsIn(frame))
            kept.push_back(entry);
    }
    if (kept.empty())
        return;
    resolution.type.entries = kept;
    for (const auto& entry : kept) {
        if (entry.value == resolution.value)
            return;
    }
    const EnumEntry* largest = &kept.front();
    for (const auto& entry : kept) {
        const auto a = sizeIn(entry.value);
        const auto b = sizeIn(largest->value);
        if (a && (!b || a->area() > b->area()))
            largest = &entry;
    }
    resolution.value = largest->value;
}

} // namespace

FirmwareCgi::FirmwareCgi(Camera& camera, boost::asio::io_context& io, Power power,
                         std::chrono::milliseconds downTime)
    : camera_(camera),
      io_(io),
      power_(std::move(power)),
      downTime_(downTime),
      factory_(camera.withModel([](Model& m) { return m; }))
{
}

bool FirmwareCgi::available(const Model& model)
{
    return !model.value(kVersionParam).empty();
}

HttpResponse FirmwareCgi::handle(const HttpRequest& request)
{
    if (request.method != "POST") {
        HttpResponse r = HttpResponse::text(405, "405 Method Not Allowed\n");
        r.headers.emplace_back("Allow", "POST");
        return r;
    }
    const std::string version = camera_.withModel([](Model& m) { return m.value(kVersionParam); });
    auto json = [](std::string text) { return HttpResponse::text(200, std::move(text), "application/json"); };

    JsonApiRequest r;
    JsonApiError error;
    if (!parseJsonApiRequest(request.body, r, error))
        return json(jsonApiError(version, r, error));
    if (!jsonApiVersionServed(r.apiVersion, version))
        return json(jsonApiError(version, r, {kJsonUnsupportedVersion, "The requested API version is not supported"}));

    if (r.method == "getSupportedVersions") {
        OrderedJson versions = OrderedJson::array();
        versions.push(OrderedJson::string(version));
        return json(jsonApiData(version, r, OrderedJson().add("apiVersions", std::move(versions))));
    }
    if (r.method == "status") {
        const std::string firmware = camera_.withModel([](Model& m) { return m.value("Properties.Firmware.Version"); });
        OrderedJson data;
        data.add("activeFirmwareVersion", OrderedJson::string(firmware));
        data.add("activeFirmwarePart", OrderedJson::string(""));
        data.add("isCommitted", OrderedJson::boolean(true));
        return json(jsonApiData(version, r, data));
    }
    if (r.method == "reboot") {
        scheduleReboot();
        return json(jsonApiData(version, r, OrderedJson::object()));
    }
    return json(jsonApiError(version, r, {kJsonMethodNotSupported, "Method not supported"}));
}

void FirmwareCgi::scheduleReboot()
{
    if (rebooting_.exchange(true))
        return; // already on its way down
    auto timer = std::make_shared<boost::asio::steady_timer>(io_, kAnswerGrace);
    timer->async_wait([this, timer](const boost::system::error_code& ec) {
        if (ec)
            return;
        if (power_.off)
            power_.off();
        timer->expires_after(downTime_);
        timer->async_wait([this, timer](const boost::system::error_code& e) {
            if (e)
                return;
            camera_.withModel([this](Model& m) { applyBootEffects(m, factory_); });
            ++reboots_;
            if (power_.on)
                power_.on();
            rebooting_ = false;
        });
    });
}

void FirmwareCgi::applyBootEffects(Model& model, const Model& factory)
{
    const auto frames = captureFrames(model);
    if (frames.empty())
        return;

    if (Param* list = model.params.findParam("Properties.Image.Resolution")) {
        if (const Param* all = factory.params.findParam("Properties.Image.Resolution")) {
            std::string kept;
            std::size_t start = 0;
            while (start <= all->value.size()) {
                auto end = all->value.find(',', start);
                if (end == std::string::npos)
                    end = all->value.size();
                const std::string item = all->value.substr(start, end - start);
                if (!item.empty() && fitsAny(item, frames))
                    kept += (kept.empty() ? "" : ",") + item;
                start = end + 1;
            }
            if (!kept.empty())
                list->value = kept;
        }
    }

    ParamGroup* views = model.params.findGroup("Image");
    const ParamGroup* factoryViews = factory.params.findGroup("Image");
    if (!views || !factoryViews)
        return;
    for (auto& view : views->groups) {
        const Param* source = view.param("Source");
        const auto frame = frames.find(source ? source->value : "0");
        if (frame == frames.end())
            continue;
        ParamGroup* appearance = view.group("Appearance");
        Param* resolution = appearance ? appearance->param("Resolution") : nullptr;
        const ParamGroup* factoryView = factoryViews->group(view.name);
        const ParamGroup* factoryAppearance = factoryView ? factoryView->group("Appearance") : nullptr;
        const Param* factoryResolution = factoryAppearance ? factoryAppearance->param("Resolution") : nullptr;
        if (resolution && factoryResolution)
            limitViewResolutions(*resolution, *factoryResolution, frame->second);
    }
}

} // namespace Camsim
