"""pvrsim's failure injection and heap accounting through its standard input."""
import os
import socket

from conftest import free_port, read_log, settings_path, write_ini


def heap_in_use(sim):
    sim.send("heap")
    m = sim.expect(r"heap slot 0 id 0x514b570f in use (\d+) bytes in (\d+) blocks, peak (\d+) bytes")
    return int(m.group(1)), int(m.group(3))


def request(port, text, timeout=5):
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(text.encode())
        answer = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
        except (socket.timeout, ConnectionResetError):
            pass
        return answer.decode("latin-1")


def test_allocation_failures_and_heap(pvr_root, start_pvrsim):
    port = free_port()
    write_ini(pvr_root, f"port={port}\nlogginglevel=1\nauthentication=0\n")
    sim = start_pvrsim(pvr_root)
    sim.expect(r"loaded slot 0 id 0x514b570f")
    assert request(port, "GET /index.html HTTP/1.1\r\n\r\n").startswith("HTTP/1.1 ")
    before, _ = heap_in_use(sim)

    # Every allocation fails: the request is never read, its connection is dropped.
    sim.send("fail-alloc all")
    sim.expect(r"TAP_MemAlloc fails always")
    assert request(port, "GET /index.html HTTP/1.1\r\n\r\n", timeout=10) == ""
    assert "Error allocating memory for inbound socket buffer." in read_log(pvr_root)
    sim.send("fail-alloc off")
    sim.expect(r"TAP_MemAlloc fails never")
    assert heap_in_use(sim)[0] == before

    # Only the next one: the first poll fails, the next one serves the request.
    sim.send("fail-alloc 1")
    sim.expect(r"TAP_MemAlloc number 1 from now fails")
    assert request(port, "GET /index.html HTTP/1.1\r\n\r\n").startswith("HTTP/1.1 ")
    sim.expect(r"TAP_MemAlloc of \d+ bytes fails \(injected\)")
    in_use, peak = heap_in_use(sim)
    assert in_use == before and peak >= in_use
    assert sim.stop() == 0


def test_absent_hooks_and_failing_files(pvr_root, start_pvrsim):
    port = free_port()
    write_ini(pvr_root, f"port={port}\nlogginglevel=1\nauthentication=0\n")
    sim = start_pvrsim(pvr_root, taps=[])
    sim.send("absent _Z9NoSuchHookv")
    sim.expect(r"unknown firmware symbol _Z9NoSuchHookv")
    # Without its time block the TAP starts all the same.
    sim.send("absent _timeInfo")
    sim.expect(r"firmware symbol _timeInfo absent")
    # The log of the TAP cannot be created: it runs without it.
    sim.send("fail-open Orvane-Network.log")
    sim.expect(r"opening Orvane-Network.log fails")
    sim.send(f"load {pvr_root}/mnt/hd/ProgramFiles/Orvane.tap")
    sim.expect(r"loaded slot 0 id 0x514b570f")
    assert request(port, "GET /index.html HTTP/1.1\r\n\r\n").startswith("HTTP/1.1 ")
    assert "Orvane 2.20 Started:" in read_log(pvr_root)
    assert not os.path.exists(settings_path(pvr_root, "Orvane-Network.log"))
    sim.send("present _timeInfo")
    sim.expect(r"firmware symbol _timeInfo present")
    sim.send("faults-off")
    sim.expect(r"no injected failures")
    assert sim.stop() == 0
