#include "RecordingSearch.h"

#include "DeviceServices.h"
#include "RecordingList.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <netkit/http/HttpClient.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/util/Contract.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {
using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;
} // namespace

// Runs on the device's I/O thread only.
class RecordingSearch::State final : public std::enable_shared_from_this<State>, public Orix::LoggerOwner {
public:
    State(std::string id, DeviceServices& device, const Orix::IContract* self, const Orix::LoggerOwner& log)
        : LoggerOwner(log.getLogger(), log.logPrefix()), id_(std::move(id)), device_(device), self_(self)
    {
    }

    void find(std::uint64_t begin, std::uint64_t end, Orix::GDRV::IRecordingSearchHandler* handler)
    {
        if (abandoned_)
            return;
        const std::uint64_t now = Orix::Utility::timeStamp();
        if (end > now) {
            ORIX_LOG(*this, LogWarning, " Incorrect recording end interval: " << timestampToString(end)
                                                                              << ", setting it to current time");
            end = now;
        }
        ORIX_LOG(*this, LogDebug,
                 " Recording search for interval (" << timestampToString(begin) << "," << timestampToString(end)
                                                    << ")");
        const auto source = splitRecordingId(id_, *this);
        const auto info = device_.connectionInfo();
        if (!source || !info) {
            fail(handler, Orix::NoConnection);
            return;
        }
        const std::string url = recordingListUrl(source->disk, "", begin, end);
        std::weak_ptr<State> weak = shared_from_this();
        request_ = Orix::http::asyncGetEx(
            info, url, device_.ioContext(), std::nullopt,
            [weak, handler, begin, end, url](const boost::system::error_code& error, const std::string& body,
                                             const Orix::http::HttpResponse& response) {
                if (auto self = weak.lock(); self && !self->abandoned_)
                    self->handleList(handler, begin, end, url, error, body, response);
            });
    }

    void abandon()
    {
        abandoned_ = true;
        if (auto request = std::move(request_))
            request->cancel();
    }

private:
    void handleList(Orix::GDRV::IRecordingSearchHandler* handler, std::uint64_t begin, std::uint64_t end,
                    const std::string& url, const boost::system::error_code& error, const std::string& body,
                    const Orix::http::HttpResponse& response)
    {
        request_.reset();
        if (const auto code = Orix::Utility::checkHttpAnswer(*this, error, body, response, url)) {
            fail(handler, code);
            return;
        }
        std::vector<RecordingEntry> entries;
        if (const auto code = parseRecordingList(body, begin, end, Orix::Utility::timeStamp(), *this, entries)) {
            fail(handler, code);
            return;
        }
        std::vector<Orix::GDRV::RecordingRange> ranges;
        for (const auto& e : entries)
            ranges.push_back({e.id.c_str(), e.status, e.begin, e.end});
        try {
            handler->Completed(self_, ranges.data(), static_cast<std::uint32_t>(ranges.size()));
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        }
    }

    void fail(Orix::GDRV::IRecordingSearchHandler* handler, std::uint32_t code)
    {
        try {
            handler->Failed(self_, code);
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        }
    }

    std::string id_;
    DeviceServices& device_;
    const Orix::IContract* self_;
    bool abandoned_ = false;
    Orix::http::RequestHandlePtr request_;
};

RecordingSearch::RecordingSearch(std::string id, DeviceServices& device)
    : LoggerOwner(device.logger()), device_(device)
{
    setLogPrefix("rS %1%", id);
    state_ = std::make_shared<State>(std::move(id), device, this, *this);
}

RecordingSearch::~RecordingSearch() = default;

Orix::IContract* RecordingSearch::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* RecordingSearch::QueryConstContract(const char* name) const
{
    using namespace Orix;
    if (Utility::isContract<IContract>(name) || Utility::isContract<GDRV::IRecordingSearch>(name))
        return this;
    return nullptr;
}

void RecordingSearch::Destroy()
{
    runOnIoThread(device_, [state = state_] { state->abandon(); });
    delete this;
}

void RecordingSearch::FindRecordings(std::uint64_t begin, std::uint64_t end,
                                     Orix::GDRV::IRecordingSearchHandler* handler)
{
    if (!handler)
        return;
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<State>(state_), begin, end, handler] {
        if (auto state = weak.lock())
            state->find(begin, end, handler);
    });
}

} // namespace Vapixcam
