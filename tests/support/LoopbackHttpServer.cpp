#include "tests/support/LoopbackHttpServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <functional>

#include "tests/support/PumpMessages.h"

namespace {

// Bound of what one request may send before its headers end.
constexpr size_t kMaxRequestBytes = 16u * 1024u * 1024u;

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Query value: percent-decoding of UTF-8, '+' as a space.
std::wstring DecodeQueryValue(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else if (text[i] == '+') {
            bytes += ' ';
        } else {
            bytes += text[i];
        }
    }
    return Widen(bytes);
}

std::wstring PathPart(const std::wstring& target) { return target.substr(0, target.find(L'?')); }

bool Matches(const std::wstring& target, const std::wstring& path) {
    return target == path || PathPart(target) == path;
}

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}


}  // namespace

LoopbackHttpServer::LoopbackHttpServer() : listener_(INVALID_SOCKET) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    Stop();
    WSACleanup();
}

bool LoopbackHttpServer::Start(unsigned short port) {
    if (thread_.joinable()) return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    // The port is this server's alone: no other socket may bind it as well.
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, SOMAXCONN) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);  // for the caller, who may tell why
        return false;
    }
    int len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listener_ = s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void LoopbackHttpServer::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    thread_.join();
    closesocket(listener_);
    listener_ = INVALID_SOCKET;
}

std::wstring LoopbackHttpServer::Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
}

void LoopbackHttpServer::SetPage(const std::wstring& path, const std::string& body, const std::string& contentType) {
    SetResponse(path, 200, body, contentType);
}

void LoopbackHttpServer::SetResponse(const std::wstring& path, int status, const std::string& body,
                                     const std::string& contentType) {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_[path] = Page{status, body, contentType};
}

void LoopbackHttpServer::RemovePage(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_.erase(path);
}

std::vector<std::wstring> LoopbackHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::wstring> LoopbackHttpServer::PageRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> result;
    for (const auto& r : requests_) {
        if (PathPart(r) != L"/standin/report") result.push_back(r);
    }
    return result;
}

size_t LoopbackHttpServer::RequestCount(const std::wstring& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& r : requests_) {
        if (Matches(r, path)) ++n;
    }
    return n;
}

std::vector<LoopbackReport> LoopbackHttpServer::Reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

std::vector<LoopbackReport> LoopbackHttpServer::ReportsOf(const std::wstring& kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LoopbackReport> result;
    for (const auto& r : reports_) {
        if (r.kind == kind) result.push_back(r);
    }
    return result;
}

void LoopbackHttpServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    reports_.clear();
}

bool LoopbackHttpServer::WaitForRequest(const std::wstring& path, DWORD timeoutMs, size_t count) const {
    return PumpMessagesUntil([&] { return RequestCount(path) >= count; }, timeoutMs);
}

bool LoopbackHttpServer::WaitForReport(const std::wstring& kind, DWORD timeoutMs, size_t count) const {
    return PumpMessagesUntil([&] { return ReportsOf(kind).size() >= count; }, timeoutMs);
}

void LoopbackHttpServer::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(static_cast<SOCKET>(listener_), &readable);
        timeval tv{0, 50 * 1000};  // bounds how long Stop waits
        int n = select(0, &readable, nullptr, nullptr, &tv);
        if (n < 0) return;
        if (n == 0) continue;
        SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        HandleConnection(client);
        closesocket(client);
    }
}

void LoopbackHttpServer::HandleConnection(UINT_PTR clientHandle) {
    SOCKET client = static_cast<SOCKET>(clientHandle);
    DWORD timeout = 3000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    // Up to the end of the headers, however long the target (a URL of a
    // megabyte arrives whole); the search resumes where the last one ended.
    std::string request;
    std::vector<char> buffer(64 * 1024);
    size_t searched = 0;
    while (request.size() < kMaxRequestBytes) {
        int n = recv(client, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n <= 0) break;
        request.append(buffer.data(), static_cast<size_t>(n));
        if (request.find("\r\n\r\n", searched > 3 ? searched - 3 : 0) != std::string::npos) break;
        searched = request.size();
    }
    // "GET /target HTTP/1.0"
    size_t lineEnd = request.find("\r\n");
    std::string line = request.substr(0, lineEnd);
    size_t s1 = line.find(' ');
    size_t s2 = s1 == std::string::npos ? std::string::npos : line.find(' ', s1 + 1);
    if (s1 == std::string::npos) return;
    std::string rawTarget = line.substr(s1 + 1, s2 == std::string::npos ? std::string::npos : s2 - s1 - 1);
    std::wstring target = Widen(rawTarget);

    Page page{404, "<html><body>Not found</body></html>", "text/html"};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(target);
        if (PathPart(target) == L"/standin/report") {
            LoopbackReport report;
            std::string query = rawTarget.substr(rawTarget.find('?') == std::string::npos ? rawTarget.size()
                                                                                         : rawTarget.find('?') + 1);
            size_t pos = 0;
            while (pos <= query.size() && !query.empty()) {
                size_t amp = query.find('&', pos);
                if (amp == std::string::npos) amp = query.size();
                std::string pair = query.substr(pos, amp - pos);
                size_t eq = pair.find('=');
                std::string key = pair.substr(0, eq);
                std::wstring value = eq == std::string::npos ? std::wstring() : DecodeQueryValue(pair.substr(eq + 1));
                if (key == "obj")
                    report.object = _wtoi(value.c_str());
                else if (key == "kind")
                    report.kind = value;
                else if (key == "detail")
                    report.detail = value;
                pos = amp + 1;
            }
            reports_.push_back(report);
            page = Page{200, "ok", "text/plain"};
        } else {
            auto it = pages_.find(target);
            if (it == pages_.end()) it = pages_.find(PathPart(target));
            if (it != pages_.end()) page = it->second;
        }
    }

    std::string answer = "HTTP/1.0 " + std::to_string(page.status) + " " + Reason(page.status) +
                         "\r\nContent-Type: " + page.contentType +
                         "\r\nContent-Length: " + std::to_string(page.body.size()) +
                         "\r\nConnection: close\r\n\r\n" + page.body;
    size_t sent = 0;
    while (sent < answer.size()) {
        int n = send(client, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    shutdown(client, SD_SEND);
}
