// The setup server as the engine calls it (the bus adapter implements it), and the key
// queries made through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "suite/SetupQuery.h"
#include "suite/SetupValue.h"

namespace ov {

// The calls the engine makes on the setup server. Each answers false when the call failed,
// timed out or no server could be reached. An empty settings array is a null answer.
class ISetupServer {
  public:
    virtual ~ISetupServer() = default;
    virtual bool GetGeneralSetup(std::vector<TSetupValue>& values) = 0;
    virtual bool GetDataServerSetup(std::vector<TSetupValue>& values) = 0;
    virtual bool GetSetupParam(const std::string& key, std::string& value) = 0;
};

// The answer "ERROR" of the server: it has no value for the key.
inline constexpr std::string_view SetupNoValue = "ERROR";

// The server's value for key. False for a null server (none running), a failed call (an
// exception from the server included) or the answer "ERROR"; value is then unchanged. An
// empty answer is a value.
bool QuerySetup(ISetupServer* server, const std::string& key, std::string& value);

// part1, then ":" part2 and ":" part3 when they are not empty, then "," attribute when it is
// not empty ("," only after something): "Sensor", "ST1", "SN1", "RoundOffTime" gives
// "Sensor:ST1:SN1,RoundOffTime".
std::string SetupKey(std::string_view part1, std::string_view part2, std::string_view part3,
                     std::string_view attribute);
// The same into key, whose buffer is kept (a caller making one key per calculation).
void SetupKey(std::string& key, std::string_view part1, std::string_view part2,
              std::string_view part3, std::string_view attribute);

// The answer to SetupKey(part1 ... attribute), or defaultValue when there is none.
std::string QuerySetupDefault(ISetupServer* server, std::string_view part1, std::string_view part2,
                              std::string_view part3, std::string_view attribute,
                              const std::string& defaultValue);
std::string QuerySetupDefault(ISetupQuery& query, std::string_view part1, std::string_view part2,
                              std::string_view part3, std::string_view attribute,
                              const std::string& defaultValue);

// The engine's key query answered by a setup server. The server is not owned and must
// outlive this object; a null server answers that there is no value.
class TSetupServerQuery : public ISetupQuery {
  public:
    explicit TSetupServerQuery(ISetupServer* server) : server_(server) {}
    bool QuerySetup(const std::string& key, std::string& value) override;

  private:
    ISetupServer* server_;
};

}  // namespace ov
