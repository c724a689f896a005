#include "tavi/TaviEngine.h"

namespace keldro {

// Placeholders until the score track decoders land.
int TaviEngine::convertScoreTrack(ByteVector&, int) { return 0; }
TaviEngine::PreScan TaviEngine::preScanVq7(ByteSpan) { return {}; }

}  // namespace keldro
