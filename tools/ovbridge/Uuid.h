// Random (version 4) UUIDs for the ids of published messages.
#pragma once

#include <random>
#include <string>

namespace ovbridge {

class TUuidMaker {
  public:
    // Seeded from the system's random source: two engines never share a sequence.
    TUuidMaker();
    // "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" in lower case, y one of 8, 9, a, b.
    std::string Next();

  private:
    std::mt19937_64 engine_;
};

}  // namespace ovbridge
