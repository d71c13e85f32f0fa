"""What the stand-in engine's transcript says about one run of rivelo.exe.

The one reader of the transcript on this side, used by scripts/demo.py,
bench/lan_evidence.py and the integration tests; the format is
standin/engine/transcript.md. Message bytes are decoded by wire_reader.py.

    run = transcript.read(path)      # a finished run
    run = Transcript(path)           # a running one: run.poll() takes what was written since the last
                                     # poll and returns its events

A line counts once its newline is written, so a line still being written is
never misread. What no sound run writes (an undecodable or unexpected event, an error
envelope on the stream, a line that is no record) is collected in `problems`;
what means that a scan can never end (a "listen" without a handler, refused or
answered with undecodable bytes) is `fatal`.
"""

import json
from collections import namedtuple

from wire_reader import DecodeError, Error, decode_envelope, decode_method_call

CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"
HOSTS_PER_SCAN = 254

Event = namedtuple("Event", "t ip success")


class Transcript:
    def __init__(self, path):
        self.path = path
        self.records = []          # every record, in the order written
        self.listens = []          # t of each "listen" on the channel
        self.listen_answers = []   # wire_reader.Success or Error, in the order answered
        self.events = []           # Event, in the order sent
        self.ends = []             # t of each end of the stream
        self.last_t = None         # t of the latest message on the channel
        self.problems = []
        self.fatal = None
        self._first, self._listen_seqs, self._listen_ids, self._late_sends = {}, set(), set(), 0
        self._offset, self._partial = 0, b""

    def poll(self):
        """Takes the lines written since the last call; returns the events among them."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self._offset += len(data)
        *lines, self._partial = (self._partial + data).split(b"\n")
        known = len(self.events)
        for line in filter(bytes.strip, lines):
            try:
                record = json.loads(line)
                self._first.setdefault(record["type"], len(self.records))
                self.records.append(record)
                self._take(record["type"], record)
            except (ValueError, TypeError, KeyError) as error:
                self.problems.append(f"a record that cannot be read ({error}): {line[:200]!r}")
        return self.events[known:]

    def first(self, kind):
        """(index, record) of the first record of a type, or (None, None)."""
        index = self._first.get(kind)
        return (None, None) if index is None else (index, self.records[index])

    def of(self, kind, **fields):
        """Every record of a type whose fields hold these values."""
        return [r for r in self.records if r["type"] == kind and all(r.get(k) == v for k, v in fields.items())]

    def seconds_since_listen(self, t):
        """Transcript time from the first listen: the one clock of every scan time shown."""
        return 0.0 if not self.listens or t is None else (t - self.listens[0]) / 1000.0

    def per_scan(self, scans):
        """The answering addresses of each scan (the k-th event of an address belongs to scan k),
        and the number of events of each address."""
        answered, seen = [set() for _ in range(scans)], {}
        for _, address, success in self.events:
            seen[address] = seen.get(address, 0) + 1
            if success and seen[address] <= scans:
                answered[seen[address] - 1].add(address)
        return answered, seen

    def scan_problems(self, prefix, expected, scans):
        """How the run differs from `scans` whole scans of the /24 `prefix` (such as "10.77.9") in
        which exactly the addresses `expected` answered; empty when it does not."""
        answered, seen = self.per_scan(scans)
        swept = {f"{prefix}.{host}" for host in range(1, HOSTS_PER_SCAN + 1)}
        problems = ([self.fatal] if self.fatal else []) + self.problems
        problems += [f"{address} was never probed" for address in sorted(swept - set(seen))]
        for address, count in sorted(seen.items()):
            if address not in swept:
                problems.append(f"{address} is outside the swept range")
            elif count != scans:
                problems.append(f"{address} was probed {count} times, expected {scans}")
        for k, found in enumerate(answered):
            if found != expected:
                problems.append(f"scan {k + 1}: missing {', '.join(sorted(expected - found)) or 'none'}; "
                                f"unexpected {', '.join(sorted(found - expected)) or 'none'}")
        if (len(self.listens), len(self.ends)) != (scans, scans):
            problems.append(f"{len(self.listens)} listens and {len(self.ends)} ends of the stream, expected {scans}")
        return problems

    def teardown_problems(self):
        """What the engine's end says was left behind; empty after a clean teardown."""
        _, shutdown = self.first("shutdown")
        if shutdown is None:
            return ["no shutdown report"]
        problems = [f"unanswered {message}" for message in shutdown["unanswered"]]
        problems += [f"after teardown: {call['call']}: {call['problem']}" for call in self.of("after_teardown")]
        if shutdown["outstanding_messenger_refs"]:
            problems.append(f"{shutdown['outstanding_messenger_refs']} outstanding messenger references")
        if self._late_sends:
            problems.append(f"{self._late_sends} messages sent after the shutdown")
        return problems

    def _take(self, kind, record):
        if kind == "message" and record["direction"] == "to_dart" and "shutdown" in self._first:
            self._late_sends += 1
        if kind == "message" and record["channel"] == CHANNEL:
            self.last_t = record["t"]
            payload = bytes.fromhex(record["hex"])
            if record["direction"] == "to_native" and decode_method_call(payload).method == "listen":
                self.listens.append(record["t"])
                self._listen_seqs.add(record["seq"])
                self._listen_ids.add(record["response_id"])
            elif record["direction"] == "to_dart" and not payload:
                self.ends.append(record["t"])
            elif record["direction"] == "to_dart":
                self._event(record["t"], payload)
        elif kind == "delivered" and record["seq"] in self._listen_seqs and not record["handled"]:
            self.fatal = "rivelo.exe has no handler on the discovery channel: 'listen' went unanswered"
        elif kind == "response" and record["response_id"] in self._listen_ids:
            try:
                answer = decode_envelope(bytes.fromhex(record["hex"]))
            except DecodeError:
                self.fatal = f"rivelo.exe answered 'listen' with undecodable bytes {record['hex']}"
                return
            self.listen_answers.append(answer)
            if isinstance(answer, Error):
                self.fatal = f"rivelo.exe refused 'listen': {answer.code} {answer.message}"

    def _event(self, t, payload):
        try:
            envelope = decode_envelope(payload)
        except DecodeError as error:
            self.problems.append(f"undecodable message on the discovery stream ({error}): {payload.hex()}")
            return
        if isinstance(envelope, Error):
            self.problems.append(f"error on the discovery stream: {envelope.code} {envelope.message}")
            return
        event = envelope.result
        if not (isinstance(event, dict) and set(event) == {"ip", "success"} and isinstance(event["ip"], str)
                and isinstance(event["success"], bool)):
            self.problems.append(f"unexpected event on the discovery stream: {event!r}")
            return
        self.events.append(Event(t, event["ip"], event["success"]))


def read(path):
    """The whole transcript of a finished run (empty when there is none)."""
    run = Transcript(path)
    run.poll()
    if run._partial:
        run.problems.append(f"the last line was never finished: {run._partial[:200]!r}")
    return run
