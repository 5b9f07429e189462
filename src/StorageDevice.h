#pragma once
// The camera's edge storage as the host sees it: one storage source per
// video channel and disk ("0.SD_DISK"), and the searches and playbacks of
// their recordings. The disk list is read from the camera once, on the
// first successful answer, blocking the caller (the host asks rarely and
// expects the list at once); a failed read leaves the list empty and the
// next call asks again.
//
// A base of the device: the device answers the IStorageDevice contract with it.
#include <mutex>
#include <orix/gdrv/Storage.h>
#include <string>
#include <vector>

namespace Vapixcam {

class DeviceServices;

class StorageDevice : public Orix::GDRV::IStorageDevice {
public:
    explicit StorageDevice(DeviceServices& device) : device_(device) {}

    void ListStorageSources(Orix::GDRV::IStorageSourcesHandler* handler) override;
    void DescribeStorageSource(const char* id, Orix::GDRV::IStorageSourcesHandler* handler) override;
    Orix::GDRV::IRecordingSearch* CreateRecordingSearch(const char* id) override;
    Orix::IContract* CreateReserved(const char*) override { return nullptr; }
    Orix::GDRV::IRecordingPlayback* CreateRecordingPlayback(
        const char* id, Orix::GDRV::IRecordingPlaybackHandler* handler) override;

    // The cached disk identifiers, loaded when empty.
    std::vector<std::string> disks();

private:
    void loadCameraStoragesList();

    DeviceServices& device_;
    std::mutex mutex_;
    std::vector<std::string> disks_;
};

} // namespace Vapixcam
