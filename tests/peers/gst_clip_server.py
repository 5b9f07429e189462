#!/usr/bin/env python3
"""A GStreamer RTSP server that plays recorded clips without re-encoding.

Each mount plays one Matroska file once, in real time, from its first frame,
to every client that asks (a fresh pipeline per client), then ends the
session with RTCP BYE. So a client knows exactly how many frames were sent:
as many as the clip holds.

  gst_clip_server.py --mount /h264=h264:clip.mkv --mount /jpeg=mjpeg:clip2.mkv

Codecs: h264 (rtph264pay), h265 (rtph265pay), mjpeg (rtpjpegpay). H.264
and H.265 send their parameter sets in band before every key frame as well
as in the SDP; h264-sprop and h265-sprop send them in the SDP only
(sprop-parameter-sets, sprop-vps/sps/pps), as some cameras do.

Listens on 127.0.0.1 at a free port (or --port), answers RTSP over HTTP
tunnelling on the same port, prints "PORT <n>" on stdout once it listens and
runs until killed.
"""
import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402

PAYLOADERS = {
    "h264": "h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1",
    "h264-sprop": "h264parse ! rtph264pay name=pay0 pt=96 config-interval=0",
    "h265": "h265parse ! rtph265pay name=pay0 pt=96 config-interval=-1",
    "h265-sprop": "h265parse ! rtph265pay name=pay0 pt=96 config-interval=0",
    "mjpeg": "rtpjpegpay name=pay0 pt=26",
}


def pipeline(codec, path):
    location = path.replace("\\", "\\\\").replace('"', '\\"')
    return '( filesrc location="%s" ! matroskademux ! %s )' % (location, PAYLOADERS[codec])


def parse_mount(text):
    mount, sep, rest = text.partition("=")
    codec, sep2, path = rest.partition(":")
    if not sep or not sep2 or not mount.startswith("/") or codec not in PAYLOADERS or not path:
        raise argparse.ArgumentTypeError("expected /MOUNT=CODEC:FILE with CODEC one of "
                                         + ", ".join(sorted(PAYLOADERS)))
    return mount, codec, path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mount", type=parse_mount, action="append", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    mounts = server.get_mount_points()
    for mount, codec, path in args.mount:
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch(pipeline(codec, path))
        factory.set_shared(False)
        mounts.add_factory(mount, factory)

    if server.attach(None) == 0:
        print("ERROR cannot listen", flush=True)
        return 1
    print("PORT %d" % server.get_bound_port(), flush=True)
    GLib.MainLoop().run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
