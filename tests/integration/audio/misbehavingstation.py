#!/usr/bin/env python3
"""A station that misbehaves the ways real ones do, on 127.0.0.1:PORT.

  misbehavingstation.py PORT --trickle
      accepts and answers one byte a second, its headers included
  misbehavingstation.py PORT [--hops N --hop-delay S] [--glitch-every S] [--burst S] [--tls CERT KEY] FILE...
      streams the ADTS files one after the other at their own pace, after a burst of S seconds;
      with --hops, "/" is the first of N redirects (302), each answered after S seconds, the
      last to "/stream"; with --glitch-every, garbage goes between two frames every S seconds
      of content, in turn random bytes, a frame cut in half, and a false sync word; with
      --garbage-after, nothing but random bytes follows that many seconds of content

Every glitch is written to stdout as "glitch KIND AT" (AT in seconds of content sent).
"""
import argparse
import http.server
import os
import random
import socketserver
import ssl
import sys
import time

RATES = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350]


def adts_frames(data):
    """(frame bytes, seconds) of each ADTS frame of `data`."""
    at = 0
    while at + 7 <= len(data):
        if data[at] != 0xFF or (data[at + 1] & 0xF0) != 0xF0:
            raise ValueError("not ADTS at byte %d" % at)
        rate = RATES[(data[at + 2] >> 2) & 0x0F]
        length = ((data[at + 3] & 0x03) << 11) | (data[at + 4] << 3) | (data[at + 5] >> 5)
        yield data[at:at + length], 1024.0 / rate
        at += length


def glitch(kind, rng, next_frame):
    if kind == 0:
        return bytes(rng.randrange(256) for _ in range(rng.randrange(100, 400)))
    if kind == 1:
        return next_frame[: len(next_frame) // 2]
    # A sync word and a header that claims a frame of some hundreds of bytes, then noise.
    length = rng.randrange(200, 700)
    header = bytes([0xFF, 0xF1, 0x50, 0x80 | ((length >> 11) & 3), (length >> 3) & 0xFF, ((length & 7) << 5) | 0x1F, 0xFC])
    return header + bytes(rng.randrange(256) for _ in range(rng.randrange(50, 300)))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        o = self.server.options
        try:
            if o.trickle:
                for b in b"HTTP/1.0 200 OK\r\nContent-Type: audio/aac\r\n\r\n" + bytes(range(256)) * 4:
                    self.wfile.write(bytes([b]))
                    self.wfile.flush()
                    time.sleep(1)
                return
            path = self.path.split("?")[0]
            if o.hops and (path == "/" or path.startswith("/hop/")):
                hop = 0 if path == "/" else int(path.split("/")[2])
                time.sleep(o.hop_delay)
                self.send_response(302)
                self.send_header("Location", "/hop/%d" % (hop + 1) if hop + 1 < o.hops else "/stream")
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Type", "audio/aac")
            self.end_headers()
            self.stream()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass

    def stream(self):
        o = self.server.options
        rng = random.Random(14)
        frames = [f for name in o.files for f in adts_frames(open(name, "rb").read())]
        start = time.monotonic()
        sent = 0.0
        next_glitch = o.glitch_every if o.glitch_every else None
        kind = 0
        for i, (frame, seconds) in enumerate(frames):
            if next_glitch is not None and sent >= next_glitch:
                print("glitch %d %.3f" % (kind, sent), flush=True)
                self.wfile.write(glitch(kind, rng, frame))
                kind = (kind + 1) % 3
                next_glitch += o.glitch_every
            if o.garbage_after and sent >= o.garbage_after:
                frame = bytes(rng.randrange(256) for _ in range(len(frame)))
            self.wfile.write(frame)
            sent += seconds
            ahead = sent - o.burst - (time.monotonic() - start)
            if ahead > 0:
                self.wfile.flush()
                time.sleep(ahead)
        self.wfile.flush()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("files", nargs="*")
    parser.add_argument("--trickle", action="store_true")
    parser.add_argument("--hops", type=int, default=0)
    parser.add_argument("--hop-delay", type=float, default=0)
    parser.add_argument("--glitch-every", type=float, default=0)
    parser.add_argument("--garbage-after", type=float, default=0)
    parser.add_argument("--burst", type=float, default=3)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    options = parser.parse_intermixed_args()
    server = Server(("127.0.0.1", options.port), Handler)
    server.options = options
    if options.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*options.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
