#include "StorageDevice.h"

#include "DeviceServices.h"
#include "RecordingList.h"
#include "RecordingPlayback.h"
#include "RecordingSearch.h"

#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;

const Orix::GDRV::StorageTrack kTracks[] = {{"Video track", 1}, {"Audio track", 2}};
constexpr const char* kSourceName = "Axis Recording";

// Describes sources whose identifiers live in ids, which must outlive the descriptions.
std::vector<Orix::GDRV::StorageSourceDescription> describe(const std::vector<std::string>& ids)
{
    std::vector<Orix::GDRV::StorageSourceDescription> out;
    for (const auto& id : ids) {
        Orix::GDRV::StorageSourceDescription d;
        d.id = id.c_str();
        d.name = kSourceName;
        d.tracks = kTracks;
        d.trackCount = 2;
        out.push_back(d);
    }
    return out;
}

Orix::LoggerOwner storageLog(const DeviceServices& device)
{
    Orix::LoggerOwner log(device.logger());
    log.setLogPrefix("storage");
    return log;
}

} // namespace

void StorageDevice::loadCameraStoragesList()
{
    const auto log = storageLog(device_);
    const auto info = device_.connectionInfo();
    if (!info) {
        ORIX_LOG(log, LogWarning, " can't get storages list - not connected");
        return;
    }
    std::string body;
    const auto error = Orix::http::syncHttpGet(info, "/axis-cgi/disks/list.cgi?diskid=all", nullptr, body);
    if (error) {
        ORIX_LOG(log, LogWarning, " can't get storages list - " << error.message());
        return;
    }
    if (body.empty()) {
        ORIX_LOG(log, LogWarning, " can't get storages list - bad response");
        return;
    }
    disks_ = parseDiskList(body);
    ORIX_LOG(log, LogDebug, " Device has " << disks_.size() << " disk(s)");
}

std::vector<std::string> StorageDevice::disks()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (disks_.empty())
        loadCameraStoragesList();
    return disks_;
}

void StorageDevice::ListStorageSources(Orix::GDRV::IStorageSourcesHandler* handler)
{
    if (!handler)
        return;
    std::vector<std::string> ids;
    const auto channels = device_.topology().videoChannels;
    const auto disks = this->disks();
    for (std::int32_t channel = 0; channel < channels; ++channel)
        for (const auto& disk : disks)
            ids.push_back(storageSourceId(static_cast<std::uint32_t>(channel), disk));
    const auto sources = describe(ids);
    try {
        handler->Completed(this, sources.data(), static_cast<std::uint32_t>(sources.size()));
    } catch (const std::exception& e) {
        ORIX_LOG(storageLog(device_), LogError, " std::exception - " << e.what());
    }
}

void StorageDevice::DescribeStorageSource(const char* id, Orix::GDRV::IStorageSourcesHandler* handler)
{
    if (!handler)
        return;
    const std::string text = id ? id : "";
    const auto log = storageLog(device_);
    const auto split = splitRecordingId(text, log);
    try {
        if (!split || split->channel >= static_cast<std::uint32_t>(device_.topology().videoChannels)) {
            handler->Failed(this, Orix::NoConnection);
            return;
        }
        const std::vector<std::string> ids{text}; // the descriptions point into it
        const auto sources = describe(ids);
        handler->Completed(this, sources.data(), 1);
    } catch (const std::exception& e) {
        ORIX_LOG(log, LogError, " std::exception - " << e.what());
    }
}

Orix::GDRV::IRecordingSearch* StorageDevice::CreateRecordingSearch(const char* id)
{
    return new RecordingSearch(id ? id : "", device_);
}

Orix::GDRV::IRecordingPlayback* StorageDevice::CreateRecordingPlayback(
    const char* id, Orix::GDRV::IRecordingPlaybackHandler* handler)
{
    if (!handler)
        return nullptr;
    return new RecordingPlayback(id ? id : "", handler, device_);
}

} // namespace Vapixcam
