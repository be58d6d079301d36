// alarm-sink: stands in for the alarm server on the gateway's alarm port.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "net.h"
#include "sink.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tw::tools::IgnoreBrokenPipe();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    tw::tools::ParsedSinkArguments parsed = tw::tools::ParseSinkArguments(arguments);
    if (parsed.m_Help) {
        std::fputs(tw::tools::SinkUsage, stdout);
        return tw::tools::SinkExitOk;
    }
    if (!parsed.m_Error.empty()) {
        std::fprintf(stderr, "alarm-sink: %s (see --help)\n", parsed.m_Error.c_str());
        return tw::tools::SinkExitUsage;
    }
    return tw::tools::RunSink(parsed.m_Options);
}
