#include "tests/e2e/Portal.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

#include "tests/e2e/Text.h"

namespace {

constexpr size_t kMaxRequestBytes = 64u * 1024u * 1024u;
constexpr DWORD kSocketTimeoutMs = 5000;

std::string PathPart(const std::string& target) { return target.substr(0, target.find('?')); }

std::wstring PathPart(const std::wstring& target) { return target.substr(0, target.find(L'?')); }

void SendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

EngineReport DecodeReport(const std::string& target) {
    EngineReport report;
    const size_t q = target.find('?');
    const std::string query = q == std::string::npos ? std::string() : target.substr(q + 1);
    size_t pos = 0;
    while (pos < query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos) amp = query.size();
        const std::string pair = query.substr(pos, amp - pos);
        const size_t eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        const std::wstring value = eq == std::string::npos ? std::wstring() : FromUtf8(PercentDecode(pair.substr(eq + 1)));
        if (key == "obj") report.object = _wtoi(value.c_str());
        else if (key == "kind") report.kind = value;
        else if (key == "detail") report.detail = value;
        pos = amp + 1;
    }
    return report;
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

Portal::Portal() : listener_(INVALID_SOCKET) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

Portal::~Portal() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        thread_.join();
    }
    if (listener_ != INVALID_SOCKET) closesocket(static_cast<SOCKET>(listener_));
    WSACleanup();
}

bool Portal::Start(unsigned short port) {
    if (thread_.joinable()) return true;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error_ = L"no socket: WSA error " + std::to_wstring(WSAGetLastError());
        return false;
    }
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, SOMAXCONN) != 0) {
        const int err = WSAGetLastError();
        closesocket(s);
        error_ = L"cannot listen on 127.0.0.1:" + std::to_wstring(port) + L" (WSA error " + std::to_wstring(err) +
                 (err == WSAEADDRINUSE ? L": the port is taken by another server; stop it and run again)"
                 : err == WSAEACCES    ? L": permission denied; the tests must run as root)"
                                       : L")");
        return false;
    }
    listener_ = s;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void Portal::SetPage(const std::string& path, const std::string& utf8Body) {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_[path] = utf8Body;
}

void Portal::ClearPages() {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_.clear();
}

void Portal::ClearRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    reports_.clear();
}

size_t Portal::RequestCount(const std::wstring& target) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& r : requests_) n += r == target ? 1 : 0;
    return n;
}

size_t Portal::PathRequestCount(const std::wstring& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& r : requests_) n += PathPart(r) == path ? 1 : 0;
    return n;
}

std::vector<EngineReport> Portal::Reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

std::vector<EngineReport> Portal::ReportsOf(const std::wstring& kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<EngineReport> result;
    for (const auto& r : reports_)
        if (r.kind == kind) result.push_back(r);
    return result;
}

std::vector<EngineReport> Portal::ReportsWhere(const std::wstring& kind, const std::wstring& key,
                                               const std::wstring& value, int object) const {
    std::vector<EngineReport> result;
    for (const auto& r : ReportsOf(kind))
        if ((object == 0 || r.object == object) && r.Field(key) == value) result.push_back(r);
    return result;
}

bool Portal::WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(50));
    }
}

bool Portal::WaitForRequests(const std::wstring& path, size_t count, DWORD timeoutMs) const {
    return WaitUntil([&] { return PathRequestCount(path) >= count; }, timeoutMs);
}

void Portal::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(static_cast<SOCKET>(listener_), &readable);
        timeval tv{0, 50 * 1000};
        const int n = select(0, &readable, nullptr, nullptr, &tv);
        if (n < 0) return;
        if (n == 0) continue;
        SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        HandleConnection(client);
        closesocket(client);
    }
}

void Portal::HandleConnection(UINT_PTR clientHandle) {
    SOCKET client = static_cast<SOCKET>(clientHandle);
    DWORD timeout = kSocketTimeoutMs;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    std::string request;
    std::vector<char> buffer(64 * 1024);
    size_t searched = 0;
    while (request.size() < kMaxRequestBytes) {
        const int n = recv(client, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n <= 0) break;
        request.append(buffer.data(), static_cast<size_t>(n));
        const size_t from = searched > 3 ? searched - 3 : 0;
        if (request.find("\r\n\r\n", from) != std::string::npos) break;
        searched = request.size();
    }
    // "GET /target HTTP/1.0"
    const std::string line = request.substr(0, request.find("\r\n"));
    const size_t s1 = line.find(' ');
    if (s1 == std::string::npos) return;
    const size_t s2 = line.find(' ', s1 + 1);
    const std::string target = line.substr(s1 + 1, s2 == std::string::npos ? std::string::npos : s2 - s1 - 1);

    int status = 404;
    std::string body = "<html><body>Not found</body></html>";
    std::string type = "text/html";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (PathPart(target) == "/standin/report") {
            reports_.push_back(DecodeReport(target));
            status = 200;
            body = "ok";
            type = "text/plain";
        } else {
            requests_.push_back(FromUtf8(target));
            auto it = pages_.find(PathPart(target));
            if (it != pages_.end()) {
                status = 200;
                body = it->second;
                type = "text/html; charset=utf-8";
            }
        }
    }
    arrived_.notify_all();

    const std::string answer = "HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
                               "\r\nContent-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    SendAll(client, answer);
    shutdown(client, SD_SEND);
}
