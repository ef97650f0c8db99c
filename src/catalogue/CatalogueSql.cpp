// Building the catalogue's SQL text from the base query and a filter file.
#include "catalogue/CatalogueSql.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace ov {

const std::string_view CatalogueBaseSql =
    "SELECT DISTINCT OV_SITES.STATION_ID, OV_SITESENSORS.SENSORNAME, OV_SITES.REPORTING_TIME, "
    "OV_SITES.REPORTING_INTERVAL, OV_SITES.BASIN, OV_SITES.DISTRICT, OV_SITES.CITY, "
    "OV_SITES.COUNTRY, OV_SITES.STATE, OV_SITES.COUNTY, OV_SITES.PRIMARY_CHANNEL, "
    "OV_SITES.RANDOM_CHANNEL FROM OV_SITES, OV_SITESENSORS WHERE (OV_SITES.STATION_ID = "
    "OV_SITESENSORS.STE_STATION_ID) ";

std::string JoinSqlLines(std::string_view text) {
    std::string joined;
    joined.reserve(text.size() + text.size() / 16 + 2);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        joined.append(text.substr(start, end - start)).append("\r\n");
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;
    }
    return joined;
}

bool ReadFilterFile(const std::string& fileName, std::string& joined) {
    joined.clear();
    // Anything but a regular file (a folder, a pipe that would block, a device) is not a
    // filter file.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec)) return false;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    std::string content;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return false;
    joined = JoinSqlLines(content);
    return true;
}

bool BlankText(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

std::string CatalogueSqlText(std::string_view joinedFilter) {
    std::string sql(CatalogueBaseSql);
    if (!BlankText(joinedFilter)) sql.append(" AND ").append(joinedFilter);
    return sql;
}

std::string CatalogueSqlForFilterFile(const std::string& fileName) {
    std::string joined;
    if (!BlankText(fileName)) ReadFilterFile(fileName, joined);
    return CatalogueSqlText(joined);
}

std::string PreviewSqlText(std::string_view editorText) {
    std::string sql(CatalogueBaseSql);
    if (!editorText.empty()) sql.append(" AND ").append(JoinSqlLines(editorText));
    return sql;
}

}  // namespace ov
