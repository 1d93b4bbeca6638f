#pragma once
// A tiny HTTP/1.0 server on 127.0.0.1 for tests: it serves pages that the
// test sets, answers 404 for anything else, and records every request
// target (path and query) in arrival order. One background thread handles
// the connections one after another; every accessor is thread-safe. A
// request is read whole up to the end of its headers, however long its
// target (the end-to-end tests send URLs of a megabyte).
//
//     LoopbackHttpServer server;
//     ASSERT_TRUE(server.Start());               // ephemeral port (or Start(8080))
//     server.SetPage(L"/micro/", "<html>...</html>");
//     std::wstring url = server.Url(L"/micro/");  // http://127.0.0.1:PORT/micro/
//     ... navigate a browser to url ...
//     ASSERT_TRUE(server.WaitForRequest(L"/micro/", 5000));
//
// A page set for a path also answers requests of that path with any query
// ("/micro/?a=1"), unless a page is set for the exact target.
//
// The stand-in browser engine reports what it observes to the server of its
// current page as GET /standin/report?obj=N&kind=K&detail=D; those requests
// are answered 200, recorded like any other, and also decoded into Reports().
#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct LoopbackReport {
    int object = 0;        // the browser object's number (obj=)
    std::wstring kind;     // kind=
    std::wstring detail;   // detail=
};

class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();  // stops the server
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: an ephemeral port); false if it cannot,
    // with WSAGetLastError() telling why.
    bool Start(unsigned short port = 0);
    void Stop();
    unsigned short Port() const { return port_; }
    // "http://127.0.0.1:PORT" + path.
    std::wstring Url(const std::wstring& path) const;

    // Pages: 200 with `body` (SetPage), or any status (SetResponse).
    void SetPage(const std::wstring& path, const std::string& body,
                 const std::string& contentType = "text/html; charset=utf-8");
    void SetResponse(const std::wstring& path, int status, const std::string& body,
                     const std::string& contentType = "text/html; charset=utf-8");
    void RemovePage(const std::wstring& path);

    // Every request target so far (path and query, percent-encoding kept).
    std::vector<std::wstring> Requests() const;
    // The same without the stand-in engine's /standin/report requests.
    std::vector<std::wstring> PageRequests() const;
    // Requests whose target is `path` or whose path part (before '?') is `path`.
    size_t RequestCount(const std::wstring& path) const;
    // The decoded /standin/report requests, all or of one kind.
    std::vector<LoopbackReport> Reports() const;
    std::vector<LoopbackReport> ReportsOf(const std::wstring& kind) const;
    void ClearRequests();

    // Waits until RequestCount(path) >= count (or a report of `kind` arrived
    // `count` times), pumping the calling thread's messages meanwhile so a
    // browser on this thread makes progress. False when timeoutMs passed.
    bool WaitForRequest(const std::wstring& path, DWORD timeoutMs, size_t count = 1) const;
    bool WaitForReport(const std::wstring& kind, DWORD timeoutMs, size_t count = 1) const;

private:
    struct Page {
        int status = 200;
        std::string body;
        std::string contentType;
    };

    void Serve();
    void HandleConnection(UINT_PTR client);

    mutable std::mutex mutex_;
    std::map<std::wstring, Page> pages_;
    std::vector<std::wstring> requests_;
    std::vector<LoopbackReport> reports_;
    UINT_PTR listener_;
    unsigned short port_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
