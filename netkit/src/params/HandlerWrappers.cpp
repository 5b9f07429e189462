#include <netkit/params/HandlerWrappers.h>

#include <orix/ErrorCodes.h>

namespace Orix::Utility {

AsyncActionCompletion::AsyncActionCompletion(IAsyncActionHandler* handler, LoggerPtr logger,
                                             std::string title)
    : handler_(handler), logger_(std::move(logger)), title_(std::move(title))
{
}

AsyncActionCompletion::~AsyncActionCompletion()
{
    if (!done_.load() && handler_ != nullptr) {
        ORIX_LOG(logger_, LogError, title_ << " was dropped without an answer");
        finish(lastSource_, GenericFailure);
    }
}

void AsyncActionCompletion::finish(const IContract* source, std::uint32_t result)
{
    lastSource_ = source;
    if (done_.exchange(true)) {
        ORIX_LOG(logger_, LogNotice, title_ << " already answered; result " << result << " dropped");
        return;
    }
    if (result == Ok)
        ORIX_LOG(logger_, LogDebug, title_ << " is finished");
    else
        ORIX_LOG(logger_, LogError, title_ << " is finished with error " << result);
    if (handler_ == nullptr)
        return;
    try {
        handler_->Finished(source, result);
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, title_ << " handler threw std::exception - " << e.what());
    } catch (...) {
        ORIX_LOG(logger_, LogError, title_ << " handler threw an unknown exception");
    }
}

DynamicParametersCompletion::DynamicParametersCompletion(IDynamicParametersHandler* handler,
                                                         LoggerPtr logger, std::string title)
    : handler_(handler), logger_(std::move(logger)), title_(std::move(title))
{
}

DynamicParametersCompletion::~DynamicParametersCompletion()
{
    if (!done_.load() && handler_ != nullptr) {
        ORIX_LOG(logger_, LogError, title_ << " was dropped without an answer");
        failed(lastSource_, GenericFailure);
    }
}

bool DynamicParametersCompletion::claim()
{
    if (done_.exchange(true)) {
        ORIX_LOG(logger_, LogNotice, title_ << " already answered");
        return false;
    }
    return handler_ != nullptr;
}

void DynamicParametersCompletion::completed(const IContract* source, const std::string& json)
{
    lastSource_ = source;
    if (!claim())
        return;
    try {
        handler_->Completed(source, json.c_str(), static_cast<std::uint32_t>(json.size()));
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, title_ << " handler threw std::exception - " << e.what());
    } catch (...) {
        ORIX_LOG(logger_, LogError, title_ << " handler threw an unknown exception");
    }
}

void DynamicParametersCompletion::failed(const IContract* source, std::uint32_t result)
{
    lastSource_ = source;
    if (!claim())
        return;
    ORIX_LOG(logger_, LogError, title_ << " failed with error " << result);
    try {
        handler_->Failed(source, result);
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, title_ << " handler threw std::exception - " << e.what());
    } catch (...) {
        ORIX_LOG(logger_, LogError, title_ << " handler threw an unknown exception");
    }
}

AsyncActionCompletionPtr wrapAsyncActionHandler(IAsyncActionHandler* handler, LoggerPtr logger,
                                                const std::string& title)
{
    return std::make_shared<AsyncActionCompletion>(handler, std::move(logger), title);
}

DynamicParametersCompletionPtr wrapDynamicParametersHandler(IDynamicParametersHandler* handler,
                                                            LoggerPtr logger,
                                                            const std::string& title)
{
    return std::make_shared<DynamicParametersCompletion>(handler, std::move(logger), title);
}

} // namespace Orix::Utility
