#include "InterruptScope.h"

#include <csignal>

namespace VapixcamCli {

namespace {

volatile std::sig_atomic_t interruptedFlag = 0;

extern "C" void onInterrupt(int)
{
    interruptedFlag = 1;
}

} // namespace

InterruptScope::InterruptScope()
{
    interruptedFlag = 0;
    previousInt_ = std::signal(SIGINT, onInterrupt);
    previousTerm_ = std::signal(SIGTERM, onInterrupt);
}

InterruptScope::~InterruptScope()
{
    std::signal(SIGINT, previousInt_ == SIG_ERR ? SIG_DFL : previousInt_);
    std::signal(SIGTERM, previousTerm_ == SIG_ERR ? SIG_DFL : previousTerm_);
}

bool InterruptScope::interrupted()
{
    return interruptedFlag != 0;
}

} // namespace VapixcamCli
