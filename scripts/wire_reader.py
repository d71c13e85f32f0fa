"""Reads the discovery channel's messages from the bytes that the stand-in
engine's transcript records: method calls from the Dart side, and the success
and error envelopes that answer them or carry the stream's events.

Only the values those messages hold are understood: null, bools, 32- and
64-bit integers, strings, lists and maps with null, bool, integer or string
keys. Anything else, truncated input, a repeated map key or bytes left over
raise DecodeError, so a reader never mistakes a malformed message for a
well-formed one. Standard library only; used by scripts/transcript.py, the
one reader of the transcript.
"""

import struct
from collections import namedtuple

CONSTANTS = {0: None, 1: True, 2: False}
INT32, INT64, ALT_STRING, STRING, LIST, MAP = 3, 4, 5, 7, 12, 13


class DecodeError(ValueError):
    """The bytes are not a message this reader understands."""


MethodCall = namedtuple("MethodCall", "method arguments")
Success = namedtuple("Success", "result")
Error = namedtuple("Error", "code message details")


class _Reader:
    def __init__(self, data):
        self.data = bytes(data)
        self.position = 0

    def take(self, count):
        end = self.position + count
        if end > len(self.data):
            raise DecodeError(f"{count} bytes wanted at {self.position}, {len(self.data) - self.position} left")
        chunk = self.data[self.position:end]
        self.position = end
        return chunk

    def size(self):
        first = self.take(1)[0]
        if first < 254:
            return first
        return struct.unpack("<H" if first == 254 else "<I", self.take(2 if first == 254 else 4))[0]

    def value(self):
        tag = self.take(1)[0]
        if tag in CONSTANTS:
            return CONSTANTS[tag]
        if tag == INT32:
            return struct.unpack("<i", self.take(4))[0]
        if tag == INT64:
            return struct.unpack("<q", self.take(8))[0]
        if tag in (STRING, ALT_STRING):
            try:
                return self.take(self.size()).decode("utf-8")
            except UnicodeDecodeError as error:
                raise DecodeError(f"string is not UTF-8: {error}") from None
        if tag == LIST:
            return [self.value() for _ in range(self.size())]
        if tag == MAP:
            entries = {}
            for _ in range(self.size()):
                key = self.value()
                if isinstance(key, (list, dict)) or key in entries:
                    raise DecodeError(f"map key {key!r} is a container or repeated")
                entries[key] = self.value()
            return entries
        raise DecodeError(f"tag {tag} at {self.position - 1} is not understood here")

    def end(self, result):
        if self.position != len(self.data):
            raise DecodeError(f"{len(self.data) - self.position} bytes left over")
        return result


def decode_method_call(data) -> MethodCall:
    reader = _Reader(data)
    method = reader.value()
    if not isinstance(method, str):
        raise DecodeError("the method name is not a string")
    return reader.end(MethodCall(method, reader.value()))


def decode_envelope(data):
    """Success(result) or Error(code, message, details); a null message reads as ""."""
    reader = _Reader(data)
    kind = reader.take(1)[0]
    if kind == 0:
        return reader.end(Success(reader.value()))
    if kind != 1:
        raise DecodeError(f"unknown envelope byte {kind}")
    code, message, details = reader.value(), reader.value(), reader.value()
    if not isinstance(code, str) or not (message is None or isinstance(message, str)):
        raise DecodeError("the error's code or message is not a string")
    return reader.end(Error(code, message or "", details))
