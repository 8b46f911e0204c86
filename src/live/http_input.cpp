#include "live/http_input.h"

#include "live/live_inbox.h"
#include "platform/log.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr const char* PlainText = "text/plain; charset=utf-8";

void Answer(httplib::Response& Res, int Status, const std::string& Body)
{
    Res.status = Status;
    Res.set_content(Body + "\n", PlainText);
}

std::string BearerToken(const httplib::Request& Req)
{
    const std::string A = Req.get_header_value("Authorization");
    const std::string Prefix = "Bearer ";
    return A.rfind(Prefix, 0) == 0 ? A.substr(Prefix.size()) : std::string();
}

void Update(TLiveInbox& Inbox, const httplib::Request& Req, httplib::Response& Res)
{
    const TSourceAddress From = TSourceAddress::Parse(Req.remote_addr);
    const std::string Source = "http " + From.Text() + ":" + std::to_string(Req.remote_port);
    if (auto Why = Inbox.Admit(From, "http")) {
        Answer(Res, Why->rfind("too many", 0) == 0 ? 429 : 403, *Why);
        return;
    }
    if (Req.target.size() > MaxRequestBytes) {
        Answer(Res, 414, "the request is longer than " + std::to_string(MaxRequestBytes) + " bytes");
        return;
    }
    TLiveFields Fields;
    std::string Token = BearerToken(Req);
    for (const auto& [Key, Value] : Req.params) {
        if (Key == "token")
            Token = Value;
        else if (!SetLiveField(Fields, Key, Value))
            kvx::log::Debug("%s: parameter %s ignored", Source.c_str(), Key.c_str());
    }
    // A plain-text body is one line, as the TCP input takes it.
    if (Req.method == "POST" && Req.get_header_value("Content-Type").rfind("text/plain", 0) == 0) {
        const std::string Line = Req.body.substr(0, Req.body.find_first_of("\r\n"));
        const TLiveFields F = ParseLiveLine(Line);
        for (std::string TLiveFields::*Field :
            {&TLiveFields::Text, &TLiveFields::Dps, &TLiveFields::Artist, &TLiveFields::Title})
            if (!(F.*Field).empty())
                Fields.*Field = F.*Field;
    }
    if (Inbox.TokenNeeded() && !Inbox.TokenMatches(Token)) {
        const char* Why = Token.empty() ? "a token is needed (token=...)" : "wrong token";
        kvx::log::Warn("%s: refused: %s", Source.c_str(), Why);
        Answer(Res, 401, Why);
        return;
    }
    kvx::log::Debug("%s: %s %s", Source.c_str(), Req.method.c_str(), Req.path.c_str());
    const TLiveAnswer A = Inbox.Submit(Fields, Source);
    switch (A.Kind) {
    case TLiveDecision::ldSend:
        Answer(Res, 200, A.Text);
        break;
    case TLiveDecision::ldSkip:
        Answer(Res, 200, "skipped (" + A.Reason + ")");
        break;
    case TLiveDecision::ldRefuse:
        Answer(Res, 400, A.Reason);
        break;
    }
}

} // namespace

THttpInput::THttpInput(const TListenAddress& Where, std::shared_ptr<TLiveInbox> Inbox)
    : FWhere(Where), FInbox(std::move(Inbox)), FServer(std::make_unique<httplib::Server>())
{
}

THttpInput::~THttpInput()
{
    Stop();
}

std::optional<std::string> THttpInput::Start()
{
    httplib::Server& S = *FServer;
    // A few workers; one request per connection, so that no worker waits on
    // an idle kept-alive connection; short time-outs for clients that stall.
    S.new_task_queue = [] { return new httplib::ThreadPool(4); };
    S.set_keep_alive_max_count(1);
    S.set_keep_alive_timeout(2);
    S.set_read_timeout(5);
    S.set_write_timeout(5);
    S.set_payload_max_length(MaxRequestBytes);
    TLiveInbox& Inbox = *FInbox;
    const auto Guarded = [&Inbox](const httplib::Request& Req, httplib::Response& Res) {
        // Nothing escapes to the server's threads.
        try {
            Update(Inbox, Req, Res);
        } catch (...) {
            kvx::log::Caught("HTTP input");
            Answer(Res, 500, "internal error");
        }
    };
    S.Get("/", Guarded);
    S.Post("/", Guarded);
    S.Get("/status", [&Inbox](const httplib::Request& Req, httplib::Response& Res) {
        try {
            const TSourceAddress From = TSourceAddress::Parse(Req.remote_addr);
            if (auto Why = Inbox.Admit(From, "http")) {
                Answer(Res, Why->rfind("too many", 0) == 0 ? 429 : 403, *Why);
                return;
            }
            Res.set_content(Inbox.StatusJson() + "\n", "application/json");
        } catch (...) {
            kvx::log::Caught("HTTP status");
            Answer(Res, 500, "internal error");
        }
    });
    S.set_error_handler([](const httplib::Request&, httplib::Response& Res) {
        if (Res.status == 413)
            Answer(Res, 413, "the request is longer than " + std::to_string(MaxRequestBytes) + " bytes");
        else if (Res.status == 404)
            Answer(Res, 404, "not found: use / (updates) or /status");
    });
    errno = 0;
    bool Bound = false;
    if (FWhere.Port == 0) {
        const int Port = S.bind_to_any_port(FWhere.Host);
        Bound = Port > 0;
        if (Bound)
            FWhere.Port = static_cast<std::uint16_t>(Port);
    } else
        Bound = S.bind_to_port(FWhere.Host, FWhere.Port);
    if (!Bound) {
        const int Err = errno;
        return "cannot listen for HTTP on " + FWhere.Text() + (Err ? std::string(": ") + std::strerror(Err) : "");
    }
    FThread = std::thread([this] {
        try {
            FServer->listen_after_bind();
        } catch (...) {
            kvx::log::Caught("HTTP server");
        }
        FDone = true;
    });
    return std::nullopt;
}

void THttpInput::Stop()
{
    if (!FThread.joinable())
        return;
    // The server may not be serving yet, and then does not hear a stop:
    // ask again until its thread is done.
    while (!FDone) {
        FServer->stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FThread.join();
}
