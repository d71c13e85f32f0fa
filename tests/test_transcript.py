"""The transcript reader on synthetic transcripts: a scan followed as the file
grows, how a scan that differs from the LAN is told, what makes a scan fatal
and what a teardown leaves behind."""

import json

import pytest

from transcript import CHANNEL, Transcript, read
from wire_reader import Success

PREFIX = "10.77.9"


def text(value):
    return b"\x07" + bytes([len(value)]) + value.encode()


def event_bytes(host, success, prefix=PREFIX):
    return b"\x00\x0d\x02" + text("ip") + text(f"{prefix}.{host}") + text("success") + (b"\x01" if success else b"\x02")


def error_bytes(code, message):
    return b"\x01" + text(code) + text(message) + b"\x00"


def message(t, direction, payload, channel=CHANNEL, **extra):
    return {"type": "message", "t": t, "direction": direction, "seq": 1, "channel": channel, "hex": payload.hex(),
            **extra}


def listen(t=1, seq=1):
    return message(t, "to_native", text("listen") + b"\x00", seq=seq, response_id=8 + seq)


def end(t=900):
    return message(t, "to_dart", b"")


def sweep(answering=(1, 7), skip=(), twice=(), t=100):
    return [message(t + host, "to_dart", event_bytes(host, host in answering))
            for host in range(1, 255) if host not in skip for _ in range(2 if host in twice else 1)]


def written(lines):
    return "".join(json.dumps(line) + "\n" for line in lines)


def read_lines(tmp_path, lines):
    (tmp_path / "t.jsonl").write_text(lines if isinstance(lines, str) else written(lines))
    return read(tmp_path / "t.jsonl")


def test_a_growing_transcript_is_taken_line_by_line(tmp_path):
    run = Transcript(tmp_path / "t.jsonl")
    assert run.poll() == []
    other = message(3, "to_dart", event_bytes(99, True), channel="other/channel")
    whole = written([{"type": "first_frame", "t": 50.0}, listen(90.0), other] + sweep({1, 7, 23}) + [end(1290.0)])
    (tmp_path / "t.jsonl").write_text(whole[:-20])
    assert [tuple(e) for e in run.poll()[:2]] == [(101, f"{PREFIX}.1", True), (102, f"{PREFIX}.2", False)]
    assert (len(run.events), run.ends, run.problems) == (254, [], [])
    assert "never finished" in read(tmp_path / "t.jsonl").problems[0]
    with open(tmp_path / "t.jsonl", "a") as f:
        f.write(whole[-20:])
    assert (run.poll(), run.ends, run.seconds_since_listen(run.ends[-1])) == ([], [1290.0], 1.2)
    assert run.scan_problems(PREFIX, {f"{PREFIX}.{h}" for h in (1, 7, 23)}, 1) == []


def one_scan(*extra, answering=(1, 7), **changes):
    return [listen()] + sweep(answering, **changes) + list(extra) + [end()]


def two_scans(first, second):
    return [listen(), listen(2, 2)] + [line for pair in zip(sweep(first), sweep(second)) for line in pair] + [end()] * 2


def stray(payload):
    return message(5, "to_dart", payload)


@pytest.mark.parametrize("lines, scans, problem", [
    (one_scan(), 1, None),
    (two_scans((1, 7), (1, 7)), 2, None),
    (one_scan(answering=(1,)), 1, "scan 1: missing 10.77.9.7; unexpected none"),
    (one_scan(answering=(1, 7, 99)), 1, "scan 1: missing none; unexpected 10.77.9.99"),
    (two_scans((1,), (1, 7)), 2, "scan 1: missing 10.77.9.7; unexpected none"),
    (two_scans((1, 7), (1,)), 2, "scan 2: missing 10.77.9.7; unexpected none"),
    (one_scan(skip={254}), 1, "10.77.9.254 was never probed"),
    (one_scan(twice={30}), 1, "10.77.9.30 was probed 2 times, expected 1"),
    (one_scan(stray(event_bytes(5, False, "10.77.8"))), 1, "10.77.8.5 is outside the swept range"),
    (one_scan()[:-1], 1, "1 listens and 0 ends of the stream, expected 1"),
    (one_scan(stray(error_bytes("error", "boom"))), 1, "error on the discovery stream: error boom"),
    (one_scan(stray(b"\x00\x0d\x01" + text("ip") + text("x"))), 1, "unexpected event"),
    (one_scan(stray(event_bytes(1, True)[:-1] + b"\x03\x01\x00\x00\x00")), 1, "unexpected event"),
    (one_scan(stray(b"\x00\x0d\x05")), 1, "undecodable message on the discovery stream"),
    (written(one_scan()[:-1]) + '{"type": "mess\n' + written([end()]), 1, "a record that cannot be read"),
])
def test_how_a_scan_differs_from_the_lan(tmp_path, lines, scans, problem):
    found = read_lines(tmp_path, lines).scan_problems(PREFIX, {f"{PREFIX}.1", f"{PREFIX}.7"}, scans)
    assert (found == []) if problem is None else any(problem in p for p in found), found


@pytest.mark.parametrize("handled, answer, fatal", [
    (True, b"\x00\x00", None),
    (False, None, "no handler on the discovery channel"),
    (True, error_bytes("error", "no thread"), "refused 'listen': error no thread"),
    (True, b"\x07", "undecodable"),
])
def test_a_listen_unhandled_or_refused_is_fatal_at_once(tmp_path, handled, answer, fatal):
    lines = [listen(), {"type": "delivered", "t": 2, "seq": 1, "handled": handled}]
    if answer is not None:
        lines.append({"type": "response", "t": 3, "response_id": 9, "hex": answer.hex()})
    run = read_lines(tmp_path, lines)
    if fatal is None:
        assert (run.fatal, run.listen_answers) == (None, [Success(None)])
    else:
        assert fatal in run.fatal and run.scan_problems(PREFIX, set(), 1)[0] == run.fatal


def shutdown(refs=0, unanswered=()):
    return {"type": "shutdown", "t": 9, "outstanding_messenger_refs": refs, "unanswered": list(unanswered)}


@pytest.mark.parametrize("lines, left", [
    ([end(), shutdown()], []),
    ([end()], ["no shutdown report"]),
    ([shutdown(refs=2)], ["2 outstanding messenger references"]),
    ([shutdown(unanswered=[{"response_id": 9, "seq": 1, "channel": CHANNEL}])], ["unanswered {'response_id': 9"]),
    ([shutdown(), {"type": "after_teardown", "t": 10, "call": "FlutterDesktopMessengerSend", "problem": "gone"}],
     ["after teardown: FlutterDesktopMessengerSend: gone"]),
    ([shutdown(), end(10), message(11, "to_dart", b"", channel="other")], ["2 messages sent after the shutdown"]),
])
def test_what_a_teardown_left_behind(tmp_path, lines, left):
    found = read_lines(tmp_path, lines).teardown_problems()
    assert len(found) == len(left) and all(p.startswith(want) for p, want in zip(found, left)), found
