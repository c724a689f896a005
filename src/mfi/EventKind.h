#pragma once
// The kinds of MFi events, decided from an event's bytes alone. The numbers are
// fixed: other code stores and compares them. Kinds the volume engine works
// with carry a name for their meaning; the others are named after the byte
// pattern that identifies them (status 0xFF short events by their first
// parameter, 0x7F events by the byte after the status, data blocks by their
// class and id bytes).

namespace keldro {

enum EventKind : int {
    // Data blocks (status 0xFF, mark 0xFF), class 0xF0.
    KindBlockF0Id01 = 64,
    KindBlockF0Id02 = 65,
    KindBlockF0Id03 = 3,
    KindBlockF0Id04 = 4,
    KindBlockF0Id05 = 6,
    KindBlockF0Id06 = 5,
    KindBlockF0Id07 = 7,
    KindBlockF0Id08 = 9,
    KindBlockF0Id0A = 48,
    KindBlockF0Id0B = 49,
    KindBlockF0Id0C = 51,
    KindBlockF0Id0E = 58,
    KindEffectSettings = 59,  // class 0xF0, id 0x0F

    // Class 0xF1; ids compared on their low four bits unless noted.
    KindBlockF1Id01 = 66,
    KindBlockF1Id02 = 67,
    KindBlockF1Id03 = 40,  // carries a channel in byte 3 and a value in byte 5
    KindBlockF1Id05 = 41,  // carries a channel in byte 3
    KindBlockF1Id06 = 26,  // id exactly 0x06
    KindBlockF1Id07 = 25,
    KindBlockF1Id08 = 29,
    KindBlockF1Id09 = 28,
    KindBlockF1Id0A = 30,
    KindBlockF1Id0B = 31,
    KindBlockF1Id0C = 46,
    KindBlockF1Id0D = 60,
    KindBlockF1Id0E = 61,
    KindEffectSend = 62,  // class 0xF1, id low bits 0x0F
    KindAdpcmNote = 68,   // class 0xF1, id exactly 0x20

    // Class 0xF2.
    KindAdpcmVolume = 69,  // id 0x01
    KindBlockF2Id04 = 70,
    KindBlockF2Id05 = 71,
    KindBlockF2Id06 = 72,
    KindBlockF2Id07 = 0,

    // Class 0xF3.
    KindBlockF3Id01 = 45,
    KindBlockF3Id02 = 32,
    KindMaxGain = 1,  // id 0x03
    KindBlockF3Id04 = 8,
    KindBlockF3Id07 = 37,
    KindBlockF3Id09 = 47,
    KindBlockF3Id0A = 50,
    KindEffectSelect = 63,  // id 0x0B

    // Short events: status 0xFF, by the first parameter.
    KindMasterVolume = 2,  // 0xB0
    KindShortBA = 43,
    KindTempo = 10,        // 0xC0 to 0xCF
    KindShortD0Zero = 33,  // 0xD0 with second parameter 0
    KindShortD0One = 34,   // 0xD0 with second parameter 1
    KindShortDD = 39,
    KindNop = 44,          // 0xDE with second parameter 0
    KindShortDFZero = 38,  // 0xDF with second parameter 0
    KindShortE0 = 12,
    KindShortE1 = 42,
    KindChannelVolume = 13,  // 0xE2
    KindShortE3 = 16,
    KindShortE4 = 21,
    KindShortE7 = 23,
    KindShortE9 = 22,
    KindShortEA = 24,

    // Status 0x7F, by the byte after the status.
    KindStatus7F00 = 52,  // five-byte event; channel in the first parameter
    KindStatus7F01 = 53,
    KindStatus7F80 = 54,
    KindStatus7F81 = 55,
    KindStatus7F90 = 56,
    KindStatus7FBlock = 57,  // 0x7F 0xF0 with a data block

    // Any other status byte.
    KindNote = 11,

    KindUnclassified = 100,
};

}  // namespace keldro
