// The alarm server's library ("Zorvan2.dll" or "Zorvan3.dll", an ELF shared
// object despite the name) loaded with dlopen. It is looked up in the
// application folder first, then by the system's library search, and bound
// by Load: the library and both functions, or nothing. Until then every call
// fails; the gateway calls Load again at most once a second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/vendorlibrary.h"

namespace tw {

class DlVendorLibrary : public VendorLibrary {
  public:
    // folder: the application folder, ending in "/"; fileName: "Zorvan2.dll"
    // or "Zorvan3.dll".
    DlVendorLibrary(std::string folder, std::string fileName);
    ~DlVendorLibrary() override;
    DlVendorLibrary(const DlVendorLibrary&) = delete;
    DlVendorLibrary& operator=(const DlVendorLibrary&) = delete;

    bool Load(std::string& reason) override;
    // Passes the text up to its first NUL byte, and 0.
    bool SetCommandEntry(const std::string& text) override;
    std::optional<int32_t> GetRunningApps(int32_t mask) override;

  private:
    using SetCommandEntryFunction = void (*)(const char*, int32_t);
    using GetRunningAppsFunction = int32_t (*)(int32_t);

    std::string m_Folder;
    std::string m_FileName;
    void* m_Handle = nullptr;
    SetCommandEntryFunction m_SetCommandEntry = nullptr;
    GetRunningAppsFunction m_GetRunningApps = nullptr;
};

}  // namespace tw
