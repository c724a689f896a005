#include "tavi/TaviEngine.h"

namespace keldro {

// Placeholder until the audio track decoder lands.
int TaviEngine::convertAudioTrack(ByteVector&) { return 0; }

}  // namespace keldro
