#!/usr/bin/env python3
"""The HTTPS server of the update tests: loopback only, on a port of its own.

  https_server.py DIR    (DIR holds leaf.pem and leaf.key; www/ is served)

Writes DIR/port once it listens and ends by itself: when DIR/stop appears or after
MAX_SECONDS, whichever comes first. Paths:
  /bytes/N         200 with N bytes
  /status/N        status N
  /redirect/REST   302 to /REST
  /to-http         302 to a plain http:// address
  /cut/N           announces 2N bytes, sends N and closes
  /stall/N         announces 2N bytes, sends N and goes silent
  /silent          reads the request and never answers
  /files/REST      the file www/REST
  /limited/N?remaining=R&reset_in=S&retry_after=S
                   status N with those rate-limit headers (each only when given;
                   reset_in becomes X-RateLimit-Reset, now + S in Unix seconds)
"""
import http.server
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse

MAX_SECONDS = 1800
SILENT_SECONDS = 60

root = sys.argv[1]
stopping = threading.Event()


def body_of(n):
    return bytes(b"0123456789abcdef"[i % 16] for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        with open(os.path.join(root, "requests.log"), "a") as log:
            log.write("%s %s\n" % (self.path, self.headers.get("Accept", "")))

    def send_body(self, status, data, length=None):
        self.send_response(status)
        self.send_header("Content-Length", str(len(data) if length is None else length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.wfile.flush()

    def go_silent(self):
        stopping.wait(SILENT_SECONDS)
        self.close_connection = True

    def do_GET(self):
        parts = self.path.split("/", 2)[1:]
        word, rest = parts[0], parts[1] if len(parts) > 1 else ""
        if word == "bytes":
            self.send_body(200, body_of(int(rest)))
        elif word == "status":
            self.send_body(int(rest), b"no")
        elif word in ("redirect", "to-http"):
            target = ("/" + rest) if word == "redirect" else "http://localhost:9/x"
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif word == "cut":
            self.send_body(200, body_of(int(rest)), length=2 * int(rest))
            self.close_connection = True
        elif word == "stall":
            self.send_body(200, body_of(int(rest)), length=2 * int(rest))
            self.go_silent()
        elif word == "silent":
            self.go_silent()
        elif word == "limited":
            status, _, query = rest.partition("?")
            q = {k: v[0] for k, v in urllib.parse.parse_qs(query).items()}
            self.send_response(int(status))
            if "remaining" in q:
                self.send_header("X-RateLimit-Remaining", q["remaining"])
            if "reset_in" in q:
                self.send_header("X-RateLimit-Reset", str(int(time.time()) + int(q["reset_in"])))
            if "retry_after" in q:
                self.send_header("Retry-After", q["retry_after"])
            self.send_header("Content-Length", "7")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(b"limited")
        elif word == "files":
            path = os.path.realpath(os.path.join(root, "www", rest))
            if not path.startswith(os.path.realpath(os.path.join(root, "www")) + os.sep) or \
                    not os.path.isfile(path):
                self.send_body(404, b"missing")
                return
            with open(path, "rb") as f:
                self.send_body(200, f.read())
        else:
            self.send_body(404, b"unknown")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def get_request(self):
        sock, addr = super().get_request()
        # The handshake runs in the request's thread, so a silent client blocks no one.
        return context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), addr


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(os.path.join(root, "leaf.pem"), os.path.join(root, "leaf.key"))
server = Server(("127.0.0.1", 0), Handler)
threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
with open(os.path.join(root, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.replace(os.path.join(root, "port.tmp"), os.path.join(root, "port"))

deadline = time.time() + MAX_SECONDS
while time.time() < deadline and not os.path.exists(os.path.join(root, "stop")):
    time.sleep(0.2)
stopping.set()
server.shutdown()
os.remove(os.path.join(root, "port"))
