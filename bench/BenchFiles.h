#pragma once
// The files the benchmarks convert, built in memory at a size aimed at: TAVI
// files of every chip generation and MFi files of every version. Each holds
// what a real ringtone does (mostly notes, volumes and effects sprinkled in),
// from a fixed random seed, so every run converts the same bytes.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string_view>

#include "../tests/support/EffectBlock.h"
#include "../tests/support/MfiBuilder.h"
#include "platform/Bytes.h"
#include "tavi/Crc16.h"
#include "tavi/Huffman.h"

namespace keldro::benchfiles {

// ---- TAVI ----

inline void appendU32(ByteVector& out, std::size_t v) { ByteWriter(out).u32(static_cast<std::uint32_t>(v)); }

inline void appendChunk(ByteVector& out, std::string_view id, const ByteVector& body) {
    out.insert(out.end(), id.begin(), id.end());
    appendU32(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
}

inline void appendVarlen(ByteVector& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

// A command exclusive of the later chips: F0, length, maker bytes, command, payload, F7.
inline void appendExclusive(ByteVector& out, std::uint8_t command, const ByteVector& payload) {
    out.push_back(0xF0);
    appendVarlen(out, static_cast<std::uint32_t>(payload.size() + 6));
    out.insert(out.end(), {0x7D, 0x01, 0x02, 0x03, command});
    out.insert(out.end(), payload.begin(), payload.end());
    out.push_back(0xF7);
}

// The file around its chunks: "MMMD", the length, the chunks, the CRC.
inline ByteVector taviFile(const ByteVector& chunks) {
    ByteVector file{'M', 'M', 'M', 'D'};
    appendU32(file, chunks.size() + 2);
    file.insert(file.end(), chunks.begin(), chunks.end());
    ByteWriter(file).u16(tavi::crc16(file));
    return file;
}

// A VQ-3 sequence of about `size` bytes: a master volume, then notes with
// varied keys, durations and gate times, some control changes, the end mark.
inline ByteVector scoreSequence(std::size_t size) {
    ByteVector seq{0x00, 0xF0, 0x08, 0x7D, 0x01, 0x02, 0x03, 0x00, 100, 0x00, 0xF7};
    std::mt19937 random(3);
    while (seq.size() + 8 < size) {
        const auto r = random();
        seq.push_back(static_cast<std::uint8_t>(r % 48));  // duration
        if (r % 7 == 0) {
            seq.insert(seq.end(), {static_cast<std::uint8_t>(0xB0 | (r >> 8 & 3)), 0x0A, 64});
        } else {
            seq.insert(seq.end(),
                       {static_cast<std::uint8_t>(0x90 | (r >> 8 & 3)), static_cast<std::uint8_t>(48 + (r >> 12) % 36),
                        0x64, static_cast<std::uint8_t>(1 + (r >> 20) % 100)});
        }
    }
    seq.insert(seq.end(), {0x00, 0xFF, 0x2F, 0x00});
    return seq;
}

inline ByteVector vq35Track(int track, const ByteVector& sequence, bool packed) {
    ByteVector body(20, 0);
    body[0] = packed ? 1 : 0;
    body[2] = body[3] = 0x02;
    appendChunk(body, "Mtsq", packed ? tavi::huffmanEncode(sequence) : sequence);
    ByteVector chunk;
    appendChunk(chunk, track == 5 ? "MTR\x05" : "MTR\x06", body);
    return chunk;
}

inline ByteVector contentsInfo(std::string_view tags) {
    ByteVector body{0x00, 0x01, 0x01, 0x00, 0x00};
    body.insert(body.end(), tags.begin(), tags.end());
    ByteVector chunk;
    appendChunk(chunk, "CNTI", body);
    return chunk;
}

// VQ-3 (track 5) or VQ-5 (track 6) holding `sequence`, packed or plain.
inline ByteVector vq35File(int track, const ByteVector& sequence, bool packed) {
    ByteVector chunks = contentsInfo("ST:b,");
    const ByteVector t = vq35Track(track, sequence, packed);
    chunks.insert(chunks.end(), t.begin(), t.end());
    return taviFile(chunks);
}
inline ByteVector vq3File(const ByteVector& sequence, bool packed) { return vq35File(5, sequence, packed); }

// One VQ-2 sequence: notes on the four channels, channel volumes and pans
// among them, the end mark.
inline ByteVector vq2Sequence(std::mt19937& random, std::size_t size) {
    ByteVector seq;
    while (seq.size() + 8 < size) {
        const auto r = random();
        const auto channel = static_cast<std::uint8_t>((r >> 8) & 3);
        seq.push_back(static_cast<std::uint8_t>(r % 4 == 0 ? r % 96 : 0));  // duration
        switch ((r >> 12) % 16) {
            case 0: seq.insert(seq.end(), {0x00, static_cast<std::uint8_t>(channel << 6 | 0x37), 100}); break;
            case 1: seq.insert(seq.end(), {0x00, static_cast<std::uint8_t>(channel << 6 | 0x3A), 64}); break;
            default:
                seq.insert(seq.end(), {static_cast<std::uint8_t>(channel << 6 | (1 + (r >> 16) % 62)),
                                       static_cast<std::uint8_t>(1 + (r >> 22) % 100)});
        }
    }
    seq.insert(seq.end(), {0x00, 0x00, 0x00, 0x00});
    return seq;
}

// VQ-2 track 1: the start and stop points, then sequences of `sequenceBytes`
// each up to about `size` bytes. Short sequences each get a default volume
// for every channel that plays before its first volume.
inline ByteVector vq2File(std::size_t size, std::size_t sequenceBytes) {
    std::mt19937 random(2);
    ByteVector body{0x00, 0x00, 0x02, 0x02, 0x00, 0x00};
    ByteVector points{'s', 't', ':', 0, 0, 0, 0, ',', 's', 'p', ':', 0, 0, 0, 0, ','};
    appendChunk(body, "MspI", points);
    while (body.size() + 24 < size)
        appendChunk(body, "Mtsq", vq2Sequence(random, std::min(sequenceBytes, size - body.size() - 8)));
    ByteVector chunks = contentsInfo("ST:b,A0:KQ1100,");
    appendChunk(chunks, "MTR\x01", body);
    return taviFile(chunks);
}

// VQ-2 where every event is a change: after one note per channel (so that
// each channel gets a default volume in front), channel volumes only, four
// bytes each, in sequences of `sequenceBytes`.
inline ByteVector vq2VolumesFile(std::size_t size, std::size_t sequenceBytes) {
    std::mt19937 random(4);
    ByteVector body{0x00, 0x00, 0x02, 0x02, 0x00, 0x00};
    ByteVector points{'s', 't', ':', 0, 0, 0, 0, ',', 's', 'p', ':', 0, 0, 0, 0, ','};
    appendChunk(body, "MspI", points);
    while (body.size() + 24 < size) {
        const std::size_t length = std::min(sequenceBytes, size - body.size() - 8);
        ByteVector seq;
        for (int channel = 0; channel < 4; ++channel)
            seq.insert(seq.end(), {0x00, static_cast<std::uint8_t>(channel << 6 | 0x20), 0x10});
        while (seq.size() + 8 < length) {
            const auto r = random();
            seq.insert(seq.end(), {static_cast<std::uint8_t>(r % 4 == 0 ? r % 96 : 0), 0x00,
                                   static_cast<std::uint8_t>((r >> 8 & 3) << 6 | 0x37),
                                   static_cast<std::uint8_t>(1 + (r >> 12) % 126)});
        }
        seq.insert(seq.end(), {0x00, 0x00, 0x00, 0x00});
        appendChunk(body, "Mtsq", seq);
    }
    ByteVector chunks = contentsInfo("ST:b,A0:KQ1100,");
    appendChunk(chunks, "MTR\x01", body);
    return taviFile(chunks);
}

// VQ-2 with an audio track ("ATR" 0) whose waves take about `size` bytes:
// the score track of vq2File and one audio volume before the waves play.
inline ByteVector vq2AudioFile(std::size_t size) {
    ByteVector score = vq2File(4096, 4096);
    ByteVector chunks(score.begin() + 8, score.end() - 2);
    const ByteVector seq{0x00, 0x00, 0x37, 0x64, 0x00, 0x01, 0x28, 0x30, 0x02, 0x28, 0x00, 0x00, 0x00, 0x00};
    ByteVector body{0x00, 0x00, 0x00, 0x00, 0x02, 0x02};
    appendChunk(body, "AspI",
                {'s', 't', ':', 0, 0, 0, 0, ',', 's', 'p', ':', 0, 0, 0, static_cast<std::uint8_t>(seq.size()), ','});
    appendChunk(body, "Atsq", seq);
    ByteVector wave(size / 2);
    for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<std::uint8_t>(i * 37);
    appendChunk(body, "Awa\x01", wave);
    appendChunk(body, "Awa\x02", wave);
    appendChunk(chunks, std::string_view("ATR\0", 4), body);
    return taviFile(chunks);
}

// VQ-7 track 7: MaxGain, master volume and four effects in the set-up data;
// notes on 32 channels with chorus sends and effect selections among them.
inline ByteVector vq7File(std::size_t size) {
    ByteVector setup;
    appendExclusive(setup, 0x22, {6});
    appendExclusive(setup, 0x20, {100});
    ByteVector effects;
    for (const int type : {0x4900, 0x0100, 0x4A00, 0x1000}) {
        const ByteVector block = test::effectBlock(type, 64);
        effects.insert(effects.end(), block.begin(), block.end());
    }
    appendExclusive(setup, 0x27, effects);
    std::mt19937 random(7);
    ByteVector seq;
    while (seq.size() + 16 < size) {
        const auto r = random();
        const auto channel = static_cast<int>((r >> 8) & 31);
        const auto bank = static_cast<std::uint8_t>((channel < 16 ? 0x00 : 0x80) | (channel & 0x0F));
        appendVarlen(seq, static_cast<std::uint32_t>(r % 4 == 0 ? r % 200 : 0));
        switch ((r >> 14) % 32) {
            case 0:
            case 1: seq.insert(seq.end(), {static_cast<std::uint8_t>(bank | 0x30), 0x5D, 40}); break;
            case 2: appendExclusive(seq, 0x2D, {static_cast<std::uint8_t>(0x40 + (r >> 20) % 4)}); break;
            default:
                seq.insert(seq.end(), {static_cast<std::uint8_t>(bank | 0x10),
                                       static_cast<std::uint8_t>(36 + (r >> 20) % 48), 0x64});
                appendVarlen(seq, static_cast<std::uint32_t>(1 + (r >> 24) % 90));
        }
    }
    seq.insert(seq.end(), {0x00, 0xFF, 0x2F, 0x00});
    ByteVector body(36, 0);
    body[2] = body[3] = 0x02;
    appendChunk(body, "Mtsu", setup);
    appendChunk(body, "Mtsq", seq);
    ByteVector chunks = contentsInfo("ST:b,");
    appendChunk(chunks, "MTR\x07", body);
    return taviFile(chunks);
}

// ---- MFi ----

inline ByteVector effectBlocks() {
    ByteVector blocks;
    for (const int type : {0x4900, 0x2000, 0x4A00, 0x1000}) {
        const ByteVector block = test::effectBlock(type, 90);
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    return blocks;
}

// Notes on all channels with channel volumes, effect sends and (in track 0)
// effect selections sprinkled in; `events` in total over four tracks (an
// event takes 4.6 bytes on average).
inline ByteVector mfiFile(const char* vers, std::int64_t targetBytes) {
    using test::MfiBuilder;
    using test::MfiTrackBuilder;
    const int events = static_cast<int>(targetBytes * 10 / 46);
    std::mt19937 random(5);
    MfiBuilder builder;
    builder.canonicalInfo(vers);
    for (int track = 0; track < 4; ++track) {
        MfiTrackBuilder t;
        if (track == 0) t.maxGain(0, 6).masterVolume(0, 100).tempo(0, 3, 120).effectSettings(0, effectBlocks());
        for (int i = 0; i < events / 4; ++i) {
            const auto r = random();
            const auto delta = static_cast<std::uint8_t>(r % 4 == 0 ? 0 : r % 24);
            const int channel = static_cast<int>(r >> 8) & 3;
            switch ((r >> 12) % 40) {
                case 0:
                case 1: t.channelVolume(delta, channel, static_cast<int>(r >> 20) & 63); break;
                case 2:
                case 3:
                    t.effectSend(delta, channel, (r >> 20) & 1, static_cast<std::uint8_t>(1 + (r >> 21) % 120));
                    break;
                case 4:
                    if (track == 0)
                        t.effectSelect(delta, static_cast<std::uint8_t>(64 + (r >> 20) % 4));
                    else
                        t.note(delta, channel);
                    break;
                case 5: t.escape(delta, 0x00, static_cast<std::uint8_t>(channel << 6), 0x20); break;
                case 6:
                    if (track == 0) {
                        t.masterVolume(delta, static_cast<std::uint8_t>(60 + (r >> 20) % 60));
                        break;
                    }
                    [[fallthrough]];
                default: t.note(delta, channel); break;
            }
        }
        builder.trac(t);
    }
    return builder.build();
}

// MFi 2.0 where nearly every event is a change: in each track one note per
// channel (each then gets a default volume in front), then channel volumes,
// with a note in front of every `notesEvery`-th one (0: none).
inline ByteVector mfiVolumesFile(std::int64_t targetBytes, int notesEvery) {
    using test::MfiBuilder;
    using test::MfiTrackBuilder;
    const std::int64_t events = targetBytes / 4;
    std::mt19937 random(6);
    MfiBuilder builder;
    builder.canonicalInfo("0200");
    for (int track = 0; track < 4; ++track) {
        MfiTrackBuilder t;
        if (track == 0) t.maxGain(0, 6).masterVolume(0, 100);
        for (int channel = 0; channel < 4; ++channel) t.note(0, channel);
        for (std::int64_t i = 4; i < events / 4; ++i) {
            const auto r = random();
            const auto delta = static_cast<std::uint8_t>(r % 4 == 0 ? 0 : r % 24);
            const int channel = static_cast<int>(r >> 8) & 3;
            if (notesEvery > 0 && i % notesEvery == 0)
                t.note(delta, channel);
            else
                t.channelVolume(delta, channel, static_cast<int>(r >> 20) & 63);
        }
        builder.trac(t);
    }
    return builder.build();
}

}  // namespace keldro::benchfiles
