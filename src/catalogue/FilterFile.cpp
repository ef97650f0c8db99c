// Writing and reading filter files.
#include "catalogue/FilterFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "catalogue/CatalogueSql.h"

namespace ov {

namespace {

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

}  // namespace

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

bool WriteFilterFile(const std::string& fileName, std::string_view text) {
    const std::string content = JoinSqlLines(text);
    std::FILE* raw = std::fopen(fileName.c_str(), "wb");
    if (!raw) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), raw) == content.size();
    // The close flushes: a full disk may only show there.
    const bool closed = std::fclose(raw) == 0;
    return written && closed;
}

bool ReadFilterFileLines(const std::string& fileName, std::vector<std::string>& lines) {
    lines.clear();
    // Anything but a regular file (a folder, a pipe that would block, a device) is no filter
    // file.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec)) return false;
    TFile file(std::fopen(fileName.c_str(), "rb"));
    if (!file) return false;
    // Lines are taken as they complete, so that a read error keeps the lines before it.
    std::string pending;
    bool afterCr = false;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (afterCr && c == '\n') {  // the LF of a CR LF
                afterCr = false;
                continue;
            }
            afterCr = c == '\r';
            if (c == '\r' || c == '\n') {
                lines.push_back(std::move(pending));
                pending.clear();
            } else {
                pending.push_back(c);
            }
        }
    }
    if (std::ferror(file.get())) return false;
    if (!pending.empty()) lines.push_back(std::move(pending));
    return true;
}

}  // namespace ov
