#include "tavi/TaviRules.h"

namespace keldro::tavi {

// Placeholders: every rule answers no until the rule arithmetic lands.
int volumeRule(VolumeSettings&, int, VolumeChangeRecord& r) { r.action = 0; return 0; }
int insertedVolumeRule(VolumeSettings&, int, VolumeChangeRecord& r) { r.action = 0; return 0; }
int maxGainRule(VolumeSettings&, int, VolumeChangeRecord& r) { r.action = 0; return 0; }
int effectDepthRule(VolumeSettings&, int, VolumeChangeRecord& r) { r.action = 0; return 0; }
int chorusSendRule(VolumeSettings&, int, VolumeChangeRecord& r) { r.action = 0; return 0; }
int chorusSendBeforeNoteRule(VolumeSettings&, int, VolumeChangeRecord& r, int) { r.action = 0; return 0; }

}  // namespace keldro::tavi
