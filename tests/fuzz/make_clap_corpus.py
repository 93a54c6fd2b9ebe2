#!/usr/bin/env python3
"""Writes the seed corpus of the CLAP fuzz target into tests/fuzz/clap-corpus/ (grammar in ClapFuzzer.cpp).

The files are committed; rerun this script only when the grammar changes.
"""
import math
import pathlib

PROCESS, FLUSH, LOAD_BLOB, LOAD_MUTATED_STATE, LOAD_PRESET, TEXTS, RESET, REACTIVATE = range(8)
PARAM_VALUE_SHAPE = 5 << 2  # core space, full size, CLAP_EVENT_PARAM_VALUE
NAN, INFINITY = 0, 1


def word(n):
    return bytes([n & 0xFF, n >> 8 & 0xFF, n >> 16 & 0xFF])


def value(v):
    """A value of the target's table (an index below 16) or v in 0.02 steps from -0.5."""
    return bytes([v]) if isinstance(v, int) else bytes([16, round((v + 0.5) * 50)])


def events(*changes):
    out = bytes([len(changes)])
    for time, parameter, v in changes:
        out += bytes([PARAM_VALUE_SHAPE]) + word(time) + bytes([0, parameter]) + value(v)
    return out


def process(frames, changes=(), in_place=False, channels=2):
    samples = bytes(128 + int(120 * math.sin(i / 7.0)) for i in range(frames * channels))
    return bytes([PROCESS]) + word(frames) + bytes([in_place]) + samples + events(*changes)


SEEDS = {
    "automation": process(512, [(100, 0, 0.4), (300, 1, 0.2), (400, 2, 1.0), (9000, 6, 1.0)]) + process(512),
    "unordered": process(256, [(200, 0, 0.3), (50, 5, 4.0), (60, 9, 0.1), (70, 3, NAN)], in_place=True),
    "state": bytes([LOAD_MUTATED_STATE, 3, 1, 10, 2, 40]) + bytes([LOAD_BLOB, 1, 1]) + b"QV3S" + process(64),
    "presets": bytes([LOAD_PRESET, 1]) + b"5" + bytes([1, TEXTS, 3, 16]) + value(0.5) + bytes([4]) + b"-1.5"
    + bytes([RESET, REACTIVATE]) + word(48000) + process(128),
}

corpus = pathlib.Path(__file__).resolve().parent / "clap-corpus"
corpus.mkdir(exist_ok=True)
for name, seed in SEEDS.items():
    (corpus / name).write_bytes(seed)
