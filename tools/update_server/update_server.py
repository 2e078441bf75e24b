#!/usr/bin/env python3
"""Stand-in update server for QueldaSetup.

Serves a folder holding quelda.xml, zirorov.zip and quelda.mdb under
/zaradizazavor/download/ over HTTPS (and plain HTTP), with fault modes that
tests choose per run, per request or through a control path.

Commands:
  certs  --certs DIR [--host NAME]        make the test authorities once
  site   DIR [--version V] [--app EXE] [--package-size N] [--declare]
                                          write a demo folder of the three files
                                          (--declare: the manifest gives the
                                          package's size and sha256)
  serve  [options]                        serve until interrupted
  run    [options] -- COMMAND...          serve while COMMAND runs, return its code
  start  [options] --state DIR            serve in the background (pid in DIR)
  stop   --state DIR                      end a server started with start

Fault modes (--fault, "?fault=" on a request, or /_control/set?fault=):
  none      the file with its Content-Length
  chunked   no Content-Length: a chunked reply
  notfound  404 with an HTML page as body (unknown paths always get it)
  short     the full Content-Length, but only "at" bytes (default half), then close
  reset     "at" bytes (default half), then a TCP reset
  slow      "delay" seconds (default 20) of silence before the headers, then
            the body "trickle" bytes (0: all) every "interval" seconds
  zero      the byte at offset "at" (default 100) replaced by a zero byte
  flood     a Content-Length of 2,000,000,000 and bytes as fast as they are
            taken, until the client goes away
  hold      silence before the headers until /_control/release (or for at
            most "delay" seconds), then the file; once released, no longer held
  stall     the headers and "at" bytes of the body (default none), then
            silence until /_control/release or "delay" seconds, then close
  norange   a Range is ignored: 200 and the whole file
  unsatisfiable  a Range is answered with 416
  misrange  a Range is answered with 206 and the whole file, its
            Content-Range from byte 0
  status    "code" (default 403) with an HTML page as body, as a proxy or a
            captive portal answers
  redirect  302 to the same path "to" https (answered without the fault),
            http (plain HTTP, answered without the fault) or loop (https,
            redirected again)
  encoded   the file compressed as "coding" says (gzip, deflate; any other
            name labels the file's own bytes) with its Content-Encoding
  huge      a Content-Length of 3,000,000,000, then the file, then close
  misparts  several ranges answered with a multipart body whose second part
            brings the bytes one further than asked
  firstrange  several ranges answered with a 206 of the first alone, as
            some servers do
Every file reply carries an ETag and a Last-Modified (made as nginx makes
them: the file's time and size) and Accept-Ranges. A Range ("a-b", "a-",
"-n", one or several) is answered as nginx answers it: 206 with the range
and its Content-Range, or for several a multipart/byteranges body; 200 and
the whole file when an If-Range names another validator than the file's or
the ranges are more than "max_ranges" (nginx's max_ranges; 0: none taken);
416 when no range starts within the file. short and reset cut the body that
is sent, a range's too.
A fault applies to every file, or with "only" (comma-separated names) to
those files alone: "fault=reset&at=0&only=quelda.xml" loses the manifest.

As a proxy (CONNECT, on either port): the tunnel to the host and port asked
for, or with proxy=refuse a 403 with an HTML page as body, as a hostile or
misconfigured proxy or a captive portal answers. CONNECTs are logged.

Control paths (answered on both ports, not logged):
  /_control/set?fault=&delay=&trickle=&interval=&at=&only=&root=&code=&to=&coding=
                &cert=trusted|untrusted&proxy=tunnel|refuse&max_ranges=
  /_control/reset   back to the start options, request log cleared, held
                    requests released
  /_control/release lets held requests go on, and holds none until the next set
  /_control/log     one line per request: scheme port method path host content-type
                    body-length range if-range status body-bytes-sent (those
                    two as far as the reply has gone) user-agent accept-encoding
"""

import argparse
import email.utils
import gzip
import hashlib
import http.server
import os
import random
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DOWNLOAD_PATH = "/zaradizazavor/download/"
FILES = {
    "quelda.xml": "text/xml; charset=utf-8",
    "zirorov.zip": "application/zip",
    "quelda.mdb": "application/octet-stream",
    "quelda.xml.sig": "application/octet-stream",
}
FAULTS = ("none", "chunked", "notfound", "short", "reset", "slow", "zero", "hold", "flood",
          "stall", "norange", "unsatisfiable", "misrange", "status", "redirect", "encoded", "huge",
          "misparts", "firstrange")
NOT_FOUND_PAGE = (
    b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
    b"<body><h1>404 Not Found</h1><p>The requested file is not here.</p></body></html>\n"
)


# --- certificates ---------------------------------------------------------

def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_chain(certs, prefix, ca_name, host):
    """An authority and a server certificate for host signed by it."""
    ca_key, ca_pem = f"{certs}/{prefix}ca.key", f"{certs}/{prefix}ca.pem"
    key, csr, pem = (f"{certs}/{prefix}server.{ext}" for ext in ("key", "csr", "pem"))
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
            "-keyout", ca_key, "-out", ca_pem, "-subj", f"/CN={ca_name}",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("x509", "-in", ca_pem, "-outform", "DER", "-out", f"{certs}/{prefix}ca.der")
    names = {"DNS:localhost", "IP:127.0.0.1"}
    try:
        socket.inet_aton(host)
        names.add(f"IP:{host}")
    except OSError:
        names.add(f"DNS:{host}")
    ext = f"{certs}/{prefix}server.ext"
    with open(ext, "w") as f:
        f.write(f"subjectAltName={','.join(sorted(names))}\n"
                "basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", key, "-out", csr,
            "-subj", f"/CN={host}")
    openssl("x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-set_serial",
            str(int.from_bytes(os.urandom(8), "big")), "-days", "3650", "-sha256",
            "-extfile", ext, "-out", pem)
    os.remove(csr)
    os.remove(ext)


def ensure_certs(certs, host):
    """Generated once per folder and host; the prefix trusts ca.der only, so
    untrusted-server.pem stands for a server nobody vouches for."""
    stamp = os.path.join(certs, "host")
    if os.path.exists(stamp) and open(stamp).read().strip() == host:
        return
    os.makedirs(certs, exist_ok=True)
    make_chain(certs, "", "Quelda Test CA", host)
    make_chain(certs, "untrusted-", "Quelda Untrusted Test CA", host)
    with open(stamp, "w") as f:
        f.write(host + "\n")


# --- demo folder ------------------------------------------------------------

def make_site(folder, version="1.2.3.4", app=None, package_size=None, declare=False):
    os.makedirs(folder, exist_ok=True)
    package = os.path.join(folder, "zirorov.zip")
    with zipfile.ZipFile(package, "w", zipfile.ZIP_DEFLATED) as z:
        if app:
            z.write(app, "Quelda.exe")
        z.writestr("readme.txt", f"Quelda Manager {version}\r\n")
        z.writestr("data/sample.txt", "sample data\r\n" * 500)
    if package_size:
        pad_package(package, package_size)
    declared = ""
    if declare:
        with open(package, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        declared = f" size=\"{os.path.getsize(package)}\" sha256=\"{digest}\""
    # Notes in Chinese make the manifest multi-byte UTF-8 and longer than
    # several 4,095-byte reads.
    notes = "".join(f"    <note id=\"{i}\">第 {i} 条更新说明：修正了若干问题。</note>\n"
                    for i in range(1, 201))
    manifest = ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<quelda>\n"
                f"  <files lastversion=\"{version}\"{declared}>\n"
                "    <file name=\"Quelda.exe\"/>\n  </files>\n"
                f"  <notes>\n{notes}  </notes>\n</quelda>\n")
    with open(os.path.join(folder, "quelda.xml"), "w", encoding="utf-8", newline="\n") as f:
        f.write(manifest)
    with open(os.path.join(folder, "quelda.mdb"), "wb") as f:
        f.write(b"\x00\x01\x00\x00Standard Jet DB\x00")
        f.write(bytes((i * 7 + 3) % 251 for i in range(65536)))


def pad_package(path, size):
    """Adds a stored entry of pseudo-random bytes so that the archive is
    exactly size bytes long."""
    with open(path, "rb") as f:
        original = f.read()
    name = "data/padding.bin"
    # A stored entry costs its data, a local header (30 + name) and a
    # central record (46 + name).
    padding = size - len(original) - 76 - 2 * len(name)
    if padding < 0:
        raise SystemExit(f"a package of {size} bytes is too small")
    with zipfile.ZipFile(path, "a", zipfile.ZIP_STORED) as z:
        z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)),
                   random.Random(size).randbytes(padding))
    if os.path.getsize(path) != size:
        raise SystemExit(f"package is {os.path.getsize(path)} bytes, not {size}")


# --- server -----------------------------------------------------------------

class State:
    """What the control paths can change; shared by every request thread."""

    def __init__(self, options):
        self.lock = threading.Lock()
        self.start = {"root": os.path.abspath(options.root), "fault": options.fault,
                      "delay": options.delay, "trickle": options.trickle,
                      "interval": options.interval, "at": options.at, "cert": "trusted",
                      "code": 403, "to": "http", "coding": "gzip", "proxy": "tunnel",
                      "max_ranges": 1000}
        self.values = dict(self.start)
        self.log = []
        self.held = threading.Condition(self.lock)
        self.released = False
        self.resets = 0

    def reset(self):
        with self.held:
            self.values = dict(self.start)
            self.log = []
            self.released = False
            self.resets += 1
            self.held.notify_all()

    def release(self):
        # Stays released until the next set or reset: a request that arrives
        # after the release is not held, however late it comes.
        with self.held:
            self.released = True
            self.held.notify_all()

    def wait_for_release(self, timeout):
        with self.held:
            resets = self.resets
            self.held.wait_for(lambda: self.released or self.resets != resets, timeout)

    def snapshot(self):
        with self.lock:
            return dict(self.values)


def file_validators(stat):
    """The ETag and Last-Modified of a file, as nginx makes them."""
    return {"etag": '"%x-%x"' % (int(stat.st_mtime), stat.st_size),
            "modified": email.utils.formatdate(int(stat.st_mtime), usegmt=True)}


def parse_values(query, values):
    """Applies fault settings given as query parameters onto values."""
    for name, items in urllib.parse.parse_qs(query, keep_blank_values=True).items():
        value = items[-1]
        if name == "fault":
            if value not in FAULTS:
                raise ValueError(f"unknown fault {value}")
            values["fault"] = value
        elif name in ("delay", "interval"):
            values[name] = float(value)
        elif name in ("to", "coding"):
            values[name] = value
        elif name in ("trickle", "at", "code", "max_ranges"):
            values[name] = int(value)
        elif name == "root":
            # Tests under Wine name folders by their Z: drive path.
            if value[:2].lower() == "z:":
                value = value[2:].replace("\\", "/")
            values["root"] = os.path.abspath(value)
        elif name == "only":
            values["only"] = [n for n in value.split(",") if n]
        elif name == "proxy":
            if value not in ("tunnel", "refuse"):
                raise ValueError(f"unknown proxy {value}")
            values["proxy"] = value
        elif name == "cert":
            if value not in ("trusted", "untrusted"):
                raise ValueError(f"unknown cert {value}")
            values["cert"] = value
    return values


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QueldaStandIn/1"
    # A stuck client must not keep a thread forever.
    timeout = 120

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.request_body = self.rfile.read(length)
        self.answer(with_body=True)

    def do_CONNECT(self):
        state = self.server.state
        self.entry = [self.server.scheme, str(self.server.server_address[1]), "CONNECT",
                      self.path, self.headers.get("Host", ""), "", "0", "", "", 0, 0,
                      self.headers.get("User-Agent", ""), ""]
        with state.lock:
            state.log.append(self.entry)
        if state.snapshot()["proxy"] == "refuse":
            page = b"<html><body><h1>403</h1>Access denied by proxy policy.</body></html>\n"
            return self.reply(403, page, "text/html")
        host, _, port = self.path.rpartition(":")
        try:
            upstream = socket.create_connection((host.strip("[]"), int(port)), timeout=30)
        except (OSError, ValueError):
            return self.reply(502, b"no tunnel\n", "text/plain")
        self.send_response(200, "Connection established")
        self.entry[9] = 200
        self.end_headers()
        self.close_connection = True
        client = self.connection
        client.settimeout(None)
        upstream.settimeout(None)

        def pipe(source, target):
            try:
                while True:
                    data = source.recv(65536)
                    if not data:
                        break
                    target.sendall(data)
            except OSError:
                pass
            for end in (source, target):
                try:
                    end.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

        back = threading.Thread(target=pipe, args=(upstream, client), daemon=True)
        back.start()
        pipe(client, upstream)
        back.join()
        upstream.close()

    def log_message(self, format, *args):
        if not self.server.quiet:
            sys.stderr.write(f"update_server: {self.server.scheme} {format % args}\n")

    def answer(self, with_body):
        # Every reply ends its connection, so that no client reuses a
        # connection made under other settings (another certificate).
        self.close_connection = True
        state = self.server.state
        path, _, query = self.path.partition("?")
        if path.startswith("/_control/"):
            return self.control(path, query)
        # The reply's status and the body bytes sent are filled in as it goes.
        self.entry = [self.server.scheme, str(self.server.server_address[1]), self.command,
                      self.path, self.headers.get("Host", ""),
                      self.headers.get("Content-Type", ""),
                      str(len(getattr(self, "request_body", b""))),
                      self.headers.get("Range", ""), self.headers.get("If-Range", ""), 0, 0,
                      self.headers.get("User-Agent", ""),
                      self.headers.get("Accept-Encoding", "")]
        with state.lock:
            state.log.append(self.entry)
        try:
            values = parse_values(query, state.snapshot())
        except ValueError as e:
            return self.reply(400, str(e).encode() + b"\n", "text/plain", with_body)

        name = path[len(DOWNLOAD_PATH):] if path.startswith(DOWNLOAD_PATH) else None
        file = os.path.join(values["root"], name) if name in FILES else None
        if values.get("only") and name not in values["only"]:
            values["fault"] = "none"
        if values["fault"] == "notfound" or not file or not os.path.isfile(file):
            return self.reply(404, NOT_FOUND_PAGE, "text/html", with_body)
        if values["fault"] == "status":
            page = b"<html><body><h1>%d</h1>Access denied by policy.</body></html>\n" % values["code"]
            return self.reply(values["code"], page, "text/html", with_body)
        if values["fault"] == "redirect":
            to = values["to"]
            scheme = "http" if to == "http" else "https"
            query_part = "" if to == "loop" else "?fault=none"
            location = f"{scheme}://{self.headers.get('Host', 'localhost')}{path}{query_part}"
            return self.send_head(302, 0, "text/html", {"Location": location})
        with open(file, "rb") as f:
            body = f.read()
            validators = file_validators(os.fstat(f.fileno()))
        self.fault_reply(values, body, FILES[name], with_body, validators)

    def wanted_range(self, values, size, validators):
        """The status and the byte ranges (first, last) of the reply to this
        request's Range, as nginx answers it: "a-b", "a-" and "-n", one or
        several; a syntax it does not take, more ranges than max_ranges, or
        an If-Range naming another validator give 200 and the whole file;
        ranges past the end are dropped, and none left gives 416."""
        fault = values["fault"]
        asked = self.headers.get("Range", "")
        if_range = self.headers.get("If-Range")
        whole = 200, [(0, size - 1)]
        if not asked.startswith("bytes=") or fault == "norange":
            return whole
        if if_range is not None and if_range not in validators.values():
            return whole
        ranges = []
        for item in asked[len("bytes="):].split(","):
            first, dash, last = item.strip().partition("-")
            if not dash or (first and not first.isdigit()) or (last and not last.isdigit()) \
                    or not (first or last):
                return whole
            if not first:
                first, last = max(size - int(last), 0), size - 1
            else:
                first, last = int(first), min(int(last) if last else size - 1, size - 1)
                if first > last and first < size:
                    return whole
            if first < size:
                ranges.append((first, last))
        if len(ranges) > values["max_ranges"]:
            return whole
        if fault == "unsatisfiable" or not ranges:
            return 416, []
        if fault == "misrange":
            return 206, [(0, size - 1)]
        return 206, ranges

    def multipart(self, body, ranges, content_type):
        """A multipart/byteranges body as nginx writes it, and its type."""
        boundary = "00000000000000000031"
        out = b""
        for first, last in ranges:
            out += (f"\r\n--{boundary}\r\nContent-Type: {content_type}\r\n"
                    f"Content-Range: bytes {first}-{last}/{len(body)}\r\n\r\n").encode()
            out += body[first:last + 1]
        out += f"\r\n--{boundary}--\r\n".encode()
        return out, f"multipart/byteranges; boundary={boundary}"

    def send_body(self, data):
        self.wfile.write(data)
        with self.server.state.lock:
            self.entry[10] += len(data)

    def fault_reply(self, values, body, content_type, with_body, validators):
        fault = values["fault"]
        at = values["at"]
        extra = {"ETag": validators["etag"], "Last-Modified": validators["modified"],
                 "Accept-Ranges": "bytes"}
        if fault == "zero":
            # At its offset in the file, whatever range is asked for.
            at = 100 if at < 0 else at
            if at < len(body):
                body = body[:at] + b"\0" + body[at + 1:]
        status, ranges = 200, [(0, len(body) - 1)]
        if fault not in ("flood", "chunked"):
            status, ranges = self.wanted_range(values, len(body), validators)
        if status == 416:
            extra["Content-Range"] = f"bytes */{len(body)}"
            return self.send_head(416, 0, content_type, extra)
        if fault == "firstrange":
            ranges = ranges[:1]
        if status == 206 and len(ranges) == 1:
            first, last = ranges[0]
            extra["Content-Range"] = f"bytes {first}-{last}/{len(body)}"
            body = body[first:last + 1]
        elif status == 206:
            if fault == "misparts" and len(ranges) > 1:
                first, last = ranges[1]
                shift = 1 if last + 1 < len(body) else -1
                ranges[1] = (first + shift, last + shift)
            body, content_type = self.multipart(body, ranges, content_type)
        if fault == "encoded":
            coding = values["coding"]
            if coding == "gzip":
                body = gzip.compress(body)
            elif coding == "deflate":
                body = zlib.compress(body)
            extra["Content-Encoding"] = coding
        if fault == "huge":
            self.send_head(200, 3_000_000_000, content_type, extra)
            if with_body:
                self.send_body(body)
            return
        if fault == "slow":
            time.sleep(values["delay"])
        if fault == "hold":
            self.server.state.wait_for_release(values["delay"])
        if fault == "flood":
            self.send_head(200, 2_000_000_000, content_type)
            chunk = b"<quelda>" * 8192
            for _ in range(2_000_000_000 // len(chunk)):
                self.send_body(chunk)
            return
        if fault == "chunked":
            self.send_response(200)
            self.entry[9] = 200
            self.send_header("Content-Type", content_type)
            self.send_header("Transfer-Encoding", "chunked")
            self.send_header("Connection", "close")
            self.end_headers()
            if with_body:
                for i in range(0, len(body), 1000):
                    piece = body[i:i + 1000]
                    self.wfile.write(b"%x\r\n" % len(piece))
                    self.send_body(piece)
                    self.wfile.write(b"\r\n")
                self.wfile.write(b"0\r\n\r\n")
            return
        if fault in ("short", "reset"):
            cut = len(body) // 2 if at < 0 else min(at, len(body))
            self.send_head(status, len(body), content_type, extra)
            self.send_body(body[:cut])
            if fault == "reset":
                # A pause lets the client read the part first: a reset makes
                # the peer's kernel drop data not yet read. Linger 0 turns the
                # close into a reset instead of an orderly end.
                time.sleep(0.3)
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                self.connection.close()
            return
        if fault == "stall":
            self.send_head(status, len(body), content_type, extra)
            if with_body:
                self.send_body(body[:max(at, 0)])
            self.server.state.wait_for_release(values["delay"])
            return
        self.send_head(status, len(body), content_type, extra)
        if not with_body:
            return
        step = values["trickle"] if fault == "slow" and values["trickle"] > 0 else 65536
        for i in range(0, len(body), step):
            if i and fault == "slow":
                time.sleep(values["interval"])
            self.send_body(body[i:i + step])

    def send_head(self, status, length, content_type, extra=None):
        self.send_response(status)
        if hasattr(self, "entry"):
            self.entry[9] = status
        self.send_header("Content-Type", content_type)
        for header, value in (extra or {}).items():
            self.send_header(header, value)
        self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()

    def reply(self, status, body, content_type, with_body=True):
        self.send_head(status, len(body), content_type)
        if with_body:
            self.wfile.write(body)

    def control(self, path, query):
        state = self.server.state
        if path == "/_control/reset":
            state.reset()
            return self.reply(200, b"ok\n", "text/plain")
        if path == "/_control/set":
            try:
                with state.lock:
                    state.values = parse_values(query, dict(state.values))
                    state.released = False
            except ValueError as e:
                return self.reply(400, str(e).encode() + b"\n", "text/plain")
            return self.reply(200, b"ok\n", "text/plain")
        if path == "/_control/release":
            state.release()
            return self.reply(200, b"ok\n", "text/plain")
        if path == "/_control/log":
            with state.lock:
                text = "".join("\t".join(map(str, entry)) + "\n" for entry in state.log)
            return self.reply(200, text.encode(), "text/plain; charset=utf-8")
        return self.reply(404, NOT_FOUND_PAGE, "text/html")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False

    def __init__(self, address, state, scheme, contexts=None, quiet=False):
        self.state, self.scheme, self.contexts, self.quiet = state, scheme, contexts, quiet
        super().__init__(address, Handler)

    def server_bind(self):
        # The plain TCP bind; HTTPServer's own would look up a host name.
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.socket.bind(self.server_address)
        self.server_address = self.socket.getsockname()

    def finish_request(self, request, client_address):
        # The handshake runs on the request's own thread, so that a client
        # that stalls or refuses the certificate blocks nobody else.
        if self.contexts:
            cert = self.state.snapshot()["cert"]
            request.settimeout(Handler.timeout)
            try:
                request = self.contexts[cert].wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError) as e:
                # A bare connect (a readiness probe) ends before any handshake.
                if not self.quiet and not isinstance(e, ssl.SSLEOFError):
                    sys.stderr.write(f"update_server: handshake with {cert} certificate: {e}\n")
                return
        try:
            super().finish_request(request, client_address)
        except (ConnectionError, ssl.SSLError, TimeoutError, BrokenPipeError):
            pass  # the client went away: normal for cancel and time-limit tests
        finally:
            try:
                request.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            request.close()


def tls_context(certs, prefix):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(f"{certs}/{prefix}server.pem", f"{certs}/{prefix}server.key")
    return context


def start_servers(options):
    """Binds every port first, so that a busy port fails before anything runs."""
    ensure_certs(options.certs, options.host)
    if options.demo:
        make_site(options.root)
    state = State(options)
    contexts = {"trusted": tls_context(options.certs, ""),
                "untrusted": tls_context(options.certs, "untrusted-")}
    servers = [Server((options.address, options.https_port), state, "https", contexts,
                      options.quiet)]
    if options.http_port:
        servers.append(Server((options.address, options.http_port), state, "http", None,
                              options.quiet))
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    ports = ", ".join(f"{s.scheme}://{options.address}:{s.server_address[1]}" for s in servers)
    print(f"update_server: serving {state.start['root']} on {ports}, fault {options.fault}",
          file=sys.stderr, flush=True)
    return servers


def stop_servers(servers):
    for server in servers:
        server.shutdown()
        server.server_close()


def add_serve_options(parser):
    parser.add_argument("--root", default=os.getcwd(), help="folder with the three files")
    parser.add_argument("--demo", action="store_true", help="write the demo files into --root first")
    parser.add_argument("--certs", default=os.path.join(HERE, "certs"))
    parser.add_argument("--host", default="localhost", help="name on the server certificate")
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--https-port", type=int, default=443)
    parser.add_argument("--http-port", type=int, default=80, help="0: no plain HTTP")
    parser.add_argument("--fault", choices=FAULTS, default="none")
    parser.add_argument("--delay", type=float, default=20.0)
    parser.add_argument("--trickle", type=int, default=0)
    parser.add_argument("--interval", type=float, default=0.1)
    parser.add_argument("--at", type=int, default=-1, help="byte offset for short, reset, zero")
    parser.add_argument("--quiet", action="store_true")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n", 2)[2])
    commands = parser.add_subparsers(dest="command", required=True)
    certs = commands.add_parser("certs")
    certs.add_argument("--certs", default=os.path.join(HERE, "certs"))
    certs.add_argument("--host", default="localhost")
    site = commands.add_parser("site")
    site.add_argument("folder")
    site.add_argument("--version", default="1.2.3.4")
    site.add_argument("--app", help="an exe to put into the package as Quelda.exe")
    site.add_argument("--package-size", type=int, help="pad the package to this many bytes")
    site.add_argument("--declare", action="store_true",
                      help="declare the package's size and sha256 in the manifest")
    for name in ("serve", "run", "start"):
        add_serve_options(commands.add_parser(name))
    commands.choices["run"].add_argument("child", nargs=argparse.REMAINDER)
    commands.choices["start"].add_argument("--state", required=True)
    commands.add_parser("stop").add_argument("--state", required=True)
    options = parser.parse_args()

    if options.command == "certs":
        ensure_certs(options.certs, options.host)
    elif options.command == "site":
        make_site(options.folder, options.version, options.app, options.package_size,
                  options.declare)
    elif options.command == "serve":
        # Blocked before the server threads start, so that only sigwait sees them.
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})
        servers = start_servers(options)
        signal.sigwait({signal.SIGINT, signal.SIGTERM})
        stop_servers(servers)
    elif options.command == "run":
        child = options.child[1:] if options.child[:1] == ["--"] else options.child
        if not child:
            parser.error("run needs a command after --")
        servers = start_servers(options)
        code = subprocess.call(child)
        stop_servers(servers)
        return code
    elif options.command == "start":
        return start_background(options)
    elif options.command == "stop":
        return stop_background(options.state)
    return 0


def start_background(options):
    os.makedirs(options.state, exist_ok=True)
    pid_file = os.path.join(options.state, "update_server.pid")
    log_file = os.path.join(options.state, "update_server.log")
    args = [sys.executable, os.path.abspath(__file__), "serve"] + sys.argv[2:]
    i = args.index("--state")
    del args[i:i + 2]
    with open(log_file, "ab") as log:
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                   start_new_session=True)
    for _ in range(200):
        if process.poll() is not None:
            sys.stderr.write(open(log_file).read())
            return 1
        with socket.socket() as probe:
            if probe.connect_ex((options.address, options.https_port)) == 0:
                with open(pid_file, "w") as f:
                    f.write(f"{process.pid}\n")
                return 0
        time.sleep(0.05)
    process.terminate()
    return 1


def stop_background(state):
    pid_file = os.path.join(state, "update_server.pid")
    if not os.path.exists(pid_file):
        return 0
    pid = int(open(pid_file).read())
    os.remove(pid_file)
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return 0
    for _ in range(100):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return 0
        time.sleep(0.05)
    return 1


if __name__ == "__main__":
    sys.exit(main())
