"""Access control by network and Basic credentials, with real hosts: the PVR runs in a
network namespace of its own whose eth0 faces a client network, and a second client is
routed to it from another network."""
import base64
import os
import subprocess

import pytest

from conftest import free_port, read_log, write_ini

PVR_ADDRESS = "10.203.1.1"
TOKEN = base64.b64encode(b"admin:s3cret").decode()


def ip(*args, check=True):
    return subprocess.run(["ip", *args], capture_output=True, text=True, check=check, timeout=20)


@pytest.fixture
def network():
    """Three hosts: pvr (eth0 10.203.1.1/24, eth1 10.203.2.1/24), lan (10.203.1.2/24) and
    wan (10.203.2.2/24, routed through the pvr's eth1)."""
    if os.geteuid() != 0:
        pytest.fail("the access tests need network namespaces: run them as root (as make test in CI does)",
                    pytrace=False)
    tag = f"o{os.getpid() % 100000}"
    hosts = {name: f"{tag}{name}" for name in ("pvr", "lan", "wan")}
    try:
        for ns in hosts.values():
            ip("netns", "add", ns)
        for side, pvr_if, net in (("lan", "eth0", 1), ("wan", "eth1", 2)):
            a, b = f"{tag}{side}a", f"{tag}{side}b"
            ip("link", "add", a, "type", "veth", "peer", "name", b)
            ip("link", "set", a, "netns", hosts["pvr"])
            ip("link", "set", b, "netns", hosts[side])
            ip("-n", hosts["pvr"], "link", "set", a, "name", pvr_if)
            ip("-n", hosts["pvr"], "addr", "add", f"10.203.{net}.1/24", "dev", pvr_if)
            ip("-n", hosts["pvr"], "link", "set", pvr_if, "up")
            ip("-n", hosts[side], "addr", "add", f"10.203.{net}.2/24", "dev", b)
            ip("-n", hosts[side], "link", "set", b, "up")
            ip("-n", hosts[side], "link", "set", "lo", "up")
        ip("-n", hosts["pvr"], "link", "set", "lo", "up")
        ip("-n", hosts["wan"], "route", "add", "default", "via", "10.203.2.1")
    except subprocess.CalledProcessError as e:
        for ns in hosts.values():
            ip("netns", "del", ns, check=False)
        pytest.fail(f"network namespaces cannot be made here: {e.stderr.strip()}", pytrace=False)
    yield hosts
    for ns in hosts.values():
        ip("netns", "del", ns, check=False)


def curl(host_ns, port, *extra):
    """Status code of a GET / from a client host."""
    result = subprocess.run(["ip", "netns", "exec", host_ns, "curl", "-s", "-o", "/dev/null", "-w",
                             "%{http_code}", "--max-time", "10", *extra, f"http://{PVR_ADDRESS}:{port}/"],
                            capture_output=True, text=True, timeout=30)
    return result.stdout


def start(pvr_root, start_pvrsim, network, mode, credentials=TOKEN):
    port = free_port()
    write_ini(pvr_root, f"port={port}\nlogginglevel=3\nauthentication={mode}\ncredentials={credentials}\n")
    index = os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html/index.html")
    with open(index, "w") as f:
        f.write("<h1>PVR</h1>")
    sim = start_pvrsim(pvr_root, prefix=["ip", "netns", "exec", network["pvr"]])
    sim.expect(r"loaded slot 0 id 0x514b570f")
    return port


def test_mode_1_own_network_is_served_others_must_authenticate(pvr_root, start_pvrsim, network):
    port = start(pvr_root, start_pvrsim, network, 1)
    assert curl(network["lan"], port) == "200"
    assert curl(network["wan"], port) == "401"
    assert curl(network["wan"], port, "-u", "admin:s3cret") == "200"
    assert curl(network["wan"], port, "-u", "admin:wrong") == "401"
    log = read_log(pvr_root)
    assert "My IP address 10.203.1.1, my subnet mask 255.255.255.0." in log
    assert "Authentication required for 10.203.2.2. Mismatched networks." in log
    assert "My network 10.203.1.0, client network 10.203.2.0." in log
    assert "Authentication passed for 10.203.2.2." in log
    assert "Authentication failed for 10.203.2.2." in log
    assert "Authentication required for 10.203.1.2" not in log


def test_mode_2_everyone_authenticates_by_token_only(pvr_root, start_pvrsim, network):
    port = start(pvr_root, start_pvrsim, network, 2)
    assert curl(network["lan"], port) == "401"
    assert curl(network["lan"], port, "-u", "admin:s3cret") == "200"
    assert curl(network["wan"], port, "-u", "admin:s3cret") == "200"
    # Only the token counts, not the scheme word; the token is compared case-sensitively.
    assert curl(network["lan"], port, "-H", f"Authorization: Digest {TOKEN}") == "200"
    assert curl(network["lan"], port, "-H", f"Authorization: Basic {TOKEN.lower()}") == "401"


def test_mode_0_and_missing_credentials(pvr_root, start_pvrsim, network):
    port = start(pvr_root, start_pvrsim, network, 0)
    assert curl(network["wan"], port) == "200"
    assert curl(network["lan"], port) == "200"


def test_without_credentials_nobody_outside_gets_in(pvr_root, start_pvrsim, network):
    port = start(pvr_root, start_pvrsim, network, 1, credentials="")
    assert curl(network["lan"], port) == "200"
    assert curl(network["wan"], port) == "401"
    empty = base64.b64encode(b"").decode()
    assert curl(network["wan"], port, "-H", f"Authorization: Basic {empty}") == "401"
    assert curl(network["wan"], port, "-H", "Authorization: Basic") == "401"


def test_exact_401_bytes(pvr_root, start_pvrsim, network):
    port = start(pvr_root, start_pvrsim, network, 2)
    out = subprocess.run(["ip", "netns", "exec", network["lan"], "/usr/bin/python3", "-c",
                          "import socket,sys\n"
                          f"s=socket.create_connection(('{PVR_ADDRESS}',{port}),timeout=10)\n"
                          "s.sendall(b'GET / HTTP/1.1\\r\\n\\r\\n')\n"
                          "d=b''\n"
                          "while True:\n"
                          " c=s.recv(4096)\n"
                          " if not c: break\n"
                          " d+=c\n"
                          "sys.stdout.buffer.write(d)"], capture_output=True, timeout=30).stdout
    assert out == (b"HTTP/1.1 401 Access Denied\r\nWWW-Authenticate: Basic realm=\"Orvane\"\r\n"
                   b"Content-Length: 0\r\n\r\n")
