"""The reference codec against known wire vectors, ordering and strictness.

The integration tests read transcripts with it, so it has to be right on its
own, not merely agree with the C++ codec.
"""

from array import array

import pytest

from reference_codec import (DecodeError, Error, Int32, Int64, Map, MethodCall, Success,
                             decode_envelope, decode_method_call, decode_value,
                             encode_error_envelope, encode_method_call,
                             encode_success_envelope, encode_value, identical, less)

WIRE = [
    (None, "00"),
    (True, "01"),
    (False, "02"),
    (Int32(-1), "03 ff ff ff ff"),
    (-1, "03 ff ff ff ff"),
    (Int64(1), "04 01 00 00 00 00 00 00 00"),
    (1 << 40, "04 00 00 00 00 00 01 00 00"),
    (1.0, "06 00 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f"),
    ("abc", "07 03 61 62 63"),
    ("", "07 00"),
    ("x" * 300, "07 fe 2c 01" + " 78" * 300),
    (b"\x01\x02", "08 02 01 02"),
    (array("i", [1]), "09 01 00 00 01 00 00 00"),
    (array("i"), "09 00 00 00"),
    (array("f", [1.0]), "0e 01 00 00 00 00 80 3f"),
    (array("q", [-2]), "0a 01 00 00 00 00 00 00 fe ff ff ff ff ff ff ff"),
    (array("d", [0.5]), "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 e0 3f"),
    ([True, None], "0c 02 01 00"),
    ({"a": True}, "0d 01 07 01 61 01"),
    (Map([(Int32(2), "x"), (Int32(1), "y")]),
     "0d 02 03 01 00 00 00 07 01 79 03 02 00 00 00 07 01 78"),
    ([1.0], "0c 01 06 00 00 00 00 00 00 00 00 00 00 00 f0 3f"),
]


@pytest.mark.parametrize("value,hex_bytes", WIRE)
def test_wire_vectors(value, hex_bytes):
    data = bytes.fromhex(hex_bytes)
    assert encode_value(value) == data
    assert encode_value(decode_value(data)) == data


@pytest.mark.parametrize("size,field", [
    (253, "fd"), (254, "fe fe 00"), (65535, "fe ff ff"), (65536, "ff 00 00 01 00"),
])
def test_size_forms(size, field):
    assert encode_value(b"\0" * size)[1:].startswith(bytes.fromhex(field))
    assert encode_value([None] * size) == bytes.fromhex("0c" + field) + b"\0" * size


def test_envelopes_and_calls():
    event = {"ip": "192.168.1.5", "success": True}
    assert encode_success_envelope(event).hex() == (
        "000d0207026970070b3139322e3136382e312e3507077375636365737301")
    assert encode_success_envelope(1.0).hex() == "0006" + "00" * 12 + "f03f"
    assert encode_error_envelope("e").hex() == "010701650000"
    assert encode_error_envelope("", "m", True).hex() == "01070007016d01"
    assert encode_method_call("listen").hex() == "07066c697374656e00"
    assert decode_method_call(bytes.fromhex("07066c697374656e00")) == MethodCall("listen", None)
    assert decode_envelope(bytes.fromhex("00070161")) == Success("a")
    assert decode_envelope(bytes.fromhex("010701630000")) == Error("c", "", None)


def test_decoded_types_keep_their_kind():
    assert type(decode_value(encode_value(Int64(1)))) is Int64
    assert type(decode_value(encode_value(1))) is Int32
    raw = b"a\0\xff\xc3\xa9"
    text = decode_value(bytes([7, len(raw)]) + raw)
    assert encode_value(text)[2:] == raw


def test_ordering():
    assert less(Int32(5), Int64(1))
    assert less(False, True) and less(True, Int32(-5))
    assert less("ab", "abc") and less("\x7f", "\udc80")
    assert less({"a": 1}, {"b": 0}) and less({"a": 1}, {"a": 2})
    assert less(Map(), array("f"))
    assert not less(float("nan"), 1.0) and not less(1.0, float("nan"))
    assert len(Map([(Int32(1), "a"), (Int64(1), "b"), ("k", 1), ("k", 2)])) == 3
    assert Map([("k", 1), ("k", 2)])["k"] == 1


def test_identical_is_strict():
    assert identical([float("nan")], [float("nan")])
    assert not identical(Int32(1), Int64(1))
    assert not identical(0.0, -0.0)
    assert identical(Map([("a", [1])]), {"a": [Int32(1)]})


@pytest.mark.parametrize("hex_bytes", ["", "03 01 02", "07 05 61", "0f", "0c 02 01", "00 00",
                                       "0d ff ff ff ff ff"])
def test_malformed_input_raises(hex_bytes):
    with pytest.raises(DecodeError):
        decode_value(bytes.fromhex(hex_bytes))
