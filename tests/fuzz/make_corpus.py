#!/usr/bin/env python3
"""Writes the seed corpus of the host-calls fuzz target into tests/fuzz/corpus/.

Each seed is a short sequence of host calls in the target's input grammar (see HostCallsFuzzer.cpp); the
fuzzer mutates them from there. The files are committed; rerun this script only when the grammar changes.
"""
import pathlib
import struct

DISPATCH, SET_PARAMETER, GET_PARAMETER, REPLACING, ACCUMULATING = range(5)
# Opcodes by number.
CLOSE, SET_PROGRAM, SET_PROGRAM_NAME, GET_PROGRAM_NAME = 1, 2, 4, 5
SET_SAMPLE_RATE, SET_BLOCK_SIZE, MAINS_CHANGED = 10, 11, 12
GET_PROGRAM_NAME_INDEXED, VENDOR_SPECIFIC, CAN_DO = 29, 50, 51
TEXT_OPCODES = (4, 27, 51)
TEXT_ANSWERS = (5, 6, 7, 8, 29, 45, 47, 48)
# Channel shapes.
RAW, SCALED_BYTES, SINE, CONSTANT, ONE_SAMPLE, SAME_AS_FIRST = range(6)
# Entries of the target's table of special floats.
NAN, INF, NEG_INF = 0xE0, 0xE1, 0xE2
RATE_44100, RATE_96000 = 0xE0 + 18, 0xE0 + 20
METER_QUERY = 0xF4


def number(n):
    """A small integer (-32 to 159), any 32-bit one, or an entry of the target's table given as bytes."""
    if isinstance(n, bytes):
        return n
    if -32 <= n < 160:
        return bytes([n + 32])
    return bytes([0xC0]) + struct.pack("<i", n)


def real(hundredths):
    """A value in steps of 0.01 from 0 to 1.27."""
    return bytes([hundredths])


def command(kind, instance=0):
    return bytes([kind << 1 | instance])


def dispatch(opcode, index=0, value=0, opt=real(0), text=b"", instance=0):
    out = command(DISPATCH, instance) + bytes([opcode]) + number(index) + number(value) + opt
    if opcode in TEXT_OPCODES:
        out += bytes([len(text)]) + text
    return out


def set_parameter(index, hundredths, instance=0):
    return command(SET_PARAMETER, instance) + bytes([index]) + real(hundredths)


def block(frames, first, second=bytes([SAME_AS_FIRST]), accumulate=False, in_place=False, instance=0):
    size = bytes([frames]) if frames < 200 else bytes([200]) + struct.pack("<H", frames)
    out = command(ACCUMULATING if accumulate else REPLACING, instance) + size
    out += bytes([1 if accumulate else int(in_place)])
    return out + first + second


def sine(hundredths, period):
    return bytes([SINE]) + real(hundredths) + bytes([period])


def raw(*samples):
    return bytes([RAW]) + b"".join(struct.pack("<f", s) for s in samples)


def host_start(instance=0):
    return (dispatch(SET_SAMPLE_RATE, opt=bytes([RATE_44100]), instance=instance)
            + dispatch(SET_BLOCK_SIZE, value=512, instance=instance)
            + dispatch(MAINS_CHANGED, value=1, instance=instance))


SEEDS = {
    "limiting": host_start() + set_parameter(0, 100) + block(1000, sine(100, 40))
    + set_parameter(1, 0) + set_parameter(4, 100) + block(1000, sine(127, 7), sine(50, 90))
    + set_parameter(2, 100) + set_parameter(3, 0) + block(1000, sine(127, 3), accumulate=True),
    "texts": b"".join(dispatch(opcode, index) for opcode in TEXT_ANSWERS for index in (-1, 0, 3, 5, 6, 30, 31))
    + set_parameter(3, 127) + set_parameter(0, 127) + command(GET_PARAMETER) + number(3),
    "bypass": host_start() + set_parameter(5, 100) + block(4, raw(1.0, float("nan"), float("inf"), -2.0))
    + block(120, bytes([CONSTANT, NAN])) + block(60, sine(80, 20)) + set_parameter(5, 49)
    + block(60, bytes([CONSTANT, NEG_INF]), in_place=True),
    "gate": host_start() + block(90, bytes([ONE_SAMPLE]) + struct.pack("<H", 3) + real(1))
    + block(45, bytes([SCALED_BYTES]) + real(1) + bytes(range(0, 90, 2))) + block(0, bytes([SAME_AS_FIRST]))
    + dispatch(MAINS_CHANGED, value=0) + block(50, sine(1, 5), accumulate=True),
    "lifecycle": host_start(1) + dispatch(SET_PROGRAM, value=21) + dispatch(SET_PROGRAM_NAME, text=b"x" * 40)
    + dispatch(GET_PROGRAM_NAME) + dispatch(SET_SAMPLE_RATE, opt=bytes([RATE_96000]), instance=1)
    + block(300, sine(100, 64), instance=1) + dispatch(CLOSE) + dispatch(SET_PROGRAM, value=30)
    + block(300, sine(90, 11)) + dispatch(VENDOR_SPECIFIC, bytes([METER_QUERY]), 8),
    "opcodes": b"".join(dispatch(opcode, text=b"bypass") for opcode in range(77) if opcode != CLOSE)
    + dispatch(CAN_DO, text=b"receiveVstEvents") + dispatch(GET_PROGRAM_NAME_INDEXED, 30, 5),
}


def main():
    folder = pathlib.Path(__file__).resolve().parent / "corpus"
    folder.mkdir(exist_ok=True)
    for name, data in SEEDS.items():
        (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
