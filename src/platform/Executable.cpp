#include "platform/Executable.h"

#include <unistd.h>

#include <vector>

namespace keldro {

std::optional<std::string> executablePath() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < buf.size()) {
            if (n == 0) return std::nullopt;
            return std::string(buf.data(), static_cast<std::size_t>(n));
        }
        if (buf.size() >= (1u << 20)) return std::nullopt;
        buf.resize(buf.size() * 2);
    }
}

std::string directoryOf(std::string_view path) {
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return std::string(path.substr(0, slash + 1));
}

std::string fileNameOf(std::string_view path) {
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string baseNameWithoutExtension(std::string_view path) {
    std::string name = fileNameOf(path);
    auto dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace keldro
