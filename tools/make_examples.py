#!/usr/bin/env python3
"""Writes small example TAVI files of every chip generation into examples/.

Every file is assembled chunk by chunk: sizes are computed, the length field
covers everything after it, and the closing CRC-16 (poly 0x1021, initial
0xFFFF, result inverted) is computed over the rest. One file holds its score
sequence in the compressed form, packed exactly as the converter packs it.

Usage: python3 tools/make_examples.py [output directory]
"""
import os
import struct
import sys

# ---------------------------------------------------------------- basics


def u16(v):
    return struct.pack(">H", v)


def u32(v):
    return struct.pack(">I", v)


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else (crc << 1)
            crc &= 0xFFFF
    return crc ^ 0xFFFF


def chunk(ident, body):
    assert len(ident) == 4
    return ident + u32(len(body)) + body


def tavi_file(*chunks):
    body = b"".join(chunks)
    head = b"MMMD" + u32(len(body) + 2) + body
    return head + u16(crc16(head))


def varlen(value):
    """MIDI-style variable-length quantity."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, (value & 0x7F) | 0x80)
        value >>= 7
    return bytes(out)


def short_form(value):
    """Durations and gate times of VQ-2 and audio sequences."""
    if value < 128:
        return bytes([value])
    return bytes([((value >> 7) - 1) | 0x80, value & 0x7F])


def exclusive(command, payload):
    data = bytes([0x7D, 0x01, 0x02, 0x03, command]) + payload + b"\xF7"
    return b"\xF0" + varlen(len(data)) + data


def points(start, stop):
    return b"st:" + u32(start) + b"," + b"sp:" + u32(stop) + b","


def contents_info(tags):
    # Class, type, code type, status, counts: five fixed bytes, then tags.
    return chunk(b"CNTI", bytes([0x00, 0x01, 0x01, 0x00, 0x00]) + tags)


def signature_opda(extra_tags=b""):
    tag = b"A0" + u16(6) + b"KQ11" + b"00"
    return chunk(b"OPDA", chunk(b"Dch\xFF", extra_tags + tag))


# ---------------------------------------------------------------- packing


def huffman_encode(plain):
    """The converter's packing: a min-heap on counts whose right child wins
    only when strictly smaller, the tree written in pre-order."""
    count = [0] * 511
    for b in plain:
        count[b] += 1
    left, right, parent, mark = {}, {}, {}, {}
    heap = [None] + [s for s in range(256) if count[s]]

    def sift(pos, size):
        item = heap[pos]
        while 2 * pos <= size:
            child = 2 * pos
            if child + 1 <= size and count[heap[child + 1]] < count[heap[child]]:
                child += 1
            if count[heap[child]] >= count[item]:
                break
            heap[pos] = heap[child]
            pos = child
        heap[pos] = item

    size = len(heap) - 1
    for pos in range(size // 2, 0, -1):
        sift(pos, size)
    root = heap[1] if size else 0
    node = 256
    while size > 1:
        x = heap[1]
        heap[1] = heap[size]
        size -= 1
        sift(1, size)
        y = heap[1]
        count[node] = count[x] + count[y]
        left[node], right[node] = x, y
        parent[x], mark[x] = node, 0
        parent[y], mark[y] = node, 1
        heap[1] = node
        sift(1, size)
        root = node
        node += 1

    bits = []

    def tree(n):
        if n < 256:
            bits.append(0)
            bits.extend((n >> i) & 1 for i in range(7, -1, -1))
        else:
            bits.append(1)
            tree(left[n])
            tree(right[n])

    tree(root)
    codes = {}
    for s in set(plain):
        path, n = [], s
        while n in parent:
            path.append(mark[n])
            n = parent[n]
        codes[s] = path[::-1]
    for b in plain:
        bits.extend(codes[b])
    bits.extend([0] * (-len(bits) % 8))
    packed = bytearray(u32(len(plain)))
    for i in range(0, len(bits), 8):
        packed.append(int("".join(map(str, bits[i:i + 8])), 2))
    return bytes(packed)


# ---------------------------------------------------------------- VQ-2

MELODY = [60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60]


def vq2_note(channel, key, duration, gate):
    # Channel in the top two bits, the key in the low six; 0x00 and 0xFF
    # start other events, so the key stays within 1..62.
    return short_form(duration) + bytes([(channel << 6) | (1 + (key - 24) % 62)]) + short_form(gate)


def vq2_control(channel, low, value, duration=0):
    return short_form(duration) + bytes([0x00, (channel << 6) | 0x30 | low, value])


def vq2_track(number, volumes):
    seq = b""
    for channel, volume in volumes.items():
        if volume is None:
            seq += vq2_control(channel, 0x0A, 64)  # pan only: a volume gets inserted
        else:
            seq += vq2_control(channel, 0x07, volume)
    for i, key in enumerate(MELODY):
        for channel in volumes:
            seq += vq2_note(channel, key - 12 * channel, 12 if channel == 0 and i else 0, 10)
    seq += vq2_control(0, 0x07, max(v or 0 for v in volumes.values()) - 20, 24)
    seq += short_form(0) + b"\x00\x00\x00"
    setup = b"\x00\x00"
    header = bytes([0x00, 0x00, 0x02, 0x02, 0x00, 0x00])
    return chunk(b"MTR" + bytes([number]),
                 header + chunk(b"MspI", points(0, len(seq))) + chunk(b"Mtsu", setup) + chunk(b"Mtsq", seq))


def audio_track():
    seq = short_form(0) + b"\x00\x37\x64"           # audio volume 100
    seq += short_form(0) + b"\x01" + short_form(40)  # wave 1
    seq += short_form(48) + b"\x02" + short_form(40)  # wave 2
    seq += short_form(48) + b"\x00\x37\x50"          # quieter
    seq += short_form(0) + b"\x01" + short_form(40)
    seq += short_form(0) + b"\x00\x00\x00"
    wave = bytes((i * 37) & 0xFF for i in range(64))
    header = bytes([0x00, 0x00, 0x00, 0x00, 0x02, 0x02])
    return chunk(b"ATR\x00", header + chunk(b"AspI", points(0, len(seq))) + chunk(b"Atsq", seq)
                 + chunk(b"Awa\x01", wave) + chunk(b"Awa\x02", wave[::-1]))


def vq2_song():
    return tavi_file(contents_info(b"ST:Morning Bell,CR:KELDRO examples,A0:ABCDEF,"),
                     vq2_track(1, {0: 100, 1: 90, 2: None, 3: 80}),
                     vq2_track(2, {0: 70, 1: 110}),
                     audio_track())


# ---------------------------------------------------------------- VQ-3 / VQ-5


def vq35_sequence(master):
    seq = varlen(0) + exclusive(0x00, bytes([master, 0x00]))
    seq += varlen(0) + b"\xC0\x05" + varlen(0) + b"\xB0\x07\x64"  # program, channel volume
    seq += varlen(0) + b"\xC1\x30" + varlen(0) + b"\xB1\x0A\x40"
    for i, key in enumerate(MELODY):
        seq += varlen(0 if i == 0 else 120) + bytes([0x90, key, 0x64]) + varlen(100)
        seq += varlen(0) + bytes([0x81, key - 12]) + varlen(110)
    seq += varlen(240) + b"\xFF\x00"
    seq += varlen(0) + b"\xFF\x2F\x00"
    return seq


def vq35_track(number, master, packed=False):
    header = bytes([0x01 if packed else 0x00, 0x00, 0x02, 0x02]) + bytes(range(16))
    seq = vq35_sequence(master)
    if packed:
        seq = huffman_encode(seq)
    setup = exclusive(0x01, b"\x00\x00")
    return chunk(b"MTR" + bytes([number]), header + chunk(b"Mtsu", setup) + chunk(b"Mtsq", seq)
                 + chunk(b"Mtsp", bytes(24)))


def vq3_song():
    return tavi_file(contents_info(b"ST:Evening Walk,CR:KELDRO examples,"), vq35_track(5, 100))


def vq5_song():
    pro = chunk(b"Pro\x01", b"VERSION-0001" + bytes(4))
    opda = chunk(b"OPDA", pro + chunk(b"Dch\xFF", b"ST" + u16(5) + b"Night" + b"A0" + u16(6) + b"KQ1100"))
    return tavi_file(contents_info(b"ST:Night Drive,"), opda, vq35_track(6, 90))


def vq3_packed_song():
    return tavi_file(contents_info(b"ST:Packed Tune,"), vq35_track(5, 110, packed=True))


# ---------------------------------------------------------------- VQ-7


def effect_block(effect_type, depth):
    block = bytearray(32)
    block[0:2] = u16(effect_type)
    block[12] = depth
    return bytes(block)


def vq7_song():
    setup = exclusive(0x22, bytes([6]))          # MaxGain -3 dB
    setup += exclusive(0x20, bytes([100]))       # master volume
    setup += exclusive(0x27, effect_block(0x4900, 64) + effect_block(0x0100, 40))
    seq = b""
    for ch, cc in ((0, 40), (1, 30), (17, 50)):
        status = 0x30 | (ch & 0x0F) if ch < 16 else 0xB0 | (ch & 0x0F)
        seq += varlen(0) + bytes([status, 0x5D, cc])  # chorus send
    seq += varlen(0) + bytes([0x40, 0x10])            # program change channel 0
    for i, key in enumerate(MELODY):
        seq += varlen(0 if i == 0 else 96) + bytes([0x10, key, 0x64]) + varlen(90)
        seq += varlen(0) + bytes([0x91, key - 12, 0x50]) + varlen(90)  # channel 17
    seq += varlen(0) + exclusive(0x2D, bytes([0x41]))  # select the second effect
    seq += varlen(48) + bytes([0x11, 72, 0x64]) + varlen(90)
    seq += varlen(0) + b"\xFF\x2F\x00"
    header = bytes([0x00, 0x00, 0x02, 0x02]) + bytes(32)
    track = chunk(b"MTR\x07", header + chunk(b"Mtsu", setup) + chunk(b"Mtsq", seq) + chunk(b"Mthv", bytes(8)))
    return tavi_file(contents_info(b"ST:Chorus Garden,CR:KELDRO examples,"), track)


EXAMPLES = {
    "vq2_bell.mmf": vq2_song,
    "vq3_walk.mmf": vq3_song,
    "vq3_packed.mmf": vq3_packed_song,
    "vq5_drive.mmf": vq5_song,
    "vq7_chorus.mmf": vq7_song,
}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "examples")
    os.makedirs(out_dir, exist_ok=True)
    for name, build in EXAMPLES.items():
        data = build()
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
