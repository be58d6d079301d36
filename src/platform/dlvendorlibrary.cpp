#include "platform/dlvendorlibrary.h"

#include <dlfcn.h>

#include <utility>

namespace tw {

namespace {

std::string LastDlError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}

void* FindFunction(void* handle, const char* name, std::string& error) {
    dlerror();
    void* function = dlsym(handle, name);
    if (function == nullptr && error.empty()) {
        error = LastDlError();
    }
    return function;
}

}  // namespace

DlVendorLibrary::DlVendorLibrary(std::string folder, std::string fileName)
    : m_Folder(std::move(folder)), m_FileName(std::move(fileName)) {}

DlVendorLibrary::~DlVendorLibrary() {
    if (m_Handle != nullptr) {
        dlclose(m_Handle);
    }
}

bool DlVendorLibrary::Load(std::string& reason) {
    if (m_Handle != nullptr) {
        return true;
    }
    // A name without "/" makes dlopen use the system's library search.
    void* handle = dlopen((m_Folder + m_FileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        handle = dlopen(m_FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        reason = LastDlError();
        return false;
    }
    std::string error;
    auto* setCommandEntry =
        reinterpret_cast<SetCommandEntryFunction>(FindFunction(handle, "SetCommandEntry", error));
    auto* getRunningApps =
        reinterpret_cast<GetRunningAppsFunction>(FindFunction(handle, "GetRunningApps", error));
    if (setCommandEntry == nullptr || getRunningApps == nullptr) {
        reason = error;
        dlclose(handle);
        return false;
    }
    m_Handle = handle;
    m_SetCommandEntry = setCommandEntry;
    m_GetRunningApps = getRunningApps;
    return true;
}

bool DlVendorLibrary::SetCommandEntry(const std::string& text) {
    if (m_Handle == nullptr) {
        return false;
    }
    m_SetCommandEntry(text.c_str(), 0);
    return true;
}

std::optional<int32_t> DlVendorLibrary::GetRunningApps(int32_t mask) {
    if (m_Handle == nullptr) {
        return std::nullopt;
    }
    return m_GetRunningApps(mask);
}

}  // namespace tw
