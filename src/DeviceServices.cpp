#include "DeviceServices.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <future>

namespace Vapixcam {

void runOnIoThread(DeviceServices& device, const std::function<void()>& fn)
{
    if (device.onIoThread()) {
        fn();
        return;
    }
    std::promise<void> done;
    boost::asio::post(device.ioContext(), [&done, &fn] {
        fn();
        done.set_value();
    });
    done.get_future().wait();
}

} // namespace Vapixcam
