#include "ErrorPages.h"

#include "ParamFormat.h"

namespace Camsim {

HttpResponse notFoundPage(WebServerStyle style, const std::string& path)
{
    if (style == WebServerStyle::Boa) {
        // AXIS P5512 5.51.7 (Boa), body as captured for /axis-cgi/apidiscovery.cgi.
        return HttpResponse::text(404,
                                  "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\n"
                                  "<BODY><H1>404 Not Found</H1>\n"
                                  "The requested URL " + xmlEscape(path) + " was not found on this server.\n"
                                  "</BODY></HTML>\n",
                                  "text/html; charset=ISO-8859-1");
    }
    return HttpResponse::text(404,
                              "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n"
                              "<html><head>\n"
                              "<title>404 Not Found</title>\n"
                              "</head><body>\n"
                              "<h1>Not Found</h1>\n"
                              "<p>The requested URL was not found on this server.</p>\n"
                              "</body></html>\n",
                              "text/html; charset=iso-8859-1");
}

HttpResponse unauthorizedPage(WebServerStyle style, const std::string& path)
{
    if (style == WebServerStyle::Boa) {
        return HttpResponse::text(401,
                                  "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD>\n"
                                  "<BODY><H1>401 Unauthorized</H1>\n"
                                  "Your client does not have permission to get URL " + xmlEscape(path) +
                                      " from this server.\n"
                                      "</BODY></HTML>\n",
                                  "text/html; charset=ISO-8859-1");
    }
    return HttpResponse::text(401,
                              "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n"
                              "<html><head>\n"
                              "<title>401 Unauthorized</title>\n"
                              "</head><body>\n"
                              "<h1>Unauthorized</h1>\n"
                              "<p>This server could not verify that you\n"
                              "are authorized to access the document\n"
                              "requested.  Either you supplied the wrong\n"
                              "credentials (e.g., bad password), or your\n"
                              "browser doesn't understand how to supply\n"
                              "the credentials required.</p>\n"
                              "</body></html>\n",
                              "text/html; charset=iso-8859-1");
}

HttpResponse badRequestPage(const std::string& why)
{
    return HttpResponse::text(400,
                              "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n"
                              "<html><head>\n"
                              "<title>400 Bad Request</title>\n"
                              "</head><body>\n"
                              "<h1>Bad Request</h1>\n"
                              "<p>" + xmlEscape(why) + "</p>\n"
                              "</body></html>\n",
                              "text/html; charset=iso-8859-1");
}

} // namespace Camsim
