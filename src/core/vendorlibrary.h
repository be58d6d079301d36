// The alarm server's own library ("Zorvan2.dll" or "Zorvan3.dll") as the
// gateway's logic sees it. The real one is loaded with dlopen by Load.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw {

class VendorLibrary {
  public:
    virtual ~VendorLibrary() = default;
    // Loads the library unless it is loaded already; false with the reason
    // when it cannot be loaded. Until it is loaded every call fails.
    virtual bool Load(std::string& reason) = 0;
    // Hands one command text to the alarm server. False when the call raised
    // an error (library or function missing, call failed).
    virtual bool SetCommandEntry(const std::string& text) = 0;
    // Whether applications of the mask run (non-zero); nullopt when the call
    // raised an error.
    virtual std::optional<int32_t> GetRunningApps(int32_t mask) = 0;
};

}  // namespace tw
