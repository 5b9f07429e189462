#!/usr/bin/env python3
"""Writes the seeds each fuzz target starts from that are made out of the test
data (RTP captures, SDPs, camera answers), into OUT/<target>/.

    fuzz/seeds.py OUT_DIR

The hand-written seeds and the regression inputs stay in fuzz/corpus/<target>/;
scripts/fuzz.sh uses both.
"""
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "tests" / "data"
RTSP_BASE = "rtsp://192.168.0.90/axis-media/media.amp/"


def record(data, marked=False):
    length = len(data)
    assert length < 0x8000
    return struct.pack(">H", length | (0x8000 if marked else 0)) + data


def records(path, limit=None):
    """The datagrams of a capture (2-byte length, bytes), at most `limit`."""
    blob = path.read_bytes()
    out, at = [], 0
    while at + 2 <= len(blob) and (limit is None or len(out) < limit):
        (n,) = struct.unpack_from(">H", blob, at)
        out.append(blob[at + 2:at + 2 + n])
        at += 2 + n
    return out


def rtp(pt, seq, ts, payload, marker=True, ssrc=0x315460DA):
    return struct.pack(">BBHII", 0x80, (0x80 if marker else 0) | pt, seq & 0xFFFF, ts, ssrc) + payload


def write(out, target, name, data):
    folder = out / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode())


def main():
    out = pathlib.Path(sys.argv[1])
    captures = sorted((DATA / "rtp").glob("*.rtp"))

    # depacketizer: SDP record, then the capture's packets, its sender report.
    for capture in captures:
        sdp = capture.with_suffix(".sdp").read_bytes()
        packets = b"".join(record(p) for p in records(capture))
        report = b"".join(record(p, True) for p in records(capture.with_suffix(".rtcp")))
        write(out, "depacketizer", capture.stem, record(sdp) + report + packets)
    # The UDP path with the packets of the first key frame swapped.
    h264 = DATA / "rtp" / "h264_testsrc"
    first = records(h264.with_suffix(".rtp"), 12)
    first[1], first[2] = first[2], first[1]
    write(out, "depacketizer", "h264_reordered",
          record(h264.with_suffix(".sdp").read_bytes(), True) + b"".join(record(p) for p in first))
    # Codecs without a capture: G.711, G.726 and the metadata stream, as Axis
    # firmware describes them.
    pcmu = (b"v=0\r\ns=Session streamed by \"nessyMediaServer\"\r\nt=0 0\r\n"
            b"m=audio 0 RTP/AVP 0\r\nb=AS:64\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n")
    write(out, "depacketizer", "pcmu", record(pcmu) + b"".join(
        record(rtp(0, 100 + i, 160 * i, bytes([0xFF - i]) * 160)) for i in range(4)))
    g726 = (b"v=0\r\ns=Media Presentation\r\nt=0 0\r\n"
            b"m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-32/8000\r\na=control:trackID=2\r\n")
    write(out, "depacketizer", "g726", record(g726) + b"".join(
        record(rtp(97, 7 + i, 160 * i, bytes(range(i, i + 80)))) for i in range(3)))
    meta_sdp = (DATA / "sdp" / "axis_gstreamer_metadata.sdp").read_bytes()
    doc = (b'<?xml version="1.0" encoding="UTF-8"?>\n<tt:MetadataStream xmlns:tt="http://www.onvif.org/ver10/schema">'
           b'<tt:Event><wsnt:NotificationMessage xmlns:wsnt="http://docs.oasis-open.org/wsn/b-2">'
           b'<wsnt:Topic>tns1:Device/tnsaxis:IO/Port</wsnt:Topic></wsnt:NotificationMessage></tt:Event>'
           b'</tt:MetadataStream>')
    half = len(doc) // 2
    write(out, "depacketizer", "metadata", record(meta_sdp) + record(rtp(98, 1, 0, doc[:half], False)) +
          record(rtp(98, 2, 0, doc[half:])))

    # rtp: the first packets and the sender report of each capture.
    for capture in captures:
        packets = records(capture, 24) + records(capture.with_suffix(".rtcp"))
        write(out, "rtp", capture.stem, b"\x00" + b"".join(record(p) for p in packets))
        write(out, "rtp", capture.stem + "_window", b"\x01" + b"".join(record(p) for p in reversed(packets)))

    # sdp: every description in the test data.
    for sdp in sorted((DATA / "sdp").glob("*.sdp")) + sorted((DATA / "rtp").glob("*.sdp")):
        write(out, "sdp", sdp.stem, sdp.read_bytes())

    # rtsp_stream: a DESCRIBE answer, a SETUP answer, then media on the
    # connection, as a camera streams over TCP.
    sdp = (DATA / "sdp" / "axis_gstreamer_h264_aac.sdp").read_bytes()
    describe = (b"RTSP/1.0 200 OK\r\nCSeq: 3\r\nContent-Type: application/sdp\r\nContent-Base: " +
                RTSP_BASE.encode() + b"\r\nServer: GStreamer RTSP server\r\nDate: Sat, 12 Dec 2020 10:44:25 GMT\r\n"
                b"Content-Length: " + str(len(sdp)).encode() + b"\r\n\r\n" + sdp)
    setup = (b"RTSP/1.0 200 OK\r\nCSeq: 4\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=315460DA;mode=\"PLAY\"\r\n"
             b"Server: GStreamer RTSP server\r\nSession: ghLlkf_I9pCBP24t;timeout=60\r\n\r\n")
    play = (b"RTSP/1.0 200 OK\r\nCSeq: 5\r\nRTP-Info: url=" + RTSP_BASE.encode() +
            b"stream=0;seq=1;rtptime=0\r\nRange: npt=now-\r\nSession: ghLlkf_I9pCBP24t\r\n\r\n")
    media = b"".join(b"$\x00" + struct.pack(">H", len(p)) + p for p in records(h264.with_suffix(".rtp"), 6))
    media += b"".join(b"$\x01" + struct.pack(">H", len(p)) + p for p in records(h264.with_suffix(".rtcp")))
    write(out, "rtsp_stream", "describe_setup_play", b"\x05" + describe + setup + play + media)
    keepalive = (b"RTSP/1.0 200 OK\r\nCSeq: 6\r\nSession: ghLlkf_I9pCBP24t\r\n\r\n")
    write(out, "rtsp_stream", "media_then_keepalive", b"\x21" + media + keepalive + media)
    announce = (b"ANNOUNCE " + RTSP_BASE.encode() + b" RTSP/1.0\r\nCSeq: 12\r\nSession: ghLlkf_I9pCBP24t\r\n"
                b"Content-Type: application/sdp\r\nContent-Length: " + str(len(sdp)).encode() + b"\r\n\r\n" + sdp)
    write(out, "rtsp_stream", "server_announce", b"\x10" + announce)
    tunnel = (b"HTTP/1.0 200 OK\r\nServer: GStreamer RTSP server\r\nConnection: close\r\n"
              b"Cache-Control: no-store\r\nPragma: no-cache\r\nContent-Type: application/x-rtsp-tunnelled\r\n\r\n")
    write(out, "rtsp_stream", "tunnel_answer", b"\x80" + tunnel + describe)
    challenge = (b"RTSP/1.0 401 Unauthorized\r\nCSeq: 1\r\nWWW-Authenticate: Digest realm=\"AXIS_ACCC8E012345\", "
                 b"nonce=\"0000eb57Y1462133062b37999f0cd530f02755fa37b8df1\", stale=FALSE\r\n"
                 b"WWW-Authenticate: Basic realm=\"AXIS_ACCC8E012345\"\r\n\r\n")
    write(out, "rtsp_stream", "unauthorized", b"\x02" + challenge)

    # Camera answers.
    for answer in sorted((DATA / "vapix").glob("*topology.txt")):
        write(out, "topology", answer.stem, answer.read_bytes())
    for xml in sorted((DATA / "settings").glob("*.xml")):
        write(out, "definitions", xml.stem, b"\x00" + xml.read_bytes())
        write(out, "definitions", xml.stem + "_I0_profile", b"\x03" + xml.read_bytes())
    for light in sorted((DATA / "settings").glob("*.json")):
        write(out, "light", light.stem, light.read_bytes())


if __name__ == "__main__":
    main()
