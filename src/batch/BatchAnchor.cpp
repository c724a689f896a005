// Anchor so that the batch subsystem always has an object file.
namespace keldro {}
