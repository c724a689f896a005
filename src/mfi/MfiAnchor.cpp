// Anchor so that the mfi subsystem always has an object file.
namespace keldro {}
