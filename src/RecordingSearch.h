#pragma once
// Which recordings of one storage source cover an interval: one
// record/list.cgi request per FindRecordings, answered on the device's I/O
// thread. The host object is a shell over a shared state that the request's
// completion reaches through a weak handle; Destroy returns once that state
// is abandoned, so no answer reaches the handler afterwards.
#include <memory>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Storage.h>
#include <string>

namespace Vapixcam {

class DeviceServices;

class RecordingSearch final : public Orix::GDRV::IRecordingSearch, public Orix::LoggerOwner {
public:
    RecordingSearch(std::string id, DeviceServices& device);
    ~RecordingSearch() override;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    void Destroy() override;
    void FindRecordings(std::uint64_t begin, std::uint64_t end,
                        Orix::GDRV::IRecordingSearchHandler* handler) override;
    void Cancel() override {}

private:
    class State;
    DeviceServices& device_;
    std::shared_ptr<State> state_;
};

} // namespace Vapixcam
