// espa-station: command-line ESPA 4.4.4 control station.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "net.h"
#include "station.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tw::tools::IgnoreBrokenPipe();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    tw::tools::ParsedArguments parsed = tw::tools::ParseStationArguments(arguments);
    if (parsed.m_Help) {
        std::fputs(tw::tools::StationUsage, stdout);
        return tw::tools::ExitOk;
    }
    if (!parsed.m_Error.empty()) {
        std::fprintf(stderr, "espa-station: %s (see --help)\n", parsed.m_Error.c_str());
        return tw::tools::ExitUsage;
    }
    return tw::tools::RunStation(parsed.m_Options);
}
