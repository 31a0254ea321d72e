"""The JSON API's dispatch: forwarding to another TAP (with POST bodies), the failure
object, and unknown function words."""
from conftest import get, raw_request, read_log

FAILURE_BODY = (b"{\"content\":\"tap_response\",\r\n\"tap\":1234,\r\n\"tap_hex\":\"000004d2\",\r\n"
                b"\"retstatus\":0,\r\n\"status\":0}\r\n")
FAILURE_1234 = (b"HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache, no-store\r\n"
                b"Content-Type: application/json; charset=utf-8\r\nContent-Length: %d\r\n\r\n"
                % len(FAILURE_BODY)) + FAILURE_BODY
ECHO_ID = 0x54455354


def test_forwarding_to_a_tap_and_its_release(pvr_root, web_server):
    sim = web_server()
    status, fields, body = get(sim.port, f"/api?function=files&action=list&tap={ECHO_ID}&session=s1!a=b&c=%20d")
    assert status == "HTTP/1.1 200 OK"
    assert fields["content-type"] == "text/x-echo; charset=utf-8"
    assert fields["cache-control"] == "no-cache, no-store"
    assert body == b"echo function=files action=list tap=1413829460 session=s1 params=a=b&c=%20d post=0:"
    assert sim.wait_console("echo-tap: answered request 1")
    assert sim.wait_console("echo-tap: released answer 1")
    log = read_log(pvr_root)
    assert "Processing request to external TAP." in log
    assert "Function = [files], Action = [list], TAP = [1413829460], Session = [s1]." in log


def test_post_body_is_passed_through(pvr_root, web_server):
    sim = web_server()
    payload = bytes(range(256)) * 4
    status, fields, body = get(sim.port, f"/api?module={ECHO_ID}&function=upload!name=x", method="POST",
                               body=payload)
    assert status == "HTTP/1.1 200 OK"
    prefix = b"echo function=upload action= tap=1413829460 session= params=name=x post=1024:"
    assert body == prefix + payload
    assert int(fields["content-length"]) == len(body)


def test_failure_object_when_no_tap_answers(pvr_root, web_server):
    sim = web_server()
    assert raw_request(sim.port, b"GET /api?function=x&tap=1234&session=s1!a=b HTTP/1.1\r\n\r\n") == FAILURE_1234
    assert raw_request(sim.port, b"GET /api?function=x&module=1234!a=b HTTP/1.1\r\n\r\n") == FAILURE_1234
    # The echo TAP keeps quiet for session "silent": its return status is reported.
    status, _, body = get(sim.port, f"/api?function=x&tap={ECHO_ID}&session=silent!")
    assert body == (b"{\"content\":\"tap_response\",\r\n\"tap\":1413829460,\r\n\"tap_hex\":\"54455354\",\r\n"
                    b"\"retstatus\":7,\r\n\"status\":0}\r\n")
    assert "Sending external TAP failure status." in read_log(pvr_root)


def test_unknown_function_words_get_404(pvr_root, web_server):
    sim = web_server()
    for target in ("/api?function=config&action=get", "/api?function=nothing&action=get!",
                   "/api?!", "/api?tap=default&function=x!y"):
        status, _, body = get(sim.port, target)
        assert status == "HTTP/1.1 404 NOT FOUND", target
    assert "API failed." in read_log(pvr_root)
