// Until the gateway runs, the program loads the configuration and prints the
// settings it read, so a site can check its Tellwick.ini.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "shell/ini.h"
#include "shell/settings.h"

namespace {

void PrintGeneral(const tw::GeneralSettings& g) {
    std::cout << "[General]\n"
              << "ReconnectInterval=" << g.ReconnectInterval << " ms\n"
              << "WatchDogTagName=" << g.WatchDogTagName << "\n"
              << "WatchDogInterval=" << g.WatchDogInterval << " ms\n"
              << "ESPATimeout=" << g.ESPATimeout << " ms\n"
              << "ZorvanConnectionMethod=" << g.ZorvanConnectionMethod << "\n"
              << "CloseESPAPortsWhenZorvanIsNotRunningOrActive="
              << g.CloseESPAPortsWhenZorvanIsNotRunningOrActive << "\n"
              << "CloseESPAPortIfCommunicationFails=" << g.CloseESPAPortIfCommunicationFails << "\n"
              << "SplitT1andT4fromT4UsingSlash=" << g.SplitT1andT4fromT4UsingSlash << "\n"
              << "UseFormatSection=" << g.UseFormatSection << "\n"
              << "ZorvanPort=" << g.ZorvanPort << "\n"
              << "BufferIfZorvanNotConnected=" << g.BufferIfZorvanNotConnected << "\n"
              << "ESPACategory=" << g.ESPACategory << "\n";
}

void PrintPort(int n, const tw::PortSettings& p) {
    static const char* const kKinds[] = {"none", "TCPS", "TCPC", "COM"};
    std::cout << "[" << tw::PortSectionName(n) << "] kind " << kKinds[p.PortKind];
    if (p.PortKind != tw::PortKindNone) {
        std::cout << ", Description=" << p.Description << ", ListenPort=" << p.ListenPort
                  << ", RemoteAddress=" << p.RemoteAddress << ", ComSetting=" << p.ComSetting
                  << ", PollFailTimeout=" << p.PollFailTimeout << " ms";
    }
    std::cout << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--app-folder") == 0 && i + 1 < argc) {
            tw::SetAppFolder(argv[++i]);
        }
    }
    std::vector<tw::ConfigProblem> problems;
    const tw::GeneralSettings general = tw::LoadGeneralSettings(problems);
    PrintGeneral(general);
    for (int n = 0; n < tw::kPortCount; ++n) {
        PrintPort(n, tw::LoadPortSettings(n, problems));
    }
    for (const auto& problem : problems) {
        std::cerr << problem.Describe() << "\n";
    }
    return 0;
}
