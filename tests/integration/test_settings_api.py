"""Settings, language files and the client log with real HTTP clients: round trips through
the API and the files, a restart of the emulated PVR in between, and the browser's log."""
import json
import os
import urllib.parse
import urllib.request

from conftest import public_html, read_log, settings_path

CLIENT_INI = "mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Client.ini"


def api(port, function, action, params="", body=None):
    url = f"http://127.0.0.1:{port}/api?function={function}&action={action}!{params}"
    with urllib.request.urlopen(urllib.request.Request(url, data=body), timeout=15) as response:
        return response.status, response.headers, response.read()


def setting(port, action, **params):
    return json.loads(api(port, "settings", action, urllib.parse.urlencode(params, quote_via=urllib.parse.quote))[2])


def test_settings_round_trips_and_a_restart(pvr_root, web_server):
    module = os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/clock")
    os.makedirs(module)
    with open(os.path.join(pvr_root, CLIENT_INI), "wb") as f:
        f.write(b"# the browser's settings\r\nusername=joe\r\n")
    sim = web_server()
    values = {"name": "Living room", "quote": 'say "hi" & \\ / <b>', "utf8": "caf\u00e9 \u2603", "empty": ""}
    for key, value in values.items():
        answer = setting(sim.port, "set", key=key, value=value)
        assert (answer["status"], answer["setting_key"], answer["setting_value"]) == (1, key, value)
    assert setting(sim.port, "set", module="clock", key="size", value="3")["status"] == 1
    # Whole keys at the start of a line: "name" left "username" alone.
    with open(os.path.join(pvr_root, CLIENT_INI), "rb") as f:
        text = f.read().decode()
    assert text.startswith("# the browser's settings\r\nusername=joe\r\nname=Living room\r\n")
    # CR and LF cannot be stored.
    refused = setting(sim.port, "set", key="bad", value="a\r\nb=c")
    assert (refused["status"], refused["error_text"]) == (0, "Invalid value")

    # The PVR starts again: everything is still there.
    sim.finish()
    sim = web_server()
    listing = setting(sim.port, "list")
    assert listing["setting"] == {"username": "joe", **values}
    assert listing["count"] == 5
    assert list(listing) == ["content", "timestamp", "setting", "count"]
    assert setting(sim.port, "list", module="clock")["setting"] == {"size": "3"}
    for key, value in values.items():
        answer = setting(sim.port, "get", key=key)
        assert (answer["status"], answer["setting_value"]) == (1, value)
    deleted = setting(sim.port, "delete", key="quote")
    assert deleted["setting_value"] == values["quote"]
    assert setting(sim.port, "get", key="quote")["status"] == 0
    missing = setting(sim.port, "list", module="weather")
    assert (missing["error_text"], missing["count"]) == ("Module not found", 0)
    assert not os.path.exists(os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/weather"))


def test_language_files_and_the_client_log(pvr_root, web_server):
    public_html(pvr_root, "language-en.txt", b"title=English")
    public_html(pvr_root, "language-fr.txt", b"title=Fran\xc3\xa7ais")
    public_html(pvr_root, "modules/clock/lng/language-en.txt", b"clock=Clock")
    with open(os.path.join(pvr_root, "pvrsim.json")) as f:
        profile = json.load(f)
    profile["system_vars"] = {"1": 1}   # the menu speaks French
    with open(os.path.join(pvr_root, "pvrsim.json"), "w") as f:
        json.dump(profile, f)
    sim = web_server()
    assert api(sim.port, "language", "get")[2] == b"title=Fran\xc3\xa7ais"
    assert api(sim.port, "language", "get", "lang=en")[2] == b"title=English"
    status, headers, body = api(sim.port, "language", "get", "lng=xx")
    assert (status, body) == (200, b"title=English")
    assert headers["Content-Type"] == "text/plain; charset=utf-8"
    assert api(sim.port, "language", "get", "module=clock")[2] == b"clock=Clock"
    assert "Returning English as last resort." in read_log(pvr_root)

    status, _, body = api(sim.port, "log", "write", "module=Clock%20view", body=b"view opened \xc3\xa9")
    answer = json.loads(body)
    assert (answer["requested_module"], answer["bytes_written"]) == ("Clock%20view", 14)
    assert "view opened \xc3\xa9\r\n" in read_log(pvr_root)
    assert os.path.exists(settings_path(pvr_root))
