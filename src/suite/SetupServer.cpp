// Key queries of the setup server.
#include "suite/SetupServer.h"

#include <exception>
#include <utility>

namespace ov {

bool QuerySetup(ISetupServer* server, const std::string& key, std::string& value) {
    if (server == nullptr) return false;
    std::string answer;
    try {
        if (!server->GetSetupParam(key, answer)) return false;
    } catch (const std::exception&) {
        // A call that raised is a failed call: the caller applies its default.
        return false;
    }
    if (answer == SetupNoValue) return false;
    value = std::move(answer);
    return true;
}

std::string SetupKey(std::string_view part1, std::string_view part2, std::string_view part3,
                     std::string_view attribute) {
    std::string key;
    SetupKey(key, part1, part2, part3, attribute);
    return key;
}

void SetupKey(std::string& key, std::string_view part1, std::string_view part2,
              std::string_view part3, std::string_view attribute) {
    key.assign(part1);
    if (!part2.empty()) {
        key += ':';
        key += part2;
    }
    if (!part3.empty()) {
        key += ':';
        key += part3;
    }
    if (!attribute.empty()) {
        if (!key.empty()) key += ',';
        key += attribute;
    }
}

std::string QuerySetupDefault(ISetupServer* server, std::string_view part1, std::string_view part2,
                              std::string_view part3, std::string_view attribute,
                              const std::string& defaultValue) {
    TSetupServerQuery query(server);
    return QuerySetupDefault(query, part1, part2, part3, attribute, defaultValue);
}

std::string QuerySetupDefault(ISetupQuery& query, std::string_view part1, std::string_view part2,
                              std::string_view part3, std::string_view attribute,
                              const std::string& defaultValue) {
    std::string value = defaultValue;
    std::string answer;
    if (query.QuerySetup(SetupKey(part1, part2, part3, attribute), answer)) value = answer;
    return value;
}

bool TSetupServerQuery::QuerySetup(const std::string& key, std::string& value) {
    return ov::QuerySetup(server_, key, value);
}

}  // namespace ov
