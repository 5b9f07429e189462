#!/usr/bin/env python3
"""Runs one ffmpeg command that sends RTP to 127.0.0.1 and records what arrives.

usage: capture.py OUT_PREFIX -- ffmpeg args... (the script appends the rtp:// output)

Writes OUT_PREFIX.rtp (RTP) and OUT_PREFIX.rtcp (RTCP): each datagram as a 2-byte
big-endian length followed by its bytes, in arrival order.
"""
import socket, subprocess, sys, time

def bind_pair():
    for _ in range(100):
        rtp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        rtp.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
        rtp.bind(("127.0.0.1", 0))
        port = rtp.getsockname()[1]
        if port % 2:
            rtp.close(); continue
        rtcp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            rtcp.bind(("127.0.0.1", port + 1))
        except OSError:
            rtp.close(); rtcp.close(); continue
        return rtp, rtcp, port
    raise SystemExit("no free port pair")

def main():
    prefix = sys.argv[1]
    args = sys.argv[sys.argv.index("--") + 1:]
    rtp, rtcp, port = bind_pair()
    proc = subprocess.Popen(args + ["-f", "rtp", f"rtp://127.0.0.1:{port}?rtcpport={port + 1}&pkt_size=1200"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    got = {rtp: [], rtcp: []}
    rtp.settimeout(0.2); rtcp.settimeout(0.0)
    deadline = None
    while True:
        for s in (rtp, rtcp):
            try:
                while True:
                    data = s.recv(65536)
                    got[s].append(data)
                    s.settimeout(0.0)
            except (socket.timeout, BlockingIOError):
                pass
        rtp.settimeout(0.2)
        if proc.poll() is not None:
            deadline = deadline or time.time() + 0.5
            if time.time() > deadline:
                break
        time.sleep(0.01)
    for s, ext in ((rtp, ".rtp"), (rtcp, ".rtcp")):
        with open(prefix + ext, "wb") as f:
            for d in got[s]:
                f.write(len(d).to_bytes(2, "big") + d)
    print(prefix, len(got[rtp]), "rtp", len(got[rtcp]), "rtcp", "ffmpeg rc", proc.returncode)

main()
