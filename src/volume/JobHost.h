#pragma once
// The interface through which the engines query the run's settings, ask the
// volume rules for new values and report what they found. Both controllers
// implement it; the bodies here are the defaults that a controller does not
// replace.
#include "volume/VolumeChangeRecord.h"

namespace keldro {

class JobHost {
public:
    virtual ~JobHost() = default;
    virtual int isCancelRequested() { return 0; }
    virtual int isRegulateChorus() { return 0; }
    virtual int checkAtSig(int /*generation*/, const char* /*data*/, int /*length*/) { return 0; }
    virtual int volumeRule(int /*kind*/, VolumeChangeRecord*) { return 0; }
    virtual int insertedVolumeRule(int /*kind*/, VolumeChangeRecord*) { return 1; }
    virtual int channelVolumeHook(int /*kind*/, VolumeChangeRecord*) { return 1; }
    virtual int insertedChannelVolumeHook(int /*kind*/, VolumeChangeRecord*) { return 1; }
    virtual int maxGainRule(int /*kind*/, VolumeChangeRecord*) { return 0; }
    virtual int effectDepthRule(int /*kind*/, VolumeChangeRecord*) { return 1; }
    virtual int chorusSendRule(int /*kind*/, VolumeChangeRecord*) { return 1; }
    virtual int chorusSendBeforeNoteRule(int /*kind*/, VolumeChangeRecord*, int /*effectType*/) { return 1; }
    virtual void setEngineValueA(int) {}
    virtual void setEngineValueB(int) {}
    virtual int isAbsoluteMode() { return 0; }
    virtual int dbTenths() { return 0; }
    virtual int maxGainSteps() { return 0; }
    virtual int masterVolume() { return 0; }
    virtual int channelValue(int /*entry*/) { return -1; }
};

}  // namespace keldro
