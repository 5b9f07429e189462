#!/usr/bin/env python3
"""GStreamer's RTSP server for the peer and live-path tests.

Without --mount it serves live test video:
  /h264   videotestsrc ! x264enc ! rtph264pay   (PT 96)
  /h265   videotestsrc ! x265enc ! rtph265pay   (PT 96)
  /mjpeg  videotestsrc ! jpegenc ! rtpjpegpay   (PT 26)

With --mount /PATH=CODEC:FILE (repeatable) each mount plays one recorded
Matroska file once, in real time, from its first frame, to every client that
asks (a fresh pipeline per client), then ends the session with RTCP BYE; so
a client knows exactly how many frames were sent. Codecs: h264, h265, mjpeg,
and pcmu for a WAV file (an audio track of G.711 mu-law at 8 kHz, PT 0).
H.264 and H.265 send their parameter sets in band before every key frame as
well as in the SDP; h264-sprop and h265-sprop send them in the SDP only
(sprop-parameter-sets, sprop-vps/sps/pps), as some cameras do.

With --auth digest|basic every mount needs --user/--password. RTSP over HTTP
tunnelling is answered on the same port. Listens on 127.0.0.1 at a free
port, prints "PORT <n>" on stdout once it listens, then runs until killed.
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
LIVE = {
    "/h264": SOURCE + "x264enc tune=zerolatency speed-preset=ultrafast key-int-max=25 ! "
                      "rtph264pay name=pay0 pt=96 config-interval=1",
    "/h265": SOURCE + "x265enc tune=zerolatency speed-preset=ultrafast key-int-max=25 ! "
                      "rtph265pay name=pay0 pt=96 config-interval=1",
    "/mjpeg": SOURCE + "jpegenc quality=50 ! rtpjpegpay name=pay0 pt=26",
}
PAYLOADERS = {
    "h264": "h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1",
    "h264-sprop": "h264parse ! rtph264pay name=pay0 pt=96 config-interval=0",
    "h265": "h265parse ! rtph265pay name=pay0 pt=96 config-interval=-1",
    "h265-sprop": "h265parse ! rtph265pay name=pay0 pt=96 config-interval=0",
    "mjpeg": "rtpjpegpay name=pay0 pt=26",
    "pcmu": "mulawenc ! rtppcmupay name=pay0 pt=0",
}


def parse_mount(text):
    mount, sep, rest = text.partition("=")
    codec, sep2, path = rest.partition(":")
    if not sep or not sep2 or not mount.startswith("/") or codec not in PAYLOADERS or not path:
        raise argparse.ArgumentTypeError("expected /MOUNT=CODEC:FILE with CODEC one of "
                                         + ", ".join(sorted(PAYLOADERS)))
    location = path.replace("\\", "\\\\").replace('"', '\\"')
    if codec == "pcmu":
        return mount, ('filesrc location="%s" ! wavparse ! audioconvert ! audioresample ! '
                       'audio/x-raw,rate=8000,channels=1 ! %s' % (location, PAYLOADERS[codec]))
    return mount, 'filesrc location="%s" ! matroskademux ! %s' % (location, PAYLOADERS[codec])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mount", type=parse_mount, action="append")
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
    for path, pipeline in args.mount or LIVE.items():
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch("( " + pipeline + " )")
        factory.set_shared(False)
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
