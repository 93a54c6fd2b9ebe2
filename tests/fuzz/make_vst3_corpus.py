#!/usr/bin/env python3
"""Writes the seed corpus of the VST3 fuzz target into tests/fuzz/vst3-corpus/ (grammar in Vst3Fuzzer.cpp).

The files are committed; rerun this script only when the grammar changes.
"""
import math
import pathlib

PROCESS, SET_VALUE, LOAD_BLOB, LOAD_MUTATED_STATE, TEXTS, REACTIVATE = range(6)
NAN, INFINITY = 0, 1
PROGRAM = 8  # the id byte that names the program parameter


def word(n):
    return bytes([n & 0xFF, n >> 8 & 0xFF, n >> 16 & 0xFF])


def value(v):
    """A value of the target's table (an index below 12) or v in 0.005 steps from -0.1."""
    return bytes([v]) if isinstance(v, int) else bytes([12, round((v + 0.1) * 200)])


def queues(*queue_list):
    out = bytes([len(queue_list)])
    for parameter, points in queue_list:
        out += bytes([parameter, len(points)])
        for offset, v, shape in points:
            out += bytes([shape]) + word(offset) + value(v)
    return out


def process(frames, queue_list=(), in_place=False, channels=2):
    samples = bytes(128 + int(120 * math.sin(i / 7.0)) for i in range(frames * channels))
    return bytes([PROCESS]) + word(frames) + bytes([in_place]) + samples + queues(*queue_list)


SEEDS = {
    "automation": process(512, [(0, [(100, 0.4, 0), (300, 0.2, 0)]), (6, [(400, 1.0, 0), (9000, 0.0, 0)])])
    + process(512),
    "malformed": process(256, [(0, [(200, 0.3, 1), (50, 0.9, 2)]), (9, [(60, 0.1, 0)]), (3, [(70, NAN, 0)])],
                         in_place=True),
    "state": bytes([LOAD_MUTATED_STATE, 3, 1]) + word(10) + bytes([2, 40]) + bytes([LOAD_BLOB, 1, 1]) + b"QV3S"
    + process(64),
    "programs": bytes([SET_VALUE, PROGRAM]) + value(0.5) + process(128, [(PROGRAM, [(0, 0.1, 0)])])
    + bytes([TEXTS, PROGRAM]) + value(0.2) + bytes([9]) + b"+3dB Maxi" + bytes([REACTIVATE]) + word(48000),
}

corpus = pathlib.Path(__file__).resolve().parent / "vst3-corpus"
corpus.mkdir(exist_ok=True)
for name, seed in SEEDS.items():
    (corpus / name).write_bytes(seed)
