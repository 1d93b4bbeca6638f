#pragma once
// The loopback portal of the end-to-end tests, on the tests' small HTTP
// server (tests/support/LoopbackHttpServer): 127.0.0.1, port 80, where the
// program looks for its server list (http://127.0.0.1/micro/). It serves the
// pages a test sets, answers 404 for anything else, and records every
// request target in arrival order; requests of any length arrive whole (the
// tests feed the program URLs of a megabyte). The stand-in browser engine
// inside the program reports what it observes here as
// GET /standin/report?obj=N&kind=KIND&detail=DETAIL; those requests are
// decoded into Reports() and kept apart from the page requests.
//
//     Portal portal;
//     ASSERT_TRUE(portal.Start(80)) << portal.Error();
//     portal.SetPage("/micro/", Page().Navigate(L"http://127.0.0.1/game/?client=1").Html());
//     ... start the program ...
//     ASSERT_TRUE(portal.WaitForRequests(L"/micro/", 1, 5000));
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/LoopbackHttpServer.h"

// One observation of the stand-in engine: which browser object (numbered by
// creation in the program), what kind, and its key=value fields.
struct EngineReport : LoopbackReport {
    EngineReport() = default;
    explicit EngineReport(const LoopbackReport& report) : LoopbackReport(report) {}

    // The value of one field ("" when absent), with the engine's %20 and %25
    // escapes undone.
    std::wstring Field(const std::wstring& key) const;
};

// A test page: the stand-in's instructions, in the order it runs them.
class Page {
public:
    Page& Navigate(const std::wstring& url);
    Page& Frame(const std::wstring& name, const std::wstring& url);
    Page& Colour(const std::wstring& hash);  // "#RRGGBB"
    Page& Report(const std::wstring& text);
    std::string Html() const;  // UTF-8

private:
    std::wstring body_;
};

class Portal {
public:
    static constexpr unsigned short kDefaultPort = 80;

    // Listens on 127.0.0.1:port. False, with the reason in Error(), when the
    // port cannot be had (another server holds it).
    bool Start(unsigned short port);
    const std::wstring& Error() const { return error_; }
    bool Started() const { return started_; }

    // Pages by path: a page answers its path with any query string.
    void SetPage(const std::string& path, const std::string& utf8Body);
    void ClearPages();
    // Forgets every request and report so far.
    void ClearRecords();

    // Page requests (reports excluded) whose whole target (path and query,
    // as sent) is `target`.
    size_t RequestCount(const std::wstring& target) const;
    // Page requests whose path (before '?') is `path`.
    size_t PathRequestCount(const std::wstring& path) const;

    std::vector<EngineReport> Reports() const;
    std::vector<EngineReport> ReportsOf(const std::wstring& kind) const;
    // Reports of `kind` whose field `key` is `value` (object 0: any object).
    std::vector<EngineReport> ReportsWhere(const std::wstring& kind, const std::wstring& key,
                                           const std::wstring& value, int object = 0) const;

    // Waits, at most timeoutMs, until pred() holds; pred() is asked again
    // every few milliseconds.
    bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) const;
    bool WaitForRequests(const std::wstring& path, size_t count, DWORD timeoutMs) const;

private:
    LoopbackHttpServer server_;
    std::set<std::wstring> paths_;  // of the pages set, for ClearPages
    bool started_ = false;
    std::wstring error_;
};
