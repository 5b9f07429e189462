#pragma once
// The IO CGIs of the simulated camera and their control route:
//   /axis-cgi/io/port.cgi?check=1,2          "port1=0\nport2=1\n"
//   /axis-cgi/io/port.cgi?monitor=1,2        multipart/x-mixed-replace stream
//                                            ("1I:H" first, then "1I:/" "1I:\" on
//                                            changes, an empty part every 15 s)
//   /axis-cgi/io/port.cgi?action=2:/ | 2:\   drives an output; empty 200
//   /axis-cgi/virtualinput/activate.cgi?schemaversion=1&port=N (and deactivate.cgi)
//   GET  /camsim/io                           ports, virtual inputs, open monitors
//   POST /camsim/io {"port":1,"active":true}  toggles a port as the wiring would
//   POST /camsim/io {"cut":true}              drops every monitor connection
#include "IoPorts.h"
#include "Router.h"

#include <memory>

namespace boost::asio {
class io_context;
}

namespace Camsim {

class Camera;

class IoCgi {
public:
    IoCgi(Camera& camera, boost::asio::io_context& io);
    ~IoCgi();

    void registerRoutes(Router& router);

    HttpResponse port(const HttpRequest& request);
    HttpResponse virtualInput(const HttpRequest& request, bool activate);
    HttpResponse control(const HttpRequest& request);

    IoPorts& ports() { return *ports_; }

private:
    struct KeepAlive;
    std::unique_ptr<IoPorts> ports_;
    std::shared_ptr<KeepAlive> keepAlive_;
};

} // namespace Camsim
