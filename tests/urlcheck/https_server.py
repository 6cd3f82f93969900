#!/usr/bin/env python3
"""Local HTTP(S) server for the URL check tests; listens on 127.0.0.1 only.

Opens four listeners and prints their ports on one line:
    tls=<port> plain=<port> silent=<port> garbage=<port>
tls and plain serve the routes below (TLS with --cert/--key); silent accepts
connections and never speaks; garbage sends bytes that are no TLS and no HTTP
and closes. The server exits when its standard input closes, so it never
outlives the test that started it.

Routes:
  /ok                    200
  /status/<code>         that status
  /slow/<ms>[/...]       200 after <ms> milliseconds
  /count/<name>          200 after 300 ms; counts the requests for <name>
  /_count/<name>         the count for <name> as the body
  /stall                 reads the request and never answers
  /head-stall            sends a 200 head, then nothing
  /endless               200 with a body that never ends
  /garbage               a reply that is no HTTP
  /www/<code>            on a "www." host: <code>; else 301 to the www. host
  /other/<code>          on an "other." host: <code>; else 301 there
  /loop                  302 to itself
  /empty                 closes the connection without a reply
  /redirect-port/<port>  302 to http://127.0.0.1:<port>/moved
  /_requests/<path>      every request seen for /<path>: method, header lines
                         in order, body
  /_peers/<path>         the client port of every request seen for /<path>
"""
import argparse
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

lock = threading.Lock()
counts = {}
requests = {}
peers = {}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def reply(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body and self.command != "HEAD":
            self.wfile.write(body)

    def record(self, body):
        path = self.path.split("?", 1)[0]
        entry = [f"REQUEST {self.command} {self.path}"]
        entry += [f"{name}: {value}" for name, value in self.headers.items()]
        entry.append("BODY " + body.decode("latin-1"))
        with lock:
            requests.setdefault(path, []).append("\n".join(entry) + "\nEND\n")
            peers.setdefault(path, []).append(str(self.client_address[1]))

    def host(self):
        return self.headers.get("Host", "")

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length else b""
        self.record(body)
        path = self.path.split("?", 1)[0]
        parts = [p for p in path.split("/") if p]
        head = parts[0] if parts else ""

        if head == "ok":
            return self.reply(200, b"ok")
        if head == "status" and len(parts) > 1:
            return self.reply(int(parts[1]), b"status")
        if head == "slow" and len(parts) > 1:
            time.sleep(int(parts[1]) / 1000.0)
            return self.reply(200, b"slow")
        if head == "count" and len(parts) > 1:
            with lock:
                counts[parts[1]] = counts.get(parts[1], 0) + 1
            time.sleep(0.3)
            return self.reply(200, b"counted")
        if head == "_count" and len(parts) > 1:
            with lock:
                n = counts.get(parts[1], 0)
            return self.reply(200, str(n).encode())
        if head == "_requests":
            key = "/" + "/".join(parts[1:])
            with lock:
                text = "".join(requests.get(key, []))
            return self.reply(200, text.encode("latin-1"))
        if head == "_peers":
            key = "/" + "/".join(parts[1:])
            with lock:
                text = " ".join(peers.get(key, []))
            return self.reply(200, text.encode())
        if head == "stall":
            time.sleep(120)
            return
        if head == "head-stall":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.flush()
            time.sleep(120)
            return
        if head == "endless":
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.end_headers()
            chunk = b"x" * 65536
            try:
                while True:
                    self.wfile.write(chunk)
            except OSError:
                pass
            self.close_connection = True
            return
        if head == "garbage":
            self.wfile.write(b"\x00\x01\x02 this is not HTTP at all\r\n\r\n")
            self.wfile.flush()
            self.close_connection = True
            return
        if head in ("www", "other") and len(parts) > 1:
            prefix = head + "."
            if self.host().startswith(prefix):
                return self.reply(int(parts[1]), b"landed")
            return self.reply(301, headers=[("Location", f"https://{prefix}{self.host()}{self.path}")])
        if head == "loop":
            return self.reply(302, headers=[("Location", self.path)])
        if head == "empty":
            self.close_connection = True
            return
        if head == "redirect-port" and len(parts) > 1:
            return self.reply(302, headers=[("Location", f"http://127.0.0.1:{int(parts[1])}/moved")])
        return self.reply(404, b"missing")

    do_GET = do_POST = do_HEAD = do_PUT = do_DELETE = do_OPTIONS = do_PATCH = handle_any


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128  # many workers connect at once
    allow_reuse_address = True
    context = None

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the request's own thread, so a client that
        # stalls during it holds nobody else up.
        if self.context is not None:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
        try:
            Handler(request, client_address, self)
        except (ssl.SSLError, OSError):
            pass

    def handle_error(self, request, client_address):
        pass


def serve_silent(listener, held):
    while True:
        conn, _ = listener.accept()
        held.append(conn)


def serve_garbage(listener):
    while True:
        conn, _ = listener.accept()
        try:
            conn.sendall(b"\x16\x00garbage, neither TLS nor HTTP\r\n\r\n")
        except OSError:
            pass
        conn.close()


def listen():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(128)
    return s


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)

    tls = Server(("127.0.0.1", 0), Handler)
    tls.context = context
    plain = Server(("127.0.0.1", 0), Handler)
    silent = listen()
    garbage = listen()
    held = []
    for target, arguments in ((tls.serve_forever, ()), (plain.serve_forever, ()), (serve_silent, (silent, held)),
                              (serve_garbage, (garbage,))):
        threading.Thread(target=target, args=arguments, daemon=True).start()

    print(f"tls={tls.server_address[1]} plain={plain.server_address[1]} "
          f"silent={silent.getsockname()[1]} garbage={garbage.getsockname()[1]}", flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
