#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora from the codec's byte tables."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

VALUES = [
    "00", "01", "02", "03 05 00 00 00", "03 FE FF FF FF",
    "04 FF FF FF FF FF FF FF FF",
    "06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F",
    "07 02 68 69", "07 00", "05 02 41 42", "08 02 01 02",
    "09 02 00 00 01 00 00 00 02 00 00 00", "09 00 00 00",
    "0A 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00",
    "0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F",
    "0E 01 00 00 00 00 80 3F", "0C 02 00 02",
    "0C 01 06 00 00 00 00 00 00 00 00 00 00 00 E0 3F",
    "0C 03 01 09 00 03 07 00 00 00", "0D 01 07 01 61 01",
    "0D 02 07 01 61 03 01 00 00 00 07 01 61 03 02 00 00 00",
    "0C 02 0F 01", "07 05 41 42", "07 FE 2C 01",
]
CALLS = [
    "07 01 6D 00", "07 01 6D 0D 01 07 01 61 01", "07 01 6D 00 FF",
    "05 01 6D 00", "07 01 6D", "03 01 00 00 00",
    # getCertificate with its two arguments
    "07 0E 67 65 74 43 65 72 74 69 66 69 63 61 74 65 0D 02 07 0B 63 65 72 "
    "74 69 66 69 63 61 74 65 08 02 30 00 07 08 70 61 73 73 77 6F 72 64 07 00",
]
ENVELOPES = [
    "00 00", "00 01", "01 07 01 45 00 00",
    "01 07 01 45 07 03 62 61 64 03 01 00 00 00", "01 07 00 00 00", "02",
    "00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F",
]


def write(target, rows):
    folder = os.path.join(HERE, "seeds", target)
    os.makedirs(folder, exist_ok=True)
    for i, row in enumerate(rows):
        with open(os.path.join(folder, "seed-%02d" % i), "wb") as out:
            out.write(bytes(int(b, 16) for b in row.split()))


write("fuzz_codec_round_trip", VALUES)
write("fuzz_decode_method_call", CALLS + VALUES)
write("fuzz_decode_response_envelope", ENVELOPES)
def size(n):
    if n < 254:
        return bytes([n])
    if n <= 0xFFFF:
        return bytes([254]) + n.to_bytes(2, "little")
    return bytes([255]) + n.to_bytes(4, "little")


def text(value):
    data = value.encode()
    return b"\x07" + size(len(data)) + data


def certificate_call(container, password):
    with open(container, "rb") as f:
        data = f.read()
    return (text("getCertificate") + b"\x0d\x02" + text("certificate") +
            b"\x08" + size(len(data)) + data + text("password") + text(password))


write("fuzz_plugin_message", CALLS)
fixture = os.path.join(HERE, "..", "tests", "windows", "fixtures", "modern-aes.p12")
with open(os.path.join(HERE, "seeds", "fuzz_plugin_message", "seed-real"), "wb") as out:
    out.write(certificate_call(fixture, "secret"))
