#pragma once
// The state of one TAVI conversion, private to the engine's own source files
// (Engine.cpp, ScoreTrack.cpp, AudioTrack.cpp, Signature.cpp,
// Writer.cpp); everyone else calls tavi::convert (tavi/Engine.h).
// convert() validates header and CRC, expands compressed score data, walks the
// chunks, converts every score and audio track with the TAVI volume rules
// (tavi/Rules.h) and the run's settings, stamps the "A0" signature and assembles the output with fresh
// lengths and CRC.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tavi/Crc16.h"
#include "tavi/Engine.h"
#include "tavi/Rules.h"
#include "volume/Result.h"
#include "volume/VolumeChangeRecord.h"
#include "platform/Bytes.h"

namespace keldro::tavi {

class Engine {
public:
    // Null settings: only find the volumes (findVolumes). `keepChanges`
    // false: the changes are made but no record of them is kept.
    Engine(const VolumeSettings* settings, bool keepChanges) : settings_(settings), keepChanges_(keepChanges) {}

    Result convert(const std::uint8_t* data, std::size_t size);

    const ByteVector& output() const { return output_; }
    ByteVector takeOutput() { return std::move(output_); }
    Generation generation() const { return generation_; }
    VolumeChangeList takeChangeRecords() { return std::move(records_); }
    std::string lastA0Text() const { return lastA0Text_; }
    int chosenMaxGain() const { return vq7Levels_.chosenMaxGain; }

    // VQ-7 pre-scan of an "MTR" chunk: largest master volume below 128 and
    // largest MaxGain not above 24 found in its exclusive messages (-1 when none).
    struct PreScan {
        int maxMasterVolume = -1;
        int maxMaxGain = -1;
    };

private:
    friend class ScoreTrackConverter;
    friend class AudioTrackConverter;

    // ---- Track converters (score tracks: tracks 1..7; audio track "ATR" 0). ----
    // Each reads the whole chunk (header included) and writes the converted
    // chunk into `out`, with its size field set to the new body length, and
    // answers whether the conversion goes on.
    Result convertScoreTrack(ByteSpan chunk, int trackNumber, ByteVector& out);
    Result convertAudioTrack(ByteSpan chunk, ByteVector& out);

    static PreScan preScanVq7(ByteSpan chunk);

    // VQ-7 levels the track converters start from (the chunk walk takes them
    // from the pre-scan of the file's last score track).
    void setVq7LevelsForTracks(const PreScan& found);

    // Counters read by the container walk after the tracks.
    int volumeChangeCount() const { return volumeChanges_; }
    int maxGainChangeCount() const { return maxGainChanges_; }
    bool masterVolumeBeforeFirstNote() const { return masterVolumeBeforeFirstNote_; }
    bool maxGainInSetupData() const { return maxGainInSetupData_; }

    // Clears everything the track converters keep per file: counters, flags,
    // chorus channel tables, effect types and change records.
    void resetTrackState();

    // The rules the track converters ask, with the run's settings and this
    // file's levels; finding volumes only, each keeps the value found.
    bool askVolumeRule(VolumeChangeRecord& r);
    bool askInsertedVolumeRule(VolumeChangeRecord& r);
    bool askMaxGainRule(VolumeChangeRecord& r);
    bool askEffectDepthRule(VolumeChangeRecord& r);
    bool askChorusSendRule(VolumeChangeRecord& r);
    bool askChorusSendBeforeNoteRule(VolumeChangeRecord& r, int effectType);
    static bool keepVolume(VolumeChangeRecord& r);
    bool regulateChorus() const { return settings_ && settings_->regulateChorus; }

    const VolumeSettings* settings_;
    bool keepChanges_;
    Generation generation_ = Generation::Undecided;
    // Handed to every rule asked about this file; the MaxGain rule's choice
    // stays in it for the rest of the file.
    Vq7FileLevels vq7Levels_;
    ByteVector output_;
    VolumeChangeList records_;
    std::string lastA0Text_;

    // Shared per-file counters and flags.
    int volumeChanges_ = 0;
    int maxGainChanges_ = 0;
    bool masterVolumeBeforeFirstNote_ = true;
    bool maxGainInSetupData_ = true;

    // ---- Track converter state (score and audio sequences). ----
    // VQ-7 chorus regulation: per-channel tables for 32 channels.
    std::array<bool, 32> chorusSeen_{};
    std::array<int, 32> chorusFound_{};
    std::array<int, 32> chorusCurrent_{};
    int currentEffectType_ = 0;
    std::vector<int> effectTypes_;

    // Appends a change made by a track converter.
    void addRecord(const VolumeChangeRecord& record) {
        if (keepChanges_) appendChange(records_, record);
    }

    // ---- Container state (chunk walk, signature, output). ----
    enum class ChunkKind { ContentsInfo, OptionalData, ScoreTrack, AudioTrack, SkippedTrack, MasterTrack };
    // A top-level chunk, header included: a view of the file until a step
    // changes it, then its own edited copy.
    struct Chunk {
        ChunkKind kind;
        int number;         // track number of "MTR"/"ATR"
        ByteSpan original;  // in file_
        ByteVector edited;  // the chunk as converted or stamped
        bool changed = false;

        ByteSpan bytes() const { return changed ? ByteSpan(edited) : original; }
        // The copy to edit, taken from the input bytes the first time it is needed.
        ByteVector& edit() {
            if (!changed) edited.assign(original.begin(), original.end());
            changed = true;
            return edited;
        }
    };

    ByteSpan file_;              // the input up to its CRC's end, or expanded_
    ByteVector expanded_;        // the input with its compressed sequence expanded
    std::vector<Chunk> chunks_;  // top-level chunks in file order
    Crc16Stream signatureCrc_;   // over the converted track chunks, in file order
    bool vq2Mark_ = false;
    bool vq3Mark_ = false;
    bool vq5Mark_ = false;
    bool vq7Mark_ = false;
    bool hasContentsInfo_ = false;
    bool hasOptionalData_ = false;
    bool contentsInfoA0Seen_ = false;
    bool contentsInfoSignatureTagSeen_ = false;  // an "A0:", "A1:" or "A2:" tag in CNTI
    bool signatureDataFound_ = false;            // a "Dch" 0xFF seen in any OPDA so far
    bool inputCompressed_ = false;
    char atSigDigit1_ = ' ';
    char atSigDigit2_ = ' ';

    void resetContainerState();
    Result checkHeader(const std::uint8_t* data, std::size_t size, std::size_t& fileLength);
    Result classifyChunk(ByteSpan id, ChunkKind& kind, int& number);
    static Result chunkSizeError(ChunkKind kind);
    Result walkChunks();
    Generation decideGeneration() const;
    Result convertTrackChunks();
    Result checkVolumePresence() const;
    void computeAtSig();

    // Signature carriers (CNTI and OPDA).
    Result stampSignature();
    Result stampContentsInfo(ByteVector& chunk);
    Result stampContentsInfoTag(ByteSpan tag, ByteVector& out);
    Result stampOptionalData(ByteVector& chunk);
    Result stampDataSubChunk(ByteSpan subChunk, ByteVector& out);
    void appendSignatureValue(ByteSpan found, bool keepLongForm, ByteVector& out) const;
    void appendOptionalDataA0Tag(ByteSpan found, bool keepLongForm, ByteVector& out) const;
    void appendSignatureDataSubChunk(ByteVector& out) const;
    ByteVector signatureOptionalDataChunk() const;

    // Writing (compression and output assembly).
    void expandInput();
    void assembleOutput();
    void compressOutput();
};

}  // namespace keldro::tavi
