// Filter files (.flt): a condition over the suite's station tables as 8-bit text lines of SQL,
// every line, the last one too, ending in CR LF. The catalogue query reads them (CatalogueSql);
// the filter dialog writes them and reads them back line by line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ov {

// The lines of text as a text editor holds them: split at CR LF, LF or CR; a line end at the
// very end starts no further line, so "" has no line and "A\n" one.
std::vector<std::string> SplitTextLines(std::string_view text);

// Creates or overwrites fileName with every line of text (SplitTextLines) followed by CR LF,
// byte for byte. False when the file cannot be written completely.
bool WriteFilterFile(const std::string& fileName, std::string_view text);

// The file's lines without their line ends. False when it cannot be read (missing, a folder or
// anything but a regular file, a read error); lines then holds what was read before the failure.
bool ReadFilterFileLines(const std::string& fileName, std::vector<std::string>& lines);

}  // namespace ov
