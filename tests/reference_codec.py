"""Reference implementation of the standard message codec, in plain Python.

Used by the tests to build the bytes that rivelo exchanges with the Dart side
and to read them back (stand-in engine transcripts, differential tests),
independently of the C++ codec under test. Standard library only.

Values
------
    None                      null
    True / False              bool
    Int32(n), Int64(n)        32- and 64-bit integers (int subclasses); a plain
                              int is written as Int32 when it fits, else Int64
    float                     double
    str                       string; its UTF-8 bytes go on the wire. Bytes that
                              are not UTF-8 decode as lone surrogates
                              ('surrogateescape'), so every byte string round-trips
    bytes / bytearray         byte vector
    array('i'), array('q')    32- and 64-bit integer vectors
    array('d'), array('f')    double and float vectors
    list / tuple              list
    Map / dict                map; see Map for key order and duplicate keys

Decoding returns Int32/Int64, str, bytes, the four array types, list and Map,
so that a decoded value encodes back to the same bytes.

Functions
---------
    encode_value(value) -> bytes           decode_value(data) -> value
    encode_method_call(name, args=None)    decode_method_call(data) -> MethodCall
    encode_success_envelope(result=None)   decode_envelope(data) -> Success | Error
    encode_error_envelope(code, message="", details=None)
    less(a, b), compare(a, b)              the total ordering of values
    identical(a, b)                        same kind and contents (floats by bits)

Decoding is strict: truncated input, an unknown tag or bytes left over raise
DecodeError. Writer and Reader expose the single-value operations for callers
that need to lay out bytes themselves.
"""

import array
import functools
import struct
from typing import Any, Iterable, List, NamedTuple, Optional, Tuple

__all__ = [
    "Int32", "Int64", "Map", "MethodCall", "Success", "Error", "DecodeError",
    "Writer", "Reader", "encode_value", "decode_value", "encode_method_call",
    "decode_method_call", "encode_success_envelope", "encode_error_envelope",
    "decode_envelope", "less", "compare", "identical", "kind_of",
]

# Wire tags.
NULL, TRUE, FALSE, INT32, INT64, ALT_STRING, FLOAT64, STRING = range(8)
UINT8_LIST, INT32_LIST, INT64_LIST, FLOAT64_LIST, LIST, MAP, FLOAT32_LIST = range(8, 15)

# Kinds, in the order the ordering ranks them.
(K_NULL, K_BOOL, K_INT32, K_INT64, K_DOUBLE, K_STRING, K_BYTES, K_INT32_VECTOR,
 K_INT64_VECTOR, K_DOUBLE_VECTOR, K_LIST, K_MAP, K_CUSTOM, K_FLOAT_VECTOR) = range(14)

INT32_MIN, INT32_MAX = -(1 << 31), (1 << 31) - 1
INT64_MIN, INT64_MAX = -(1 << 63), (1 << 63) - 1
MAX_SIZE = 0xFFFFFFFF

# array typecode -> (kind, tag, element width)
_VECTORS = {
    "i": (K_INT32_VECTOR, INT32_LIST, 4),
    "q": (K_INT64_VECTOR, INT64_LIST, 8),
    "d": (K_DOUBLE_VECTOR, FLOAT64_LIST, 8),
    "f": (K_FLOAT_VECTOR, FLOAT32_LIST, 4),
}
_VECTOR_TAGS = {tag: code for code, (_, tag, _) in _VECTORS.items()}
for _code, (_, _, _width) in _VECTORS.items():
    assert array.array(_code).itemsize == _width, "unexpected array item size"


class DecodeError(ValueError):
    """The bytes are not a well-formed message."""


class Int32(int):
    """A 32-bit integer value."""

    def __new__(cls, value: int = 0):
        if not INT32_MIN <= value <= INT32_MAX:
            raise OverflowError(f"{value} does not fit 32 bits")
        return super().__new__(cls, value)

    def __repr__(self):
        return f"Int32({int(self)})"


class Int64(int):
    """A 64-bit integer value."""

    def __new__(cls, value: int = 0):
        if not INT64_MIN <= value <= INT64_MAX:
            raise OverflowError(f"{value} does not fit 64 bits")
        return super().__new__(cls, value)

    def __repr__(self):
        return f"Int64({int(self)})"


def kind_of(value: Any) -> int:
    """The kind (0..13, as ranked by the ordering) of a value."""
    if value is None:
        return K_NULL
    if isinstance(value, bool):
        return K_BOOL
    if isinstance(value, Int32):
        return K_INT32
    if isinstance(value, Int64):
        return K_INT64
    if isinstance(value, int):
        return K_INT32 if INT32_MIN <= value <= INT32_MAX else K_INT64
    if isinstance(value, float):
        return K_DOUBLE
    if isinstance(value, str):
        return K_STRING
    if isinstance(value, (bytes, bytearray)):
        return K_BYTES
    if isinstance(value, array.array):
        if value.typecode not in _VECTORS:
            raise TypeError(f"array typecode {value.typecode!r} has no wire form")
        return _VECTORS[value.typecode][0]
    if isinstance(value, (list, tuple)):
        return K_LIST
    if isinstance(value, (Map, dict)):
        return K_MAP
    raise TypeError(f"{type(value).__name__} has no wire form")


def _text_bytes(text: str) -> bytes:
    return text.encode("utf-8", "surrogateescape")


def _cmp_numbers(a, b) -> int:
    # A NaN is neither less nor greater than anything.
    return -1 if a < b else (1 if b < a else 0)


def _cmp_sequences(a: Iterable, b: Iterable, cmp) -> int:
    for x, y in zip(a, b):
        result = cmp(x, y)
        if result:
            return result
    return _cmp_numbers(len(a), len(b))


def compare(a: Any, b: Any) -> int:
    """-1, 0 or 1 under the total ordering of values (0: equivalent keys)."""
    ka, kb = kind_of(a), kind_of(b)
    if ka != kb:
        return _cmp_numbers(ka, kb)
    if ka == K_NULL:
        return 0
    if ka in (K_BOOL, K_INT32, K_INT64, K_DOUBLE):
        return _cmp_numbers(a, b)
    if ka == K_STRING:
        return _cmp_numbers(_text_bytes(a), _text_bytes(b))
    if ka == K_BYTES:
        return _cmp_numbers(bytes(a), bytes(b))
    if ka in (K_INT32_VECTOR, K_INT64_VECTOR, K_DOUBLE_VECTOR, K_FLOAT_VECTOR):
        return _cmp_sequences(a, b, _cmp_numbers)
    if ka == K_LIST:
        return _cmp_sequences(a, b, compare)
    return _cmp_sequences(_entries(a), _entries(b), _cmp_entries)


def _cmp_entries(a: Tuple[Any, Any], b: Tuple[Any, Any]) -> int:
    return compare(a[0], b[0]) or compare(a[1], b[1])


def less(a: Any, b: Any) -> bool:
    """The strict ordering under which maps keep their keys."""
    return compare(a, b) < 0


class Map:
    """A map of values with keys of any kind, kept in ascending key order.

    Keys are unique under the ordering: of several equivalent keys given to
    the constructor the first one and its value are kept. (A dict cannot
    serve: Python's True, 1 and 1.0 are one key there, three keys here.)
    """

    def __init__(self, entries: Iterable[Tuple[Any, Any]] = ()):
        ordered = sorted(entries, key=functools.cmp_to_key(lambda x, y: compare(x[0], y[0])))
        self._entries: List[Tuple[Any, Any]] = []
        for key, value in ordered:  # sorted() is stable: the first stays first
            if self._entries and compare(self._entries[-1][0], key) == 0:
                continue
            self._entries.append((key, value))

    def items(self) -> List[Tuple[Any, Any]]:
        return list(self._entries)

    def keys(self) -> List[Any]:
        return [key for key, _ in self._entries]

    def __len__(self):
        return len(self._entries)

    def __iter__(self):
        return iter(self.keys())

    def __getitem__(self, key):
        for candidate, value in self._entries:
            if compare(candidate, key) == 0:
                return value
        raise KeyError(key)

    def get(self, key, default=None):
        try:
            return self[key]
        except KeyError:
            return default

    def __contains__(self, key):
        return any(compare(candidate, key) == 0 for candidate, _ in self._entries)

    def __eq__(self, other):
        if isinstance(other, dict):
            other = Map(other.items())
        return isinstance(other, Map) and self._entries == other._entries

    def to_dict(self) -> dict:
        """A plain dict, for maps whose keys stay distinct in Python."""
        return dict(self._entries)

    def __repr__(self):
        return f"Map({self._entries!r})"


def _entries(value) -> List[Tuple[Any, Any]]:
    return value.items() if isinstance(value, Map) else Map(value.items()).items()


def identical(a: Any, b: Any) -> bool:
    """Same kind and same contents; floats compare by bit pattern (NaN too)."""
    kind = kind_of(a)
    if kind != kind_of(b):
        return False
    if kind == K_DOUBLE:
        return struct.pack("<d", a) == struct.pack("<d", b)
    if kind in (K_INT32_VECTOR, K_INT64_VECTOR, K_DOUBLE_VECTOR, K_FLOAT_VECTOR):
        return a.tobytes() == b.tobytes()
    if kind == K_STRING:
        return _text_bytes(a) == _text_bytes(b)
    if kind == K_BYTES:
        return bytes(a) == bytes(b)
    if kind == K_LIST:
        return len(a) == len(b) and all(identical(x, y) for x, y in zip(a, b))
    if kind == K_MAP:
        ea, eb = _entries(a), _entries(b)
        return len(ea) == len(eb) and all(
            identical(ka, kb) and identical(va, vb) for (ka, va), (kb, vb) in zip(ea, eb))
    return a == b


class Writer:
    """Appends values to one message; padding counts from the message start."""

    def __init__(self):
        self.buffer = bytearray()

    def bytes(self) -> bytes:
        return bytes(self.buffer)

    def write_byte(self, byte: int) -> None:
        self.buffer.append(byte)

    def write_pad(self, alignment: int) -> None:
        self.buffer.extend(b"\0" * (-len(self.buffer) % alignment))

    def write_size(self, size: int) -> None:
        if size < 254:
            self.buffer.append(size)
        elif size <= 0xFFFF:
            self.buffer.append(254)
            self.buffer += struct.pack("<H", size)
        elif size <= MAX_SIZE:
            self.buffer.append(255)
            self.buffer += struct.pack("<I", size)
        else:
            raise OverflowError(f"size {size} does not fit 32 bits")

    def write_value(self, value: Any) -> None:
        kind = kind_of(value)
        if kind == K_NULL:
            self.write_byte(NULL)
        elif kind == K_BOOL:
            self.write_byte(TRUE if value else FALSE)
        elif kind == K_INT32:
            self.write_byte(INT32)
            self.buffer += struct.pack("<i", value)
        elif kind == K_INT64:
            self.write_byte(INT64)
            self.buffer += struct.pack("<q", value)
        elif kind == K_DOUBLE:
            self.write_byte(FLOAT64)
            self.write_pad(8)
            self.buffer += struct.pack("<d", value)
        elif kind == K_STRING:
            self._write_block(STRING, _text_bytes(value))
        elif kind == K_BYTES:
            self._write_block(UINT8_LIST, bytes(value))
        elif kind == K_LIST:
            self.write_list(value)
        elif kind == K_MAP:
            self.write_map(_entries(value))
        else:
            self.write_vector(value)

    def write_vector(self, vector: array.array) -> None:
        _, tag, width = _VECTORS[vector.typecode]
        self.write_byte(tag)
        self.write_size(len(vector))
        self.write_pad(width)
        self.buffer += _little_endian(vector).tobytes()

    def write_list(self, elements) -> None:
        self.write_byte(LIST)
        self.write_size(len(elements))
        for element in elements:
            self.write_value(element)

    def write_map(self, entries) -> None:
        """Writes the entries in the order given (canonical: ascending keys)."""
        self.write_byte(MAP)
        self.write_size(len(entries))
        for key, value in entries:
            self.write_value(key)
            self.write_value(value)

    def _write_block(self, tag: int, data: bytes) -> None:
        self.write_byte(tag)
        self.write_size(len(data))
        self.buffer += data


def _little_endian(vector: array.array) -> array.array:
    if struct.pack("=H", 1) == struct.pack("<H", 1):
        return vector
    swapped = array.array(vector.typecode, vector)
    swapped.byteswap()
    return swapped


class Reader:
    """Reads values from one message; padding counts from the message start."""

    def __init__(self, data: bytes):
        self.data = bytes(data)
        self.position = 0

    def at_end(self) -> bool:
        return self.position >= len(self.data)

    def read_bytes(self, count: int) -> bytes:
        end = self.position + count
        if end > len(self.data):
            raise DecodeError(f"{count} bytes wanted at {self.position}, "
                              f"{len(self.data) - self.position} left")
        chunk = self.data[self.position:end]
        self.position = end
        return chunk

    def read_byte(self) -> int:
        return self.read_bytes(1)[0]

    def skip_pad(self, alignment: int) -> None:
        self.position += -self.position % alignment

    def read_size(self) -> int:
        first = self.read_byte()
        if first < 254:
            return first
        if first == 254:
            return struct.unpack("<H", self.read_bytes(2))[0]
        return struct.unpack("<I", self.read_bytes(4))[0]

    def read_value(self) -> Any:
        tag = self.read_byte()
        if tag == NULL:
            return None
        if tag in (TRUE, FALSE):
            return tag == TRUE
        if tag == INT32:
            return Int32(struct.unpack("<i", self.read_bytes(4))[0])
        if tag == INT64:
            return Int64(struct.unpack("<q", self.read_bytes(8))[0])
        if tag == FLOAT64:
            self.skip_pad(8)
            return struct.unpack("<d", self.read_bytes(8))[0]
        if tag in (STRING, ALT_STRING):
            return self.read_bytes(self.read_size()).decode("utf-8", "surrogateescape")
        if tag == UINT8_LIST:
            return self.read_bytes(self.read_size())
        if tag in _VECTOR_TAGS:
            code = _VECTOR_TAGS[tag]
            count = self.read_size()
            self.skip_pad(_VECTORS[code][2])
            vector = array.array(code)
            vector.frombytes(self.read_bytes(count * _VECTORS[code][2]))
            return _little_endian(vector)
        if tag == LIST:
            return [self.read_value() for _ in range(self._read_count(1))]
        if tag == MAP:
            count = self._read_count(2)
            return Map((self.read_value(), self.read_value()) for _ in range(count))
        raise DecodeError(f"unknown tag {tag} at {self.position - 1}")

    def _read_count(self, min_bytes_each: int) -> int:
        count = self.read_size()
        if count * min_bytes_each > len(self.data) - self.position:
            raise DecodeError(f"count {count} cannot fit the remaining input")
        return count

    def expect_end(self) -> None:
        if self.position != len(self.data):
            raise DecodeError(f"{len(self.data) - self.position} bytes left over")


class MethodCall(NamedTuple):
    method: str
    arguments: Any


class Success(NamedTuple):
    result: Any


class Error(NamedTuple):
    code: str
    message: str
    details: Any


def encode_value(value: Any) -> bytes:
    writer = Writer()
    writer.write_value(value)
    return writer.bytes()


def decode_value(data: bytes) -> Any:
    reader = Reader(data)
    value = reader.read_value()
    reader.expect_end()
    return value


def encode_method_call(method: str, arguments: Any = None) -> bytes:
    writer = Writer()
    writer.write_value(method)
    writer.write_value(arguments)
    return writer.bytes()


def decode_method_call(data: bytes) -> MethodCall:
    reader = Reader(data)
    method = reader.read_value()
    if not isinstance(method, str):
        raise DecodeError("method name is not a string")
    arguments = reader.read_value()
    reader.expect_end()
    return MethodCall(method, arguments)


def encode_success_envelope(result: Any = None) -> bytes:
    writer = Writer()
    writer.write_byte(0)
    writer.write_value(result)
    return writer.bytes()


def encode_error_envelope(code: str, message: str = "", details: Any = None) -> bytes:
    writer = Writer()
    writer.write_byte(1)
    writer.write_value(str(code))
    writer.write_value(message if message else None)
    writer.write_value(details)
    return writer.bytes()


def decode_envelope(data: bytes):
    """Success(result) or Error(code, message, details); an empty message is ""."""
    reader = Reader(data)
    kind = reader.read_byte()
    if kind == 0:
        envelope = Success(reader.read_value())
    elif kind == 1:
        code, message, details = reader.read_value(), reader.read_value(), reader.read_value()
        if not isinstance(code, str) or not (message is None or isinstance(message, str)):
            raise DecodeError("error envelope code or message is not a string")
        envelope = Error(code, message or "", details)
    else:
        raise DecodeError(f"unknown envelope byte {kind}")
    reader.expect_end()
    return envelope

