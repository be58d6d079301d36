// Helpers shared by the fuzz targets: invariant checks that stop the run, and
// one scratch folder per process made the AppFolder and removed at exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "shell/ini.h"

namespace tw::fuzz {

// libFuzzer reports an abort as a crash and keeps the input.
inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A temporary folder, made the AppFolder, removed when the process exits.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tellwick-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        SetAppFolder(pattern);
        m_Path = AppFolder();
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return m_Path; }

  private:
    std::string m_Path;
};

// Made once, on first use; holds no Tellwick.ini unless the target writes one.
inline const std::string& ScratchFolder() {
    static const ScratchDirectory directory;
    return directory.Path();
}

}  // namespace tw::fuzz
