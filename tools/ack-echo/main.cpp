// ack-echo: answers every read with one ACK byte. It is the fastest partner a
// stop-and-wait station can have, so a load run against it gives the round
// trip the machine itself allows.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "net.h"

namespace {

constexpr char Ack = 0x06;

// Reads once from a client and answers ACK; false when the client is gone.
bool AnswerClient(int fd) {
    char chunk[4096];
    ssize_t count = ::read(fd, chunk, sizeof chunk);
    if (count <= 0) {
        return false;
    }
    return tw::tools::WriteAll(fd, std::string_view(&Ack, 1));
}

int Serve(tw::tools::Fd listener) {
    std::vector<tw::tools::Fd> clients;
    std::vector<pollfd> waiting;
    while (true) {
        waiting.assign(1, pollfd{listener.Get(), POLLIN, 0});
        for (const tw::tools::Fd& client : clients) {
            waiting.push_back(pollfd{client.Get(), POLLIN, 0});
        }
        if (::poll(waiting.data(), waiting.size(), -1) < 0) {
            continue;
        }
        for (std::size_t k = clients.size(); k > 0; --k) {
            if (waiting[k].revents != 0 && !AnswerClient(clients[k - 1].Get())) {
                clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(k - 1));
            }
        }
        if (waiting[0].revents != 0) {
            tw::tools::Opened accepted = tw::tools::AcceptTcp(listener.Get(), 0, nullptr);
            if (accepted.m_Fd.IsOpen()) {
                clients.push_back(std::move(accepted.m_Fd));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    tw::tools::IgnoreBrokenPipe();
    tw::tools::Endpoint endpoint{"127.0.0.1", 0};
    for (int k = 1; k < argc; ++k) {
        std::string option = argv[k];
        if (option == "--help" || option == "-h") {
            std::puts(
                "Usage: ack-echo [--port [HOST:]PORT]\n"
                "Answers every read with one ACK byte (default 127.0.0.1, a free port).\n"
                "Prints \"listening on HOST:PORT\" once ready; runs until stopped.");
            return 0;
        }
        std::optional<tw::tools::Endpoint> parsed =
            option == "--port" && k + 1 < argc ? tw::tools::ParseEndpoint(argv[++k], "127.0.0.1")
                                               : std::nullopt;
        if (!parsed) {
            std::fprintf(stderr, "ack-echo: usage: ack-echo [--port [HOST:]PORT]\n");
            return 1;
        }
        endpoint = *parsed;
    }
    tw::tools::Opened listener = tw::tools::ListenTcp(endpoint);
    if (!listener.m_Fd.IsOpen()) {
        std::fprintf(stderr, "ack-echo: %s\n", listener.m_Error.c_str());
        return 2;
    }
    endpoint.m_Port = tw::tools::LocalPort(listener.m_Fd.Get());
    std::printf("listening on %s\n", tw::tools::ToText(endpoint).c_str());
    std::fflush(stdout);
    return Serve(std::move(listener.m_Fd));
}
