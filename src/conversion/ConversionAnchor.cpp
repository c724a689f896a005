// Anchor so that the conversion subsystem always has an object file.
namespace keldro {}
