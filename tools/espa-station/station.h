// espa-station: plays ESPA 4.4.4 station 1 (the control station) against a
// gateway port: sends calls, fetches call-status blocks, measures load.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "net.h"

namespace tw::tools {

// Exit codes of espa-station.
enum ExitCode : int {
    ExitOk = 0,        // every block ACKed, every dialogue completed
    ExitUsage = 1,     // bad command line
    ExitLink = 2,      // connection refused or lost, device or listener failed
    ExitTimeout = 3,   // the partner stayed silent longer than --timeout-ms
    ExitNak = 4,       // at least one block was answered NAK
    ExitProtocol = 5,  // an unexpected reply, or a status block with a bad check
};

enum class LinkMode { None, Connect, Listen, Serial };

// One call: its records by identifier, sent in ascending order.
using CallRecords = std::map<int, std::string>;

struct StationOptions {
    LinkMode m_Mode = LinkMode::None;
    Endpoint m_Endpoint;
    std::string m_Device;
    SerialSettings m_Serial;
    std::vector<CallRecords> m_Calls;
    bool m_BadCheck = false;
    bool m_PollRequested = false;
    bool m_NoPoll = false;
    long m_Repeat = 0;  // 0: send each call once, with its own dialogue
    bool m_OneSelection = false;
    bool m_EchoPartner = false;
    int m_TimeoutMs = 3000;
    int m_AcceptTimeoutMs = 60000;
    bool m_Json = false;
    std::string m_AckTimesFile;  // --ack-times: where the reply times go
};

struct ParsedArguments {
    StationOptions m_Options;
    std::string m_Error;  // non-empty: the command line is wrong
    bool m_Help = false;
};

ParsedArguments ParseStationArguments(const std::vector<std::string>& arguments);

extern const char* const StationUsage;

// Opens the link, runs the dialogues and prints the results; returns the exit code.
int RunStation(const StationOptions& options);

}  // namespace tw::tools
