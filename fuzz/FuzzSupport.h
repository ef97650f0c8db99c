// Shared pieces of the fuzz targets: the input split into lines, a private scratch folder for
// the readers that take a file, and the end of a run whose property does not hold.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ov::fuzz {

// Ends the run as a finding, saying which property failed on which values: the input that
// libFuzzer writes beside it then shows the fault at once.
[[noreturn]] inline void PropertyFailed(const std::string& what) {
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::abort();
}

// what() is called only when the property does not hold, so building its text costs nothing
// on the run's usual path.
template <class What>
inline void Require(bool holds, What&& what) {
    if (!holds) PropertyFailed(what());
}

// A text shown in a finding: bytes outside printable ASCII as \xNN.
inline std::string Shown(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// The first line (without its "\n") and the rest after it.
inline std::string_view FirstLine(std::string_view text, std::string_view& rest) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
        rest = std::string_view();
        return text;
    }
    rest = text.substr(end + 1);
    return text.substr(0, end);
}

inline std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::string_view rest;
        lines.push_back(FirstLine(text, rest));
        text = rest;
    }
    return lines;
}

// A folder of this process's own under TMPDIR (or /tmp), removed when the process ends.
inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ovfuzz.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::filesystem::path made = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// Writes text as the file name in the scratch folder and returns its path.
inline std::filesystem::path WriteScratchFile(const std::string& name, std::string_view text) {
    const std::filesystem::path path = ScratchFolder() / name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("open");
        std::abort();
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            std::perror("write");
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return path;
}

}  // namespace ov::fuzz
