#include "tests/e2e/Portal.h"

#include <winsock2.h>

#include "tests/e2e/Text.h"

namespace {

std::wstring PathPart(const std::wstring& target) { return target.substr(0, target.find(L'?')); }

std::vector<EngineReport> AsEngineReports(const std::vector<LoopbackReport>& reports) {
    return std::vector<EngineReport>(reports.begin(), reports.end());
}

}  // namespace

std::wstring EngineReport::Field(const std::wstring& key) const {
    const std::wstring prefix = key + L"=";
    size_t pos = 0;
    while (pos <= detail.size()) {
        size_t end = detail.find(L' ', pos);
        if (end == std::wstring::npos) end = detail.size();
        if (detail.compare(pos, prefix.size(), prefix) == 0) {
            std::wstring raw = detail.substr(pos + prefix.size(), end - pos - prefix.size());
            std::wstring value;
            value.reserve(raw.size());
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == L'%' && raw.compare(i, 3, L"%20") == 0) {
                    value += L' ';
                    i += 2;
                } else if (raw[i] == L'%' && raw.compare(i, 3, L"%25") == 0) {
                    value += L'%';
                    i += 2;
                } else {
                    value += raw[i];
                }
            }
            return value;
        }
        pos = end + 1;
    }
    return std::wstring();
}

Page& Page::Navigate(const std::wstring& url) {
    body_ += L"<!--standin: navigate " + url + L"-->\n";
    return *this;
}

Page& Page::Frame(const std::wstring& name, const std::wstring& url) {
    body_ += L"<!--standin: frame " + name + L" " + url + L"-->\n";
    return *this;
}

Page& Page::Colour(const std::wstring& hash) {
    body_ += L"<!--standin: color " + hash + L"-->\n";
    return *this;
}

Page& Page::Report(const std::wstring& text) {
    body_ += L"<!--standin: report " + text + L"-->\n";
    return *this;
}

std::string Page::Html() const { return "<html><body>\n" + ToUtf8(body_) + "</body></html>\n"; }

bool Portal::Start(unsigned short port) {
    if (started_) return true;
    if (!server_.Start(port)) {
        const int err = WSAGetLastError();
        error_ = L"cannot listen on 127.0.0.1:" + std::to_wstring(port) + L" (WSA error " + std::to_wstring(err) +
                 (err == WSAEADDRINUSE ? L": the port is taken by another server; stop it and run again)"
                 : err == WSAEACCES    ? L": permission denied; the tests must run as root)"
                                       : L")");
        return false;
    }
    started_ = true;
    return true;
}

void Portal::SetPage(const std::string& path, const std::string& utf8Body) {
    const std::wstring widePath = FromUtf8(path);
    server_.SetPage(widePath, utf8Body);
    paths_.insert(widePath);
}

void Portal::ClearPages() {
    for (const auto& path : paths_) server_.RemovePage(path);
    paths_.clear();
}

void Portal::ClearRecords() { server_.ClearRequests(); }

size_t Portal::RequestCount(const std::wstring& target) const {
    size_t n = 0;
    for (const auto& r : server_.PageRequests()) n += r == target ? 1 : 0;
    return n;
}

size_t Portal::PathRequestCount(const std::wstring& path) const {
    size_t n = 0;
    for (const auto& r : server_.PageRequests()) n += PathPart(r) == path ? 1 : 0;
    return n;
}

std::vector<EngineReport> Portal::Reports() const { return AsEngineReports(server_.Reports()); }

std::vector<EngineReport> Portal::ReportsOf(const std::wstring& kind) const {
    return AsEngineReports(server_.ReportsOf(kind));
}

std::vector<EngineReport> Portal::ReportsWhere(const std::wstring& kind, const std::wstring& key,
                                               const std::wstring& value, int object) const {
    std::vector<EngineReport> result;
    for (const auto& r : ReportsOf(kind))
        if ((object == 0 || r.object == object) && r.Field(key) == value) result.push_back(r);
    return result;
}

bool Portal::WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (pred()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);  // what pred() waits for comes from the server's thread
    }
}

bool Portal::WaitForRequests(const std::wstring& path, size_t count, DWORD timeoutMs) const {
    return WaitUntil([&] { return PathRequestCount(path) >= count; }, timeoutMs);
}
