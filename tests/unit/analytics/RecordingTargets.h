#pragma once
// The host's side of target lists for tests: a module context that offers
// a target-enumerator factory through IServiceProvider and writes down each
// frame it is given as "id:x,y,w,h ColorH=.. ColorS=.. ColorV=..; ...".
// It makes no enumerator, so the detector raises no event for the frame.
#include <mutex>
#include <orix/analytics/ITargetEnumerator.h>
#include <orix/plugin/IModuleHost.h>
#include <orix/plugin/IServiceProvider.h>
#include <sstream>
#include <string>
#include <vector>

namespace AnalyticsTest {

class RecordingTargets final : public Orix::PLUGIN::IModuleHost,
                               public Orix::PLUGIN::IServiceProvider,
                               public Orix::Analytics::ITargetEnumeratorFactory {
public:
    Orix::IContract* QueryContract(const char* name) override
    {
        if (std::string(name) == Orix::contractName<Orix::PLUGIN::IServiceProvider>())
            return static_cast<Orix::PLUGIN::IServiceProvider*>(this);
        return nullptr;
    }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    Orix::ILogger* GetLogger() override { return nullptr; }
    Orix::IContract* QueryService(const char* name) override
    {
        if (std::string(name) == Orix::contractName<Orix::Analytics::ITargetEnumeratorFactory>())
            return static_cast<Orix::Analytics::ITargetEnumeratorFactory*>(this);
        return nullptr;
    }
    Orix::Analytics::ITargetEnumerator* CreateEnumerator(std::uint64_t, const Orix::Analytics::TargetInfo* targets,
                                                         std::uint32_t count) override
    {
        std::string frame;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto& t = targets[i];
            std::ostringstream text;
            text << t.id << ":" << t.area.x << "," << t.area.y << "," << t.area.width << "," << t.area.height;
            for (std::uint32_t p = 0; p < t.propertyCount; ++p)
                text << " " << t.properties[p].name << "=" << t.properties[p].value;
            frame += (i ? "; " : "") + text.str();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.push_back(frame);
        return nullptr;
    }
    std::vector<std::string> frames() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> frames_;
};

} // namespace AnalyticsTest
