// alarm-sink: connects to the gateway's alarm port as the alarm server does
// and prints every alarm line decoded; reconnects when the gateway goes away.
#pragma once

#include <string>
#include <vector>

#include "net.h"

namespace tw::tools {

// Exit codes of alarm-sink.
enum SinkExitCode : int {
    SinkExitOk = 0,       // --count lines received
    SinkExitUsage = 1,    // bad command line
    SinkExitTimeout = 3,  // nothing arrived within --timeout-ms
};

struct SinkOptions {
    Endpoint m_Endpoint{"127.0.0.1", 14000};
    bool m_Json = false;
    bool m_Quiet = false;
    long m_Count = 0;     // 0: run until stopped
    int m_TimeoutMs = 0;  // 0: wait for ever
};

struct ParsedSinkArguments {
    SinkOptions m_Options;
    std::string m_Error;
    bool m_Help = false;
};

ParsedSinkArguments ParseSinkArguments(const std::vector<std::string>& arguments);

extern const char* const SinkUsage;

int RunSink(const SinkOptions& options);

}  // namespace tw::tools
