"""The API of Orvane.tap through a real HTTP client, every answer read by a strict JSON
parser: UTF-8 only, no repeated members, no NaN or Infinity."""
import json
import urllib.request


def strict_pairs(pairs):
    names = [name for name, _ in pairs]
    assert len(names) == len(set(names)), "repeated member in %r" % names
    return dict(pairs)   # keeps the order of the answer


def reject_constant(name):
    raise ValueError("not JSON: %s" % name)


def api(port, function, action, params="", body=None, timeout=30):
    """One API request (a POST when there is a body); the answer parsed strictly."""
    url = "http://127.0.0.1:%d/api?function=%s&action=%s!%s" % (port, function, action, params)
    request = urllib.request.Request(url, data=body, method="POST" if body is not None else "GET")
    with urllib.request.urlopen(request, timeout=timeout) as response:
        assert response.headers["Content-Type"].startswith("application/json")
        text = response.read().decode("utf-8")   # strict: invalid UTF-8 fails
    return json.loads(text, strict=True, object_pairs_hook=strict_pairs, parse_constant=reject_constant)
