"""Differential test of the C++ codec against tests/reference_codec.py.

usage: codec_differential.py [--seed N] [--count N] CODEC_ROUNDTRIP_TOOL

Generates random values (every kind, deep nesting, strings with zero and
non-UTF-8 bytes, sizes around every size-form boundary, doubles and vectors
at every alignment), method calls and envelopes, seeded so that a failure can
be replayed. Each goes to the C++ tool as reference bytes, with map entries
often shuffled and duplicated so that the C++ map ordering and its
first-key-wins rule are exercised too. The C++ re-encoding must equal the
reference encoding byte for byte, the reference decoder must read it back to
an identical value, and the C++ side must print no diagnostic.
"""

import argparse
import array
import random
import struct
import subprocess
import sys
from typing import Any, List, Tuple

sys.path.insert(0, __import__("os").path.dirname(__file__))

import reference_codec as rc  # noqa: E402

BOUNDARY_SIZES = [0, 1, 253, 254, 255, 65535, 65536, 65537]
MAX_DEPTH = 6
DEEP_CHAIN = 300  # below the C++ decoder's nesting cap of 512


class Generator:
    def __init__(self, rng: random.Random):
        self.rng = rng

    def size(self) -> int:
        # Sizes of 65535 and more come from boundary_cases(), once each.
        roll = self.rng.random()
        if roll < 0.005:
            return self.rng.choice(BOUNDARY_SIZES[:5])
        return self.rng.choice([0, 1, 2, 3, 5, 8]) if roll < 0.9 else self.rng.randrange(9, 40)

    def int_value(self, bits: int) -> int:
        low, high = -(1 << (bits - 1)), (1 << (bits - 1)) - 1
        return self.rng.choice([low, -1, 0, 1, high, self.rng.randint(low, high),
                                self.rng.randint(-1000, 1000)])

    def double(self, nan_ok: bool) -> float:
        while True:
            roll = self.rng.random()
            if roll < 0.3:
                value = self.rng.choice([0.0, -0.0, 1.0, -1.5, float("inf"), float("-inf"),
                                         5e-324, 1.7976931348623157e308, float("nan")])
            elif roll < 0.6:
                value = struct.unpack("<d", self.rng.randbytes(8))[0]
            else:
                value = self.rng.uniform(-1e6, 1e6)
            if nan_ok or value == value:
                return value

    def text(self) -> str:
        n = self.size()
        style = self.rng.random()
        if style < 0.4:
            raw = bytes(self.rng.choice(b"abc\0 xyz") for _ in range(n))
        elif style < 0.7:
            raw = "".join(self.rng.choice("aé€😀\0") for _ in range(n)).encode()[:n]
        else:
            raw = self.rng.randbytes(n)
        return raw.decode("utf-8", "surrogateescape")

    def vector(self, code: str, nan_ok: bool) -> array.array:
        n = self.size()
        if n > 40:  # random bit patterns, in bulk
            values = array.array(code)
            values.frombytes(self.rng.randbytes(n * values.itemsize))
            if not nan_ok and code in "df":
                values = array.array(code, (v if v == v else 0.0 for v in values))
            return values
        if code in "iq":
            bits = 32 if code == "i" else 64
            return array.array(code, (self.int_value(bits) for _ in range(n)))
        # A finite double may overflow float32 to an infinity, never to NaN.
        return array.array(code, (self.double(nan_ok) for _ in range(n)))

    def scalar(self, nan_ok: bool) -> Any:
        kind = self.rng.randrange(13)
        if kind == 0:
            return None
        if kind == 1:
            return self.rng.random() < 0.5
        if kind == 2:
            return rc.Int32(self.int_value(32))
        if kind == 3:
            return rc.Int64(self.int_value(64))
        if kind == 4:
            return self.double(nan_ok)
        if kind in (5, 6):
            return self.text()
        if kind == 7:
            return self.rng.randbytes(self.size())
        return self.vector("iqdf"[kind % 4], nan_ok)

    def value(self, depth: int = 0, nan_ok: bool = True) -> Any:
        roll = self.rng.random()
        if depth >= MAX_DEPTH or roll < 0.55 + 0.12 * depth:
            return self.scalar(nan_ok)
        # Containers of a boundary size hold only scalars, to keep values small.
        n = self.size()
        child_depth = depth + 1 if n < 40 else MAX_DEPTH
        if roll < 0.9 + 0.03 * depth:
            return [self.value(child_depth, nan_ok) for _ in range(n)]
        return rc.Map((self.value(max(child_depth, depth + 2), nan_ok=False),
                       self.value(child_depth, nan_ok))
                      for _ in range(n))

    def deep_chain(self) -> Any:
        value = self.scalar(True)
        for _ in range(self.rng.randrange(DEEP_CHAIN)):
            if self.rng.random() < 0.5:
                value = [value] if self.rng.random() < 0.5 else [self.scalar(True), value]
            else:
                value = rc.Map([(self.scalar(False), value)])
        return value


def alignment_cases() -> List[Any]:
    """Every numeric payload at every offset modulo 8, inside lists and maps."""
    items = [1.25, array.array("i", [1, -2, 3]), array.array("q", [-5]),
             array.array("d", [0.5, -0.0]), array.array("f", [1.5]), array.array("i"),
             array.array("q"), array.array("d"), array.array("f")]
    cases = []
    for item in items:
        for offset in range(8):
            cases.append(["x" * offset, item])
            cases.append(rc.Map([("k" * offset, item)]))
            cases.append([b"\1" * offset, [item, item]])
    return cases


def boundary_cases() -> List[Any]:
    """Every sized kind at every size-form boundary."""
    cases = []
    for n in BOUNDARY_SIZES:
        cases += ["s" * n, b"\xff" * n, [None] * n,
                  rc.Map((rc.Int32(i), i % 2 == 0) for i in range(n))]
        cases += [array.array(code, range(n)) for code in "iqdf"]
    return cases


class ShuffledWriter(rc.Writer):
    """Writes map entries in random order, some followed by a duplicate key
    with another value, which a decoder must drop."""

    def __init__(self, rng: random.Random):
        super().__init__()
        self.rng = rng

    def write_map(self, entries):
        entries = list(entries)
        self.rng.shuffle(entries)
        wire: List[Tuple[Any, Any]] = []
        for key, value in entries:
            wire.append((key, value))
            if self.rng.random() < 0.1:
                wire.append((key, "duplicate"))
        super().write_map(wire)


def shuffled(rng: random.Random, write) -> bytes:
    writer = ShuffledWriter(rng)
    write(writer)
    return writer.bytes()


def build_records(seed: int, count: int):
    """(kind, bytes sent to C++, expected bytes, expected decoded form) per case."""
    rng = random.Random(seed)
    gen = Generator(rng)
    records = []
    values = alignment_cases() + boundary_cases()
    systematic = len(values)
    while len(values) < systematic + count:
        values.append(gen.deep_chain() if rng.random() < 0.01 else gen.value())
    for value in values:
        expected = rc.encode_value(value)
        sent = shuffled(rng, lambda w: w.write_value(value)) if rng.random() < 0.5 else expected
        records.append(("v", sent, expected, value))
    for _ in range(count // 10):
        name, arguments = gen.text(), gen.value()
        records.append(("c", rc.encode_method_call(name, arguments),
                        rc.encode_method_call(name, arguments), rc.MethodCall(name, arguments)))
        result = gen.value()
        records.append(("e", rc.encode_success_envelope(result),
                        rc.encode_success_envelope(result), rc.Success(result)))
        code, message, details = gen.text(), gen.text(), gen.value()
        records.append(("e", rc.encode_error_envelope(code, message, details),
                        rc.encode_error_envelope(code, message, details),
                        rc.Error(code, message, details)))
    return records


def decode_as(kind: str, data: bytes):
    if kind == "v":
        return rc.decode_value(data)
    if kind == "c":
        return rc.decode_method_call(data)
    return rc.decode_envelope(data)


def same_decoded(a, b) -> bool:
    if isinstance(a, tuple) and isinstance(b, tuple):
        return type(a) is type(b) and all(rc.identical(x, y) for x, y in zip(a, b))
    return rc.identical(a, b)


def run_tool(tool: str, records) -> List[bytes]:
    request = bytearray()
    for kind, sent, _, _ in records:
        request += kind.encode() + struct.pack("<I", len(sent)) + sent
    done = subprocess.run([tool], input=bytes(request), capture_output=True, check=False)
    if done.returncode != 0 or done.stderr:
        sys.exit(f"codec tool failed (exit {done.returncode}):\n{done.stderr.decode(errors='replace')[:2000]}")
    out, replies = done.stdout, []
    while out:
        length = struct.unpack("<I", out[:4])[0]
        replies.append(out[4:4 + length])
        out = out[4 + length:]
    return replies


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool")
    parser.add_argument("--seed", type=int, default=20261206)
    parser.add_argument("--count", type=int, default=10000)
    args = parser.parse_args()
    sys.setrecursionlimit(20000)

    records = build_records(args.seed, args.count)
    replies = run_tool(args.tool, records)
    if len(replies) != len(records):
        print(f"seed {args.seed}: {len(records)} records sent, {len(replies)} answered")
        return 1
    failures = 0
    for index, ((kind, sent, expected, decoded), reply) in enumerate(zip(records, replies)):
        problem = None
        if reply != expected:
            problem = f"C++ wrote {reply[:64].hex()}..., reference {expected[:64].hex()}..."
        elif not same_decoded(decode_as(kind, reply), decoded):
            problem = "reference decoder read the C++ bytes back to a different value"
        if problem:
            failures += 1
            if failures <= 5:
                print(f"seed {args.seed}, record {index} ({kind}), sent {sent[:64].hex()}...: {problem}")
    counts = {k: sum(1 for r in records if r[0] == k) for k in "vce"}
    print(f"seed {args.seed}: {counts['v']} values ({args.count} random), "
          f"{counts['c']} method calls, "
          f"{counts['e']} envelopes; {failures} disagreements")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
