#pragma once
// Whole TAVI files for container tests: contents info and optional data
// chunks with their tags, small converting tracks of every chip generation,
// compressed tracks, damaged files, and the settings the tests convert with.
// Built on TaviChunkBuilder.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "support/VolumePrinting.h"
#include "support/TaviChunkBuilder.h"
#include "tavi/Huffman.h"
#include "tavi/Engine.h"

namespace keldro::tavitest {

using namespace keldro::tavi;

// "CNTI" with its 5 fixed bytes and the given tag text ("ST:Song,A0:...,").
inline Bytes cnti(std::string_view tags = {}) { return chunk("CNTI", cat({Bytes{0, 1, 2, 0, 0}, text(tags)})); }
inline Bytes cntiRaw(const Bytes& tags) { return chunk("CNTI", cat({Bytes{0, 1, 2, 0, 0}, tags})); }

// A "Dch" data tag: 2-byte name, 2-byte length, data.
inline Bytes dataTag(std::string_view name, std::string_view data) {
    return cat({text(name.substr(0, 2)), u16be(static_cast<std::uint32_t>(data.size())), text(data)});
}
inline Bytes dch(std::uint8_t number, std::initializer_list<Bytes> tags) {
    Bytes body;
    for (const Bytes& t : tags) append(body, t);
    return chunk("Dch", number, body);
}
inline Bytes opda(std::initializer_list<Bytes> subChunks) {
    Bytes body;
    for (const Bytes& s : subChunks) append(body, s);
    return chunk("OPDA", body);
}

// The signature OPDA the converter inserts for VQ-3/5 files without one.
inline Bytes insertedOpda(char digit1, char digit2) {
    return opda({dch(0xFF, {dataTag("A0", std::string("KQ11") + digit1 + digit2)})});
}

// Score sequences that each hold one volume the rules change.
inline Bytes vq2Sequence(std::uint8_t volume) {
    return Bytes{0x00, 0x00, 0x37, volume,  // channel 0 volume
                 0x00, 0x3C, 0x05,          // note on channel 0, gate 5
                 0x00, 0x00, 0x00, 0x00};   // end of sequence
}
inline Bytes vq2Track(std::uint8_t volume = 100, int track = 1) {
    const Bytes sequence = vq2Sequence(volume);
    return scoreTrack(
        track, scoreTrackHeader(track, 0x02, 0x02),
        {chunk("MspI", pointBody(0, static_cast<std::uint32_t>(sequence.size()))), chunk("Mtsq", sequence)});
}

inline Bytes vq35Sequence(std::uint8_t volume) {
    return cat({Bytes{0x00}, vq35MasterVolume(volume), Bytes{0x00, 0x80, 0x3C, 0x10, 0x00, 0xFF, 0x2F, 0x00}});
}
// Track 5 (VQ-3) or 6 (VQ-5); format 1 packs its sequence.
inline Bytes vq35Track(int track = 5, std::uint8_t volume = 100, std::uint8_t format = 0) {
    const Bytes plain = vq35Sequence(volume);
    const Bytes sequence = format == 1 ? huffmanEncode(plain) : plain;
    return scoreTrack(track, scoreTrackHeader(track, 0x02, 0x02, format), {chunk("Mtsq", sequence)});
}

// A VQ-7 track of the given setup data and one sequence, timebase codes 0.
// A VQ-3 file long enough to take a while to convert: a master volume, then
// `notes` notes (a million make about 4 MiB).
inline Bytes largeVq3File(int notes = 1'000'000) {
    Bytes sequence = cat({Bytes{0x00}, vq35MasterVolume(100)});
    const Bytes note{0x00, 0x80, 0x3C, 0x10};
    sequence.reserve(sequence.size() + note.size() * static_cast<std::size_t>(notes) + 4);
    for (int i = 0; i < notes; ++i) sequence.insert(sequence.end(), note.begin(), note.end());
    append(sequence, Bytes{0x00, 0xFF, 0x2F, 0x00});
    return taviFile({cnti(), scoreTrack(5, scoreTrackHeader(5, 0x02, 0x02), {chunk("Mtsq", sequence)})});
}

inline Bytes vq7Track(const Bytes& setup, const Bytes& seq) {
    return scoreTrack(7, scoreTrackHeader(7), {chunk("Mtsu", setup), chunk("Mtsq", seq)});
}
inline Bytes vq7Track(std::uint8_t volume = 100, std::uint8_t maxGain = 4) {
    const Bytes sequence =
        cat({Bytes{0x00}, vq7MasterVolume(volume), Bytes{0x00, 0x00, 0x3C, 0x10, 0x00, 0xFF, 0x2F, 0x00}});
    return scoreTrack(7, scoreTrackHeader(7, 0x02, 0x02),
                      {chunk("Mtsu", vq7MaxGain(maxGain)), chunk("Mtsq", sequence)});
}

// A file with `gap` bytes between the last chunk and the CRC and `tail`
// bytes after the CRC.
inline Bytes taviFileWithStrayBytes(std::initializer_list<Bytes> chunks, const Bytes& gap, const Bytes& tail) {
    Bytes body;
    for (const Bytes& c : chunks) append(body, c);
    append(body, gap);
    Bytes out = taviFile({body});
    append(out, tail);
    return out;
}

// Rewrites the length field and CRC after a test has damaged a file.
inline void reseal(Bytes& file) {
    file.resize(file.size() - 2);
    const Bytes body(file.begin() + 8, file.end());
    file = taviFile({body});
}

// Offset of the first occurrence of `needle`, or npos.
inline std::size_t find(const Bytes& haystack, const Bytes& needle) {
    auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return it == haystack.end() ? std::string::npos : static_cast<std::size_t>(it - haystack.begin());
}

// Every output must carry a length field and CRC that match its content.
inline void expectSealed(const Bytes& file) {
    ASSERT_GE(file.size(), 10u);
    EXPECT_EQ(readU32(file, 4), file.size() - 8);
    const std::uint16_t stored = static_cast<std::uint16_t>((file[file.size() - 2] << 8) | file.back());
    EXPECT_EQ(stored, referenceCrc16(std::span(file).first(file.size() - 2)));
}

// The settings of the chunk builders' tests: a relative change of `dbTenths`.
inline VolumeSettings relativeSettings(int dbTenths = -30) {
    VolumeSettings s;
    s.dbTenths = dbTenths;
    return s;
}

// Runs one conversion with a fresh engine.
struct ConvertedFile {
    Result result = Result::Converted;
    int generation = 0;
    Bytes output;
    std::string a0;
    VolumeChangeList records;
    int chosenMaxGain = -1;
};
inline ConvertedFile convertWith(const VolumeSettings& settings, const Bytes& file) {
    tavi::Conversion done = tavi::convert(file, settings);
    return {done.result,
            tavi::kindNumber(done.generation),
            std::move(done.output),
            std::move(done.a0Text),
            std::move(done.changes),
            done.chosenMaxGain};
}

// Converts one track inside the least file that holds it (a CNTI and the
// track): the file's result, the track as the converted file holds it (as it
// was when the file did not convert) and the changes made.
struct TrackConversion {
    Result result = Result::Converted;
    Bytes track;
    VolumeChangeList records;
};
inline TrackConversion convertTrack(const VolumeSettings& settings, const Bytes& track) {
    ConvertedFile c = convertWith(settings, taviFile({cnti(), track}));
    TrackConversion t{c.result, track, std::move(c.records)};
    if (c.result != Result::Converted) return t;
    for (std::size_t at = 8; at + 8 <= c.output.size();) {
        const std::size_t end = at + 8 +
                                ((std::size_t{c.output[at + 4]} << 24) | (std::size_t{c.output[at + 5]} << 16) |
                                 (std::size_t{c.output[at + 6]} << 8) | c.output[at + 7]);
        if (std::string_view(reinterpret_cast<const char*>(&c.output[at]), 3) == "MTR" ||
            std::string_view(reinterpret_cast<const char*>(&c.output[at]), 3) == "ATR") {
            t.track.assign(c.output.begin() + static_cast<std::ptrdiff_t>(at),
                           c.output.begin() + static_cast<std::ptrdiff_t>(end));
            break;
        }
        at = end;
    }
    return t;
}

// One track converted by convertTrack with its settings (a
// relative change, -6 dB unless given); the track is replaced by its
// converted form when the file converts.
struct TrackRun {
    VolumeSettings settings;
    VolumeChangeList changes;
    explicit TrackRun(int dbTenths = -60) : settings(relativeSettings(dbTenths)) {}
    Result convert(Bytes& chunk) {
        TrackConversion done = convertTrack(settings, chunk);
        chunk = std::move(done.track);
        changes = std::move(done.records);
        return done.result;
    }
    VolumeChangeList records() const { return changes; }
};

// How many changes of a kind a conversion recorded.
inline int volumeChanges(const VolumeChangeList& records) {
    return static_cast<int>(std::count_if(records.begin(), records.end(), [](const VolumeChangeRecord& r) {
        return r.action >= kActionVolumeRelative && r.action <= kActionInsertedVolumeAbsolute;
    }));
}
inline int chorusChanges(const VolumeChangeList& records) {
    return static_cast<int>(std::count_if(records.begin(), records.end(), [](const VolumeChangeRecord& r) {
        return r.action >= kActionEffectDepthRelative && r.action <= kActionChorusBeforeNoteAbsolute;
    }));
}

}  // namespace keldro::tavitest
