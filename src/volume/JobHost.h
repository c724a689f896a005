#pragma once
// The interface through which the engines query the run's settings, ask the
// volume rules for new values and report what they found. Both controllers
// implement it; the bodies here are the defaults that a controller does not
// replace. A rule answers true when it accepts the change it was offered (and
// has filled in the after-values), false when the value is to stay as it is.
#include "volume/VolumeChangeRecord.h"

namespace keldro {

class JobHost {
public:
    virtual ~JobHost() = default;
    virtual bool isCancelRequested() { return false; }
    virtual bool isRegulateChorus() { return false; }
    virtual bool volumeRule(int /*kind*/, VolumeChangeRecord*) { return false; }
    virtual bool insertedVolumeRule(int /*kind*/, VolumeChangeRecord*) { return true; }
    virtual bool channelVolumeHook(int /*kind*/, VolumeChangeRecord*) { return true; }
    virtual bool insertedChannelVolumeHook(int /*kind*/, VolumeChangeRecord*) { return true; }
    virtual bool maxGainRule(int /*kind*/, VolumeChangeRecord*) { return false; }
    virtual bool effectDepthRule(int /*kind*/, VolumeChangeRecord*) { return true; }
    virtual bool chorusSendRule(int /*kind*/, VolumeChangeRecord*) { return true; }
    virtual bool chorusSendBeforeNoteRule(int /*kind*/, VolumeChangeRecord*, int /*effectType*/) { return true; }
    virtual bool isAbsoluteMode() { return false; }
    virtual int dbTenths() { return 0; }
    virtual int maxGainSteps() { return 0; }
    virtual int masterVolume() { return 0; }
    virtual int channelValue(int /*entry*/) { return -1; }
};

}  // namespace keldro
