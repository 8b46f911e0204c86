#pragma once
// Every input of a bridge, opened and stopped together.

#include "live/file_input.h"
#include "live/http_input.h"
#include "live/line_inputs.h"
#include "live/live_options.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLiveInbox;

class TLiveInputs {
public:
    TLiveInputs() = default;
    ~TLiveInputs() { Stop(); }
    TLiveInputs(const TLiveInputs&) = delete;
    TLiveInputs& operator=(const TLiveInputs&) = delete;

    // Opens every input the options name; on the first that cannot be
    // opened, stops those already open and answers why.
    std::optional<std::string> Open(const TLiveOptions& Options, const std::shared_ptr<TLiveInbox>& Inbox);
    void Stop();

    // What listens where: "http 127.0.0.1:8080", "tcp ...", "udp ...", "file PATH".
    std::vector<std::string> Addresses() const;
    // The port the first input of a kind listens on (0: none).
    std::uint16_t HttpPort() const { return FHttp.empty() ? 0 : FHttp.front()->Address().Port; }
    std::uint16_t TcpPort() const { return FTcp.empty() ? 0 : FTcp.front()->Address().Port; }
    std::uint16_t UdpPort() const { return FUdp.empty() ? 0 : FUdp.front()->Address().Port; }

private:
    std::vector<std::unique_ptr<THttpInput>> FHttp;
    std::vector<std::unique_ptr<TLineInput>> FTcp;
    std::vector<std::unique_ptr<TLineInput>> FUdp;
    std::vector<std::unique_ptr<TFileInput>> FFiles;
};

// Warnings about who may reach the inputs, one a line (empty: none): a
// network input off the loopback without a token, UDP off the loopback
// without --allow.
std::vector<std::string> LiveExposureWarnings(const TLiveOptions& Options);
