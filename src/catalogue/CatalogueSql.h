// The SQL text of the station catalogue: the join of the suite's sites and site sensors, with
// the condition of a filter file (lines of SQL) appended.
#pragma once

#include <string>
#include <string_view>

namespace ov {

// The catalogue query without a filter; it ends in one blank.
extern const std::string_view CatalogueBaseSql;

// The lines of text (split at CR LF, CR or LF), each followed by CR LF, the last one too.
std::string JoinSqlLines(std::string_view text);

// The whole content of a filter file, joined by JoinSqlLines. False (joined empty) when it
// cannot be read: missing, unreadable, a folder or anything but a regular file.
bool ReadFilterFile(const std::string& fileName, std::string& joined);

// The base text, then " AND " and joinedFilter unchanged unless joinedFilter is only
// blanks and line ends.
std::string CatalogueSqlText(std::string_view joinedFilter);

// The catalogue query for a filter file: no filter for a blank name or a file that cannot be
// read.
std::string CatalogueSqlForFilterFile(const std::string& fileName);

// The filter dialog's preview: the base text, then, unless editorText is empty, " AND " and
// the editor's lines joined by JoinSqlLines (blank text counts: the query then fails).
std::string PreviewSqlText(std::string_view editorText);

// True when text holds nothing but blanks and control characters (what a trim removes).
bool BlankText(std::string_view text);

}  // namespace ov
