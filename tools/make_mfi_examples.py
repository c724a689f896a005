#!/usr/bin/env python3
"""Writes small example MFi melody files (".mld") of every supported version
into examples/: 2.0, 3.0, 3.1 and 4.0.

Each file is built chunk by chunk with every length computed: the data length
covers everything after its field, the header length everything from the
major type to the end of the info sub-chunks, and each "adat" and "trac"
chunk its own bytes. The info sub-chunks come in the order the converter
writes them (sorc, titl, vers, date, copy, prot, note, then auth and supt),
so an unchanged file is written back byte for byte.

What a conversion needs is there: a master volume in track 0 that is not its
last event, a MaxGain block in track 0 from 3.0 on, channel volumes before the
notes they govern, and for 3.1/4.0 the effect settings, selects and sends that
chorus regulation works on.

Usage: python3 tools/make_mfi_examples.py [output directory]
"""
import os
import struct
import sys


def u16(v):
    return struct.pack(">H", v)


def u32(v):
    return struct.pack(">I", v)


class Track:
    """Events of one "trac" chunk; every event starts with its one-byte delta."""

    def __init__(self):
        self.data = b""

    def raw(self, *parts):
        self.data += b"".join(bytes(p) if isinstance(p, (list, tuple)) else p for p in parts)
        return self

    def short(self, delta, a, b):
        return self.raw([delta, 0xFF, a, b])

    def master_volume(self, delta, volume):
        return self.short(delta, 0xB0, volume)

    def tempo(self, delta, code, bpm):
        return self.short(delta, 0xC0 | code, bpm)

    def channel_volume(self, delta, channel, volume):
        return self.short(delta, 0xE2, (channel << 6) | volume)

    def program(self, delta, channel, program):
        return self.short(delta, 0xE0, (channel << 6) | program)

    def nop(self, delta):
        return self.short(delta, 0xDE, 0x00)

    def note(self, delta, channel, key, gate, velocity, octave=1):
        return self.raw([delta, (channel << 6) | key, gate, (velocity << 2) | octave])

    def block(self, delta, data):
        return self.raw([delta, 0xFF, 0xFF], u16(len(data)), bytes(data))

    def max_gain(self, delta, steps):
        return self.block(delta, [0x11, 0x02, 0xF3, 0x03, steps])

    def adpcm_volume(self, delta, volume):
        return self.block(delta, [0x11, 0xF2, 0x01, volume])

    def adpcm_note(self, delta, item):
        return self.block(delta, [0x11, 0x02, 0xF1, 0x20, item])

    def effect_settings(self, delta, blocks):
        return self.block(delta, [0x11, 0x02, 0xF0, 0x0F] + blocks)

    def effect_select(self, delta, selector):
        return self.block(delta, [0x11, 0x02, 0xF3, 0x0B, selector])

    def effect_send(self, delta, channel, a_flag, value):
        return self.block(delta, [0x11, 0x02, 0xF1, (channel << 6) | (0x2F if a_flag else 0x0F), value])

    def end(self, delta=0):
        return self.short(delta, 0xDF, 0x00)


def effect_block(effect_type, level):
    """One 32-byte effect block: type in bytes 0-1, level in byte 12."""
    block = [0] * 32
    block[0], block[1] = effect_type >> 8, effect_type & 0xFF
    block[4:8] = [0x10, 0x20, 0x30, 0x40]
    block[12] = level
    return block


def info(ident, content):
    if isinstance(content, str):
        content = content.encode("ascii")
    assert 1 <= len(content) <= 255
    return ident.encode("ascii") + u16(len(content)) + content


def mfi_file(version, title, tracks, audio=(), date="20240115"):
    subs = [
        info("sorc", b"\x00"),
        info("titl", title),
        info("vers", version),
        info("date", date),
        info("copy", "(c) Example Works"),
        info("prot", "free"),
        info("note", u16(1)),
    ]
    if version != "0200":
        subs += [info("auth", "Example Author"), info("supt", "example")]
    if audio:
        subs.append(info("ainf", bytes([len(audio), 0x00])))
    head = bytes([1, 1, len(tracks)]) + b"".join(subs)
    body = b""
    for audio_header, audio_data in audio:
        payload = u16(len(audio_header)) + audio_header + audio_data
        body += b"adat" + u32(len(payload)) + payload
    for track in tracks:
        body += b"trac" + u32(len(track.data)) + track.data
    rest = u16(len(head)) + head + body
    return b"melo" + u32(len(rest)) + rest


def melody(track, channel, keys, step, gate, velocity):
    for i, key in enumerate(keys):
        track.note(0 if i == 0 else step, channel, key, gate, velocity)


def mfi20():
    t0 = Track().tempo(0, 3, 120).master_volume(0, 100).program(0, 0, 1).program(0, 1, 10)
    t0.channel_volume(0, 0, 50).channel_volume(0, 1, 40).adpcm_volume(0, 45)
    melody(t0, 0, [0x05, 0x07, 0x09, 0x0A, 0x0C], 24, 20, 48)
    t0.adpcm_note(12, 0)
    t0.channel_volume(24, 1, 30)
    melody(t0, 1, [0x10, 0x0E, 0x0C], 24, 20, 40)
    t0.end(24)
    t1 = Track().channel_volume(0, 2, 55)
    melody(t1, 2, [0x01, 0x03, 0x05, 0x06, 0x08, 0x06], 16, 12, 50)
    t1.end(16)
    adpcm_header = bytes([0x01, 0x40, 0x1F, 0x00, 0x04])
    adpcm_data = bytes((i * 37) & 0xFF for i in range(64))
    return mfi_file("0200", "Chime", [t0, t1], audio=[(adpcm_header, adpcm_data)])


def mfi30():
    t0 = Track().tempo(0, 3, 96).max_gain(0, 6).master_volume(0, 110).program(0, 0, 5)
    t0.channel_volume(0, 0, 60).channel_volume(0, 1, 48)
    melody(t0, 0, [0x0C, 0x0C, 0x0E, 0x10, 0x0C, 0x10, 0x0E], 24, 22, 56)
    t0.master_volume(0, 90)
    melody(t0, 1, [0x04, 0x06, 0x08], 48, 40, 44)
    t0.end(48)
    t1 = Track().program(0, 0, 33).channel_volume(0, 0, 52)
    melody(t1, 0, [0x00, 0x07, 0x00, 0x07, 0x05, 0x04], 48, 40, 52)
    t1.end(48)
    return mfi_file("0300", "March", [t0, t1])


def mfi31():
    blocks = effect_block(0x0101, 64) + effect_block(0x0203, 40)
    t0 = Track().tempo(0, 4, 90).max_gain(0, 10).master_volume(0, 100).effect_settings(0, blocks)
    t0.effect_select(0, 64).effect_select(0, 2).channel_volume(0, 0, 58).channel_volume(0, 1, 50)
    t0.effect_send(0, 0, False, 40).effect_send(0, 1, True, 32)
    melody(t0, 0, [0x05, 0x09, 0x0C, 0x09], 72, 60, 50)
    t0.effect_select(0, 65)
    melody(t0, 1, [0x11, 0x10, 0x0E], 96, 80, 44)
    t0.end(96)
    t1 = Track().channel_volume(0, 0, 44).effect_send(0, 0, False, 24)
    melody(t1, 0, [0x01, 0x01, 0x08, 0x08], 96, 90, 48)
    t1.end(96)
    return mfi_file("0301", "Waltz", [t0, t1])


def mfi40():
    blocks = effect_block(0x0102, 80)
    t0 = Track().tempo(0, 5, 140).max_gain(0, 4).master_volume(0, 120).effect_settings(0, blocks)
    t0.effect_select(0, 64).channel_volume(0, 0, 62).effect_send(0, 0, False, 50)
    t0.raw([0, 0x7F, 0x00, 0x10, 0x30])  # a sounding 0x7F event on channel 0
    melody(t0, 0, [0x05, 0x05, 0x08, 0x05], 48, 30, 60)
    t0.nop(255).nop(255)  # a long rest written with filler events
    melody(t0, 0, [0x0A, 0x0C], 48, 30, 60)
    t0.end(48)
    tracks = [t0]
    for n, keys in enumerate([[0x00, 0x02, 0x04], [0x07, 0x09], [0x0B, 0x0C, 0x0E, 0x10]], start=1):
        t = Track().program(0, 1, 8 * n).channel_volume(0, 1, 40 + 5 * n)
        melody(t, 1, keys, 96, 64, 40 + n)
        tracks.append(t.end(96))
    return mfi_file("0400", "Pulse", tracks)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "examples")
    os.makedirs(out, exist_ok=True)
    for name, build in [("mfi20_chime", mfi20), ("mfi30_march", mfi30), ("mfi31_waltz", mfi31), ("mfi40_pulse", mfi40)]:
        data = build()
        with open(os.path.join(out, name + ".mld"), "wb") as f:
            f.write(data)
        print(f"{name}.mld: {len(data)} bytes")


if __name__ == "__main__":
    main()
