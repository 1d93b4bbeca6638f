#pragma once
// The probe's own loopback web server: serves a folder (the demo portal) on
// 127.0.0.1:80 on a thread of its own and notes when each request arrived,
// on the probe's clock, so that what the program asks for can be timed
// against what the probe sees on the screen. Requests of the stand-in
// browser engine's reports (GET /standin/report?obj=N&kind=KIND&detail=...)
// are answered at once and decoded; the engine sends each one, and waits
// for the answer, at the moment it observes the event.
//
//   ProbeServer server;
//   if (!server.Start(L"C:\\pz\\demo", false)) ... server.Error() ...
//   ... server.Requests() ...
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Milliseconds on the probe's clock (QueryPerformanceCounter), counted from
// the first call in the process.
double ProbeNowMs();

struct ProbeRequest {
    double ms = 0;          // when the request line and headers had arrived
    std::string target;     // as sent: path and query
    bool report = false;    // a stand-in report
    std::string kind;       // its kind and detail, percent-decoded
    std::string detail;
};

class ProbeServer {
public:
    ProbeServer() = default;
    ~ProbeServer();
    ProbeServer(const ProbeServer&) = delete;
    ProbeServer& operator=(const ProbeServer&) = delete;

    // Serves `root` (a folder; "/x/" is answered with x\index.html, any query
    // ignored). stripNavigate: HTML is served without its
    // "<!--standin: navigate ...-->" instructions, so that a portal page
    // stays where it is. False, with the reason in Error(), if the port
    // cannot be had.
    bool Start(const std::wstring& root, bool stripNavigate, unsigned short port = 80);
    void Stop();
    const std::string& Error() const { return m_error; }
    bool Running() const { return m_thread.joinable(); }

    std::vector<ProbeRequest> Requests() const;
    size_t Count() const;
    // Time of the latest request (-1 if none yet).
    double LastMs() const;
    // Waits until no request has arrived for quietMs (at most timeoutMs).
    void WaitQuiet(DWORD quietMs, DWORD timeoutMs) const;

    // The first page-driven navigation to a "client=1" URL reported by the
    // stand-in engine among the requests from index `from` on: its arrival
    // time, or -1.
    double GameStartNavigationMs(size_t from) const;
    // The first request whose path begins with `prefix`, from index `from`
    // on: its arrival time, or -1.
    double FirstRequestMs(const std::string& prefix, size_t from) const;

private:
    void Serve();
    void Answer(UINT_PTR client);
    std::string Body(const std::string& path, std::string* contentType, int* status) const;

    std::wstring m_root;
    bool m_stripNavigate = false;
    UINT_PTR m_listener = ~UINT_PTR(0);
    std::atomic<bool> m_stopping{false};
    std::string m_error;
    mutable std::mutex m_mutex;
    std::vector<ProbeRequest> m_requests;
    std::thread m_thread;
};
