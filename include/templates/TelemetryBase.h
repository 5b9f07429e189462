#pragma once
// The two bases of a telemetry channel: they keep the channel index, answer
// contract queries for their interfaces, destroy the object, and answer 8
// (not supported) for every operation a derived class does not override.
#include <netkit/util/Contract.h>
#include <orix/ErrorCodes.h>
#include <orix/gdrv/Telemetry.h>

namespace Orix::Utility {

class TelemetryBase : public GDRV::ITelemetry {
public:
    explicit TelemetryBase(std::uint32_t channel) : channel_(channel) {}

    IContract* QueryContract(const char* name) override
    {
        return const_cast<IContract*>(TelemetryBase::QueryConstContract(name));
    }
    const IContract* QueryConstContract(const char* name) const override
    {
        if (isContract<GDRV::ITelemetryAdjuster>(name))
            return static_cast<const GDRV::ITelemetryAdjuster*>(this);
        // ITelemetry starts with its IDeviceChannel: one address for all three.
        if (isContract<IContract>(name) || isContract<GDRV::IDeviceChannel>(name) ||
            isContract<GDRV::ITelemetry>(name))
            return static_cast<const GDRV::IDeviceChannel*>(this);
        return nullptr;
    }

    void Destroy() override { delete this; }
    std::uint32_t GetChannel() const override { return channel_; }

    // ITelemetryAdjuster
    std::uint32_t SetPreset(std::uint32_t) override { return NotSupported; }
    std::uint32_t ClearPreset(std::uint32_t) override { return NotSupported; }
    std::uint32_t BeginTour(std::uint32_t) override { return NotSupported; }
    std::uint32_t AddTourPoint(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override
    {
        return NotSupported;
    }
    std::uint32_t EndTour() override { return NotSupported; }
    std::uint32_t Reserved8() override { return NotSupported; }
    std::uint32_t Reserved9() override { return NotSupported; }

    // ITelemetry
    std::uint32_t MovePanTilt(std::int32_t, std::int32_t) override { return NotSupported; }
    std::uint32_t StepPanTilt(std::int32_t, std::int32_t, std::int32_t) override
    {
        return NotSupported;
    }
    std::uint32_t Reserved7() override { return NotSupported; }
    std::uint32_t MoveZoom(std::int32_t) override { return NotSupported; }
    std::uint32_t StepZoom(std::int32_t) override { return NotSupported; }
    std::uint32_t Reserved10() override { return NotSupported; }
    std::uint32_t MoveFocus(std::int32_t) override { return NotSupported; }
    std::uint32_t StepFocus(std::int32_t) override { return NotSupported; }
    std::uint32_t Reserved13() override { return NotSupported; }
    std::uint32_t AutoFocus() override { return NotSupported; }
    std::uint32_t MoveIris(std::int32_t) override { return NotSupported; }
    std::uint32_t StepIris(std::int32_t) override { return NotSupported; }
    std::uint32_t Reserved17() override { return NotSupported; }
    std::uint32_t Reserved18() override { return NotSupported; }
    std::uint32_t GoPreset(std::uint32_t, std::uint32_t) override { return NotSupported; }
    std::uint32_t StartTour(std::uint32_t) override { return NotSupported; }
    std::uint32_t StopTour(std::uint32_t) override { return NotSupported; }
    std::uint32_t Reserved22() override { return NotSupported; }
    std::uint32_t Reserved23() override { return NotSupported; }

protected:
    std::uint32_t channel_;
};

class TelemetryBase2 : public GDRV::ITelemetry2 {
public:
    explicit TelemetryBase2(std::uint32_t channel) : channel2_(channel) {}

    IContract* QueryContract(const char* name) override
    {
        return const_cast<IContract*>(TelemetryBase2::QueryConstContract(name));
    }
    const IContract* QueryConstContract(const char* name) const override
    {
        return queryContract<GDRV::ITelemetry2>(this, name);
    }

    std::uint32_t SetPreset(const char*) override { return NotSupported; }
    std::uint32_t ClearPreset(const char*) override { return NotSupported; }
    std::uint32_t GetPresets(std::vector<GDRV::PresetInfo>&) override { return NotSupported; }
    std::uint32_t GoPreset(const char*) override { return NotSupported; }
    std::uint32_t GetAuxiliaryOperations(std::vector<std::string>&) override
    {
        return NotSupported;
    }
    std::uint32_t PerformAuxiliaryOperation(const char*) override { return NotSupported; }
    void Destroy() override { delete this; }
    std::uint32_t GetChannel() const override { return channel2_; }

private:
    std::uint32_t channel2_;
};

} // namespace Orix::Utility
