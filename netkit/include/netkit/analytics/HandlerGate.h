#pragma once
// The door between a channel and its host handler. Every call into the host
// goes through pass(), which runs it only while the door is open; close()
// shuts it and returns once no call is running on another thread. The lock
// is recursive, so a host that destroys the channel from inside a callback
// (on the same thread) does not deadlock; and a caller waiting at a closed
// door gives up instead of waiting for the callback that closed it (a host
// destroying the channel on one thread while another thread's callback
// waits for the door). Shared: completions and event raisers hold a copy.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace Orix::Utility {

class HandlerGate {
public:
    template <class Call>
    bool pass(Call&& call)
    {
        // Contention is rare (the I/O thread and the library's service
        // calling at once): wait in short steps, watching the door.
        std::unique_lock<std::recursive_mutex> lock(mutex_, std::try_to_lock);
        while (!lock.owns_lock()) {
            if (!open_.load())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            lock.try_lock();
        }
        if (!open_.load())
            return false;
        call();
        return true;
    }
    void close()
    {
        open_.store(false);
        std::lock_guard<std::recursive_mutex> lock(mutex_);
    }
    bool isOpen() const { return open_.load(); }

private:
    std::recursive_mutex mutex_;
    std::atomic<bool> open_{true};
};

using HandlerGatePtr = std::shared_ptr<HandlerGate>;

} // namespace Orix::Utility
