"""Orvane.tap inside pvrsim: start-up, reload on 0xFE01, TMSCommander events and the stop."""
import os
import signal

from conftest import free_port, read_log, write_ini


def test_start_reload_and_stop(pvr_root, start_pvrsim, tmp_path):
    port, new_port = free_port(), free_port()
    write_ini(pvr_root, f"port={port}\nlogginglevel=2\nauthentication=0\n")
    workdir = tmp_path / "cwd"
    workdir.mkdir()
    before = sorted(os.listdir("/mnt")) if os.path.isdir("/mnt") else []

    sim = start_pvrsim(pvr_root, cwd=str(workdir))
    sim.expect(r"loaded slot 0 id 0x514b570f 'Orvane 2.20'")
    sim.send("tmscommander 3")
    sim.expect(r"event 0x0b00 .* returned 0x01000003")
    assert f"  TCP Listening Port = {port}." in read_log(pvr_root)
    assert "Running configuration." in read_log(pvr_root)

    write_ini(pvr_root, f"port={new_port}\nlogginglevel=2\nauthentication=2\n")
    sim.send("reload")
    sim.expect(r"event 0xfe01 .* returned")
    log = read_log(pvr_root)
    assert "Received request to re-load configuration." in log
    assert f"  TCP Listening Port = {new_port}." in log
    assert "  Authentication = 2." in log

    sim.send("key 0x1234")
    sim.expect(r"event 0x0100 param1 0x00001234 .* returned 0x00001234")

    assert sim.stop(signal.SIGTERM) == 0
    log = read_log(pvr_root)
    assert log.rstrip().endswith("Finishing exitRoutine.")
    assert "Stopping TAP from EVT_STOP." in log
    # Every entry carries the PVR's local date and time.
    for line in log.strip().split("\r\n"):
        assert line[4] == "-" and line[7] == "-" and line[13] == ":" and line[16] == ":", line

    # Nothing outside the emulated root was written.
    assert os.listdir(workdir) == []
    assert (sorted(os.listdir("/mnt")) if os.path.isdir("/mnt") else []) == before


def test_tmscommander_stop_unloads_the_tap(pvr_root, start_pvrsim):
    write_ini(pvr_root, f"port={free_port()}\nlogginglevel=1\n")
    sim = start_pvrsim(pvr_root)
    sim.expect(r"loaded slot 0")
    sim.send("tmscommander 1")
    sim.expect(r"event 0x0b00 param1 0x00000001 .* returned 0x00000001")
    sim.expect(r"unloaded slot 0 id 0x514b570f")
    assert "STOP command from TMSCommander." in read_log(pvr_root)
    assert "Finishing exitRoutine." in read_log(pvr_root)
    assert sim.stop() == 0


def test_banner_and_console(pvr_root, start_pvrsim):
    write_ini(pvr_root, f"port={free_port()}\nlogginglevel=1\n")
    sim = start_pvrsim(pvr_root)
    sim.expect(r"loaded slot 0")
    assert sim.stop() == 0
    assert sim.wait_console("Orvane: Stopping TAP from EVT_STOP.")
    assert "\x1b[" in "".join(sim.console)        # the coloured banner


def test_start_writes_the_description_dumps_for_the_search_program(pvr_root, start_pvrsim):
    import skimlet_fixtures as fx
    write_ini(pvr_root, f"port={free_port()}\nlogginglevel=2\n")
    sim = start_pvrsim(pvr_root)
    sim.expect(r"loaded slot 0")
    folder = os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane")
    parental = open(os.path.join(folder, "parental.epg"), "rb").read()
    genre = open(os.path.join(folder, "genre.epg"), "rb").read()
    au = open(os.path.join(folder, "genre_au.epg"), "rb").read()
    assert parental == fx.dump_bytes(fx.PARENTAL, 16)
    assert au == fx.dump_bytes(fx.AU_GENRES, 128)
    assert len(genre) == 32768
    table = fx.genre_table()
    for index in list(fx.GENRE_NAMES) + [0, 1, 0x0A, 0xFF]:
        assert genre[index * 128:(index + 1) * 128] == table[index].ljust(128, b"\0"), hex(index)
    assert sim.stop() == 0
