#!/usr/bin/env python3
"""A GStreamer RTSP server for the RTSP client's peer tests.

Serves live test video on 127.0.0.1 at a free port:
  /h264   videotestsrc ! x264enc ! rtph264pay   (PT 96)
  /h265   videotestsrc ! x265enc ! rtph265pay   (PT 96)
  /mjpeg  videotestsrc ! jpegenc ! rtpjpegpay   (PT 26)
RTSP over HTTP tunnelling is answered on the same port by gst-rtsp-server
itself. With --auth digest|basic every mount needs --user/--password.

Prints "PORT <n>" on stdout once it listens, then runs until killed.
"""
import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtsp, GstRtspServer  # noqa: E402

SOURCE = ("videotestsrc is-live=true pattern=ball ! "
          "video/x-raw,format=I420,width=320,height=240,framerate=25/1 ! ")
PIPELINES = {
    "/h264": SOURCE + "x264enc tune=zerolatency speed-preset=ultrafast key-int-max=25 ! "
                      "rtph264pay name=pay0 pt=96 config-interval=1",
    "/h265": SOURCE + "x265enc tune=zerolatency speed-preset=ultrafast key-int-max=25 ! "
                      "rtph265pay name=pay0 pt=96 config-interval=1",
    "/mjpeg": SOURCE + "jpegenc quality=50 ! rtpjpegpay name=pay0 pt=26",
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--auth", choices=["none", "digest", "basic"], default="none")
    parser.add_argument("--user", default="root")
    parser.add_argument("--password", default="pass")
    args = parser.parse_args()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service("0")

    if args.auth != "none":
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string(GstRtspServer.RTSP_TOKEN_MEDIA_FACTORY_ROLE, "user")
        if args.auth == "digest":
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
            auth.add_digest(args.user, args.password, token)
        else:
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.BASIC)
            auth.add_basic(GstRtspServer.RTSPAuth.make_basic(args.user, args.password), token)
        server.set_auth(auth)

    mounts = server.get_mount_points()
    for path, pipeline in PIPELINES.items():
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch("( " + pipeline + " )")
        if args.auth != "none":
            factory.add_role_from_structure(Gst.Structure.new_from_string(
                "user, media.factory.access=(boolean)true, media.factory.construct=(boolean)true"))
        mounts.add_factory(path, factory)

    if server.attach(None) == 0:
        print("ERROR cannot listen", flush=True)
        return 1
    print("PORT %d" % server.get_bound_port(), flush=True)
    GLib.MainLoop().run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
