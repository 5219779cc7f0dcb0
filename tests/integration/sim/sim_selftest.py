#!/usr/bin/env python3
"""Self-test of qrv-camera-sim with ordinary tools: curl for HTTP, a Python
UDP probe for discovery. Runs inside scripts/run-in-private-network.

usage: sim_selftest.py PATH-TO-qrv-camera-sim
"""
import io
import json
import os
import socket
import subprocess
import sys
import tarfile
import tempfile
import time
import unittest

SIM = None
REQUEST = b"\x02ENQ:allinfo\xff\x03"


def firmware_image(variant):
    """A ustar archive of the six members of a firmware image."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for part in ("etc", "firm", "kernel", "lib", "tz", "web"):
            data = ("stand-in %s\n" % part).encode()
            info = tarfile.TarInfo("qrvk7_%s%d.tar.gz" % (part, variant))
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def program_form(field, filename, content):
    boundary = "-" * 27 + "7d" + str(int(time.time()))
    head = ("\r\n%s\r\nContent-Disposition: form-data; name=\"%s\"; filename=\"%s\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" % (boundary, field, filename)).encode()
    tail = ("\r\n%s--\r\n\r\n" % boundary).encode()
    return boundary, head + content + tail


def post_raw(host, port, path, content_type, body, authorization, timeout=10):
    """Sends the program's header set byte for byte and returns (status, raw answer)."""
    request = ("POST %s HTTP/1.1\r\nAccept: */*\r\nUser-Agent: QRV Upgrade Tool\r\nHost: %s\r\n"
               "Content-Type: %s\r\nAccept-Encoding: gzip, deflate\r\nConnection: Keep-Alive\r\n"
               "Proxy-Connection: Keep-Alive\r\nCache-Control: no-cache\r\nContent-Length: %d\r\n"
               "Authorization: Basic %s\r\n\r\n" % (path, host, content_type, len(body), authorization)).encode()
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(request + body)
        answer = b""
        while b"\r\n\r\n" not in answer:
            chunk = s.recv(65536)
            if not chunk:
                break
            answer += chunk
    status = int(answer.split(b" ", 2)[1]) if answer.startswith(b"HTTP/1.1 ") else 0
    return status, answer


def curl(*args):
    result = subprocess.run(["curl", "-s", "--max-time", "10", *args], capture_output=True, check=False)
    return result.stdout


def can_connect(host, port):
    try:
        socket.create_connection((host, port), timeout=1).close()
        return True
    except OSError:
        return False


def probe(copies=1, window=1.0):
    """Broadcasts the allinfo request; returns the datagrams that came back."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    s.bind(("0.0.0.0", 0))
    for _ in range(copies):
        s.sendto(REQUEST, ("255.255.255.255", 2380))
    replies = []
    deadline = time.monotonic() + window
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        s.settimeout(left)
        try:
            replies.append(s.recvfrom(2048))
        except socket.timeout:
            break
    s.close()
    return replies


class Simulator:
    def __init__(self, *args):
        self.dir = tempfile.TemporaryDirectory()
        self.events = os.path.join(self.dir.name, "events.jsonl")
        self.process = subprocess.Popen([SIM, *args, "--time-scale", "0.01", "--events", self.events],
                                        stdout=subprocess.PIPE)
        line = self.process.stdout.readline()
        if line != b"READY\n":
            self.process.kill()
            raise RuntimeError("simulator did not become ready: %r" % line)

    def read_events(self):
        with open(self.events, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def wait_event(self, match, limit=5.0):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if any(match(e) for e in self.read_events()):
                return True
            time.sleep(0.01)
        return False

    def stop(self):
        self.process.terminate()
        code = self.process.wait(timeout=10)
        self.process.stdout.close()
        self.dir.cleanup()
        return code


class FleetSelfTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.fleet_file = tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False)
        cls.fleet_file.write("# self-test fleet\n127.0.0.2 serial=2001\n127.0.0.3 doctype=g3 write=5000 reboot=20000\n"
                             "127.0.0.4:8080 admin=root:secret\n")
        cls.fleet_file.close()
        cls.sim = Simulator("--fleet", cls.fleet_file.name)

    @classmethod
    def tearDownClass(cls):
        code = cls.sim.stop()
        os.unlink(cls.fleet_file.name)
        assert code == 0, "the simulator ended with %d on SIGTERM" % code

    def test_inquiry_with_and_without_credentials(self):
        system = curl("-d", "inq=system", "http://127.0.0.2/command/inquiry.cgi")
        self.assertTrue(system.startswith(b"ModelName=QRV-K7&Serial=2001&SoftVersion=1.20&MacAddress="), system)
        refused = curl("-i", "-d", "inq=user", "http://127.0.0.2/command/inquiry.cgi")
        self.assertTrue(refused.startswith(b"HTTP/1.1 401 "), refused)
        self.assertIn(b"\r\nWWW-Authenticate: Basic realm=", refused)
        user = curl("-u", "admin:admin", "-d", "inq=user", "http://127.0.0.2/command/inquiry.cgi")
        self.assertEqual(user, b"Administrator=YWRtaW46YWRtaW4%3D")
        other_port = curl("-u", "root:secret", "-d", "inq=network", "http://127.0.0.4:8080/command/inquiry.cgi")
        self.assertIn(b"MacAddress=", other_port)

    def test_ordinary_multipart_is_refused(self):
        with tempfile.NamedTemporaryFile(suffix=".bin") as image:
            image.write(firmware_image(1))
            image.flush()
            status = curl("-o", "/dev/null", "-w", "%{http_code}", "-u", "admin:admin",
                          "-F", "setting_file=@%s;filename=upgrade.bin;type=application/octet-stream" % image.name,
                          "http://127.0.0.2/command/versionup.cgi")
        self.assertEqual(status, b"400")
        self.assertTrue(self.sim.wait_event(lambda e: e["kind"] == "verdict" and e["what"] == "upload"
                                            and not e["ok"] and "ordinary multipart" in e["reason"]))
        self.assertTrue(can_connect("127.0.0.2", 80))

    def test_program_form_upload_then_reboot_cycle(self):
        boundary, body = program_form("setting_file", "upgrade.bin", firmware_image(2))
        started = time.monotonic()
        status, answer = post_raw("127.0.0.3", 80, "/command/versionup.cgi",
                                  "multipart/form-data; boundary=" + boundary, body, "YWRtaW46YWRtaW4=")
        self.assertEqual(status, 200, answer)
        self.assertGreaterEqual(time.monotonic() - started, 0.045)  # writing: 5000 ms scaled by 0.01
        self.assertFalse(can_connect("127.0.0.3", 80), "the camera must be down while it reboots")
        deadline = time.monotonic() + 5
        while not can_connect("127.0.0.3", 80) and time.monotonic() < deadline:
            time.sleep(0.02)
        system = curl("-d", "inq=system", "http://127.0.0.3/command/inquiry.cgi")
        self.assertIn(b"&SoftVersion=1.30&", system)
        request = [e for e in self.sim.read_events() if e["kind"] == "request" and e["path"] == "/command/versionup.cgi"
                   and e["camera"] == "127.0.0.3:80"]
        self.assertEqual(len(request), 1)
        self.assertEqual([h[0] for h in request[0]["headers"]],
                         ["Accept", "User-Agent", "Host", "Content-Type", "Accept-Encoding", "Connection",
                          "Proxy-Connection", "Cache-Control", "Content-Length", "Authorization"])
        self.assertEqual(request[0]["body_length"], len(body))

    def test_udp_probe_gets_one_reply_per_camera(self):
        replies = probe()
        self.assertEqual(sorted(a[0] for _, a in replies), ["127.0.0.2", "127.0.0.3", "127.0.0.4"])
        for data, (address, _) in replies:
            self.assertTrue(data.startswith(b"\x02MODEL:QRV-K7\xff") and data.endswith(b"\xff\x03"), data)
            for key in (b"SERIAL:", b"MAC:", b"DHCP:OFF\xff", b"DNSAUTO:OFF\xff", b"IPADR:" + address.encode() + b"\xff",
                        b"WEBPORT:", b"SOFTVERSION:"):
                self.assertIn(key, data)
        self.assertIn(b"WEBPORT:8080\xff", dict((a[0], d) for d, a in replies)["127.0.0.4"])


class BurstSelfTest(unittest.TestCase):
    def test_256_cameras_reply_to_every_request(self):
        started = time.monotonic()
        sim = Simulator("--cameras", "256")
        startup = time.monotonic() - started
        try:
            replies = probe(copies=3, window=2.0)
        finally:
            self.assertEqual(sim.stop(), 0)
        per_camera = {}
        for _, (address, _) in replies:
            per_camera[address] = per_camera.get(address, 0) + 1
        self.assertEqual(len(per_camera), 256)
        self.assertEqual(set(per_camera.values()), {3})
        print("256 cameras ready in %.2f s" % startup, file=sys.stderr)


if __name__ == "__main__":
    SIM = sys.argv.pop(1)
    unittest.main(verbosity=2)
