// A setup server for tests: canned settings arrays and key answers, a switch to make every
// call fail or raise, and a record of the keys asked.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "suite/SetupServer.h"

namespace ov::test {

class FakeSetupServer : public ov::ISetupServer {
  public:
    enum TMode { fmAnswer, fmFail, fmThrow };

    TMode Mode = fmAnswer;
    std::vector<ov::TSetupValue> General;
    std::vector<ov::TSetupValue> DataServer;
    std::map<std::string, std::string> Params;  // keys without an entry answer "ERROR"
    std::vector<std::string> Asked;

    bool GetGeneralSetup(std::vector<ov::TSetupValue>& values) override {
        return Answer(General, values);
    }
    bool GetDataServerSetup(std::vector<ov::TSetupValue>& values) override {
        return Answer(DataServer, values);
    }
    bool GetSetupParam(const std::string& key, std::string& value) override {
        Asked.push_back(key);
        auto it = Params.find(key);
        return Answer(it == Params.end() ? std::string("ERROR") : it->second, value);
    }

  private:
    template <class T>
    bool Answer(const T& canned, T& out) {
        if (Mode == fmThrow) throw std::runtime_error("The RPC server is unavailable");
        if (Mode == fmFail) return false;
        out = canned;
        return true;
    }
};

}  // namespace ov::test
