#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/seeds/<target>/.

Seeds come from the example files in examples/: whole files (behind the four
settings bytes the engine targets read first), the packed score sequence of
the compressed example for the codec, and short settings and argument sets
for the settings target. A few damaged variants (truncated, a length field
of 0xFFFFFFFF) start the fuzzer near the checks that guard the walks. Two
small TAVI files have the shapes whose converted form must convert again:
signature tags in CNTI, and an audio volume inserted at the start point.

Usage: python3 tools/make_fuzz_seeds.py
"""
import glob
import os
import struct

from make_examples import chunk, contents_info, points, short_form, tavi_file, vq35_track

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEEDS = os.path.join(ROOT, "fuzz", "seeds")

# Settings prefixes: relative -6 dB; absolute values with chorus regulation;
# relative +3 dB with every channel given.
SETTINGS = [bytes([0x00, 0xF4, 100, 90]), bytes([0xFF, 0x00, 18, 64]), bytes([0xFC, 0x06, 127, 20])]


def write(target, name, data):
    folder = os.path.join(SEEDS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def variants(data):
    yield "whole", data
    yield "cut", data[: len(data) * 2 // 3]
    # The first length field after the file id says 0xFFFFFFFF.
    yield "huge", data[:4] + b"\xff\xff\xff\xff" + data[8:]


def sub_chunk_bodies(data, ident):
    at = 0
    while True:
        at = data.find(ident, at)
        if at < 0 or at + 8 > len(data):
            return
        (length,) = struct.unpack(">I", data[at + 4 : at + 8])
        if at + 8 + length <= len(data):
            yield data[at + 8 : at + 8 + length]
        at += 1


def reconversion_shapes():
    # A VQ-3 file without OPDA whose signature lives in CNTI.
    yield "again-vq3-cnti-a0", tavi_file(contents_info(b"ST:Again,A0:ABCDEF,"), vq35_track(5, 100))
    # A wave before the start point and a start-point event of five ticks: the
    # converted track has its new volume at the start point.
    seq = short_form(0) + b"\x01" + short_form(40) + short_form(5) + b"\x02" + short_form(1)
    seq += short_form(0) + b"\x00\x00\x00"
    header = bytes([0x00, 0x00, 0x00, 0x00, 0x02, 0x02])
    track = chunk(b"ATR\x00", header + chunk(b"AspI", points(3, len(seq))) + chunk(b"Atsq", seq))
    yield "again-vq2-audio-start", tavi_file(contents_info(b"ST:Again,A0:ABCDEF,"), track)


def main():
    examples = sorted(glob.glob(os.path.join(ROOT, "examples", "*")))
    for path in examples:
        base, ext = os.path.splitext(os.path.basename(path))
        with open(path, "rb") as f:
            data = f.read()
        if ext == ".mmf":
            for i, (kind, body) in enumerate(variants(data)):
                write("tavi_convert_fuzz", f"{base}-{kind}", SETTINGS[i % len(SETTINGS)] + body)
            for n, packed in enumerate(sub_chunk_bodies(data, b"Mtsq")):
                # A packed body starts with its plain length; plain sequences start otherwise.
                if len(packed) > 4 and packed[0] == 0 and struct.unpack(">I", packed[:4])[0] < 1 << 16:
                    write("huffman_decode_fuzz", f"{base}-{n}", packed)
        elif ext == ".mld":
            for i, (kind, body) in enumerate(variants(data)):
                write("mfi_engine_fuzz", f"{base}-{kind}", SETTINGS[i % len(SETTINGS)] + body)
                write("mfi_roundtrip_fuzz", f"{base}-{kind}", body)
    for name, data in reconversion_shapes():
        write("tavi_convert_fuzz", name, SETTINGS[0] + data)
    settings = [
        b"\x00[SETTING]\r\nTARGET_FILE=0\r\nDB_VALUE=-3.0\r\nMV_VALUE=100\r\nMG_VALUE=-9.0\r\n"
        b"\x00-i\x00a\x00-o\x00d\x00-db\x00-6.5\x00-l\x00g",
        b"\x01\xef\xbb\xbf[setting]\nCV_VALUE1=40\nCV_VALUE_ADPCM=63\n[other]\nX=1"
        b"\x00-I\x00b\x00-O\x00e\x00-MG\x00-3.5\x00-c3\x0050\x00-e\x00-h\x00-v",
        b"\x00 [ SETTING ] \nDB_VALUE = 70 \n\x00-i\x00" + b"p" * 260 + b"\x00-mv\x0090",
    ]
    for n, seed in enumerate(settings):
        write("settings_fuzz", f"args-{n}", seed)


if __name__ == "__main__":
    main()
