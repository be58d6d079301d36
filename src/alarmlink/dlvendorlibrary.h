// The alarm server's library ("Zorvan2.dll" or "Zorvan3.dll", an ELF shared
// object despite the name) loaded with dlopen. It is looked up in AppFolder
// first, then by the system's library search, and bound at the first call:
// the library and both functions, or nothing. A failed load or a missing
// function makes that call fail, and the next call tries again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "alarmlink/vendorlibrary.h"

namespace tw {

class DlVendorLibrary : public VendorLibrary {
  public:
    // fileName: "Zorvan2.dll" or "Zorvan3.dll".
    explicit DlVendorLibrary(std::string fileName);
    ~DlVendorLibrary() override;
    DlVendorLibrary(const DlVendorLibrary&) = delete;
    DlVendorLibrary& operator=(const DlVendorLibrary&) = delete;

    // Passes the text up to its first NUL byte, and 0.
    bool SetCommandEntry(const std::string& text) override;
    std::optional<int32_t> GetRunningApps(int32_t mask) override;

    // Why the last binding failed ("" after a successful one).
    const std::string& LastError() const { return m_LastError; }

  private:
    using SetCommandEntryFunction = void (*)(const char*, int32_t);
    using GetRunningAppsFunction = int32_t (*)(int32_t);

    bool Bind();

    std::string m_FileName;
    std::string m_LastError;
    void* m_Handle = nullptr;
    SetCommandEntryFunction m_SetCommandEntry = nullptr;
    GetRunningAppsFunction m_GetRunningApps = nullptr;
};

}  // namespace tw
