// Anchor so that the platform subsystem always has an object file.
namespace keldro {}
