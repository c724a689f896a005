// Anchor so that the mfivolume subsystem always has an object file.
namespace keldro {}
