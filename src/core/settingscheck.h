// A look through "Tellwick.ini" for what is probably a mistake: values the
// gateway accepts without a word but that leave a port dead, or make two
// listeners fight for one number. It reads the settings exactly as start-up
// does (LoadGeneralSettings, LoadPortSettings) and also says in one line per
// configured port what the gateway will do with it. Files beyond the INI text
// (devices, libraries) are the edge's to check.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/portcount.h"
#include "core/settings.h"
#include "core/settingssource.h"

namespace tw {

// A probable mistake; Section and Key are empty where it concerns the file or
// the whole section.
struct ConfigFinding {
    std::string Section;
    std::string Key;
    std::string Value;
    std::string Reason;

    // One line: "Configuration warning in section S, key K = "V": reason".
    std::string Describe() const;
};

struct SettingsCheck {
    GeneralSettings m_General;
    std::array<PortSettings, kPortCount> m_Ports;
    // "alarm server: ..." then "port n: ..." for each port section.
    std::vector<std::string> m_Plan;
    // What start-up reports as configuration errors.
    std::vector<ConfigProblem> m_Problems;
    std::vector<ConfigFinding> m_Findings;
};

SettingsCheck CheckSettings(SettingsSource& source);

}  // namespace tw
