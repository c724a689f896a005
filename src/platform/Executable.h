#pragma once
// Where the running program lives.
#include <optional>
#include <string>
#include <string_view>

namespace keldro {

// Full path of the running executable (from /proc/self/exe); nullopt when unknown.
std::optional<std::string> executablePath();

// Directory part of a path, ending with the separator ("" when there is none).
std::string directoryOf(std::string_view path);

// File name and extension of a path (directory removed).
std::string fileNameOf(std::string_view path);

// File name without directory and without its last extension.
std::string baseNameWithoutExtension(std::string_view path);

}  // namespace keldro
