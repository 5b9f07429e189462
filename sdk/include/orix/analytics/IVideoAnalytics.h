#pragma once
#include <orix/IContract.h>

namespace Orix::Analytics {

class IVideoAnalyticsHandler : public IContract {};

class IVideoAnalytics : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

} // namespace Orix::Analytics
