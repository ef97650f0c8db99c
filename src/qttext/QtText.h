// The one text rule between the engine and Qt, for every Qt edge (the bus, the database, the
// dialogs, the window). The engine's text is 8-bit, one byte a character, and byte n is the
// code point U+00nn (Latin-1); a QString is UTF-16. Into Qt every byte is its code point; into
// the engine a character above U+00FF, which 8-bit text cannot hold, reads as one "?": one for
// a character, however many UTF-16 units it takes (an emoji is one "?", and so is a lone
// surrogate). The suite's names (bus names, paths, interfaces, members, AppIDs, items) are
// ASCII and go through here too. Text that is not the engine's (a UTF-8 file, a command line,
// a file name) is converted where it is read, with Qt's own functions.
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace ov {

// Engine text (or a name of the suite) as a QString: every byte the code point of its value.
QString QtText(std::string_view engine);

// A QString as engine text, a character above U+00FF read as one "?". With replaced, it
// counts the "?" put in.
std::string EngineText(const QString& text, std::size_t* replaced = nullptr);
// UTF-16 (from Qt or an ODBC driver) as engine text under the same rule, appended to engine,
// the "?" put in added to *replaced when given. A character split over two calls (its first
// unit ending one) reads "?" in each.
void AppendEngineText(std::u16string_view utf16, std::string& engine,
                      std::size_t* replaced = nullptr);

// A QString as engine text where a character that does not fit is refused rather than read
// as "?": true and engine set when every character is at most U+00FF. Otherwise false, engine
// unchanged, and refused names the first character that does not fit, as the character and
// its code point ("€" (U+20AC)).
bool ExactEngineText(const QString& text, std::string& engine, QString& refused);

}  // namespace ov
