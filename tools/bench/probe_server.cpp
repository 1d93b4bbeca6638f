#include <winsock2.h>
#include <ws2tcpip.h>

#include "tools/bench/probe_server.h"

#include <cstdio>
#include <memory>
#include <type_traits>

namespace {

struct HandleCloser { void operator()(HANDLE h) const { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); } };
using UniqueFile = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// A socket closed when it goes out of scope.
class Socket {
public:
    explicit Socket(SOCKET s) : m_s(s) {}
    ~Socket() { if (m_s != INVALID_SOCKET) closesocket(m_s); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return m_s; }

private:
    SOCKET m_s;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else if (text[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The value of `key` in a query string ("" when absent), still encoded.
std::string QueryValue(const std::string& query, const std::string& key) {
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t end = query.find('&', pos);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(pos, end - pos);
        if (pair.compare(0, key.size() + 1, key + "=") == 0) return pair.substr(key.size() + 1);
        pos = end + 1;
    }
    return std::string();
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

bool EndsWith(const std::string& text, const char* tail) {
    const size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Removes every "<!--standin: navigate ...-->" comment.
std::string StripNavigate(std::string html) {
    const std::string open = "<!--standin: navigate";
    for (size_t at = html.find(open); at != std::string::npos; at = html.find(open, at)) {
        size_t end = html.find("-->", at);
        if (end == std::string::npos) break;
        html.erase(at, end + 3 - at);
    }
    return html;
}

}  // namespace

double ProbeNowMs() {
    static LARGE_INTEGER frequency{}, start{};
    if (!frequency.QuadPart) {
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

ProbeServer::~ProbeServer() { Stop(); }

bool ProbeServer::Start(const std::wstring& root, bool stripNavigate, unsigned short port) {
    Stop();
    m_root = root;
    m_stripNavigate = stripNavigate;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        m_error = "WSAStartup failed";
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        m_error = "no socket";
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0) {
        char text[96];
        std::snprintf(text, sizeof text, "127.0.0.1:%u cannot be had (error %d): another server holds it",
                      port, WSAGetLastError());
        m_error = text;
        closesocket(s);
        return false;
    }
    m_listener = s;
    m_stopping = false;
    ProbeNowMs();
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void ProbeServer::Stop() {
    if (!m_thread.joinable()) return;
    m_stopping = true;
    m_thread.join();
    closesocket(static_cast<SOCKET>(m_listener));
    m_listener = ~UINT_PTR(0);
}

void ProbeServer::Serve() {
    const SOCKET listener = static_cast<SOCKET>(m_listener);
    while (!m_stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait{0, 50 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        Answer(client);
    }
}

void ProbeServer::Answer(UINT_PTR clientSocket) {
    Socket client(static_cast<SOCKET>(clientSocket));
    DWORD timeout = 2000;
    setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < (1u << 20)) {
        int n = recv(client.get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, n);
    }
    ProbeRequest request;
    request.ms = ProbeNowMs();
    const size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const size_t space1 = line.find(' ');
    const size_t space2 = space1 == std::string::npos ? std::string::npos : line.find(' ', space1 + 1);
    if (space1 == std::string::npos) return;
    const std::string method = line.substr(0, space1);
    request.target = line.substr(space1 + 1, space2 == std::string::npos ? std::string::npos : space2 - space1 - 1);
    const size_t question = request.target.find('?');
    const std::string path = request.target.substr(0, question);
    const std::string query = question == std::string::npos ? std::string() : request.target.substr(question + 1);

    std::string body, contentType = "text/plain", statusText;
    int status = 200;
    if (path == "/standin/report") {
        request.report = true;
        request.kind = PercentDecode(QueryValue(query, "kind"));
        request.detail = PercentDecode(QueryValue(query, "detail"));
        body = "ok";
    } else {
        body = Body(path, &contentType, &status);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    statusText = status == 200 ? "200 OK" : "404 Not Found";
    std::string answer = "HTTP/1.0 " + statusText + "\r\nContent-Type: " + contentType +
                         "\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    if (method != "HEAD") answer += body;
    for (size_t sent = 0; sent < answer.size();) {
        int n = send(client.get(), answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    shutdown(client.get(), SD_SEND);
}

std::string ProbeServer::Body(const std::string& path, std::string* contentType, int* status) const {
    *status = 404;
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) return "not found";
    std::string relative = path.substr(1);
    if (relative.empty() || relative.back() == '/') relative += "index.html";
    std::wstring file = m_root;
    if (!file.empty() && file.back() != L'\\' && file.back() != L'/') file.push_back(L'\\');
    for (wchar_t c : Widen(PercentDecode(relative))) file.push_back(c == L'/' ? L'\\' : c);
    UniqueFile handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return "not found";
    std::string body;
    char buffer[8192];
    DWORD n = 0;
    while (ReadFile(handle.get(), buffer, sizeof buffer, &n, nullptr) && n) body.append(buffer, n);
    *status = 200;
    if (EndsWith(relative, ".html") || EndsWith(relative, ".htm")) {
        *contentType = "text/html; charset=utf-8";
        if (m_stripNavigate) body = StripNavigate(body);
    } else if (EndsWith(relative, ".png")) {
        *contentType = "image/png";
    } else if (EndsWith(relative, ".css")) {
        *contentType = "text/css";
    } else if (EndsWith(relative, ".js")) {
        *contentType = "application/javascript";
    } else {
        *contentType = "application/octet-stream";
    }
    return body;
}

std::vector<ProbeRequest> ProbeServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t ProbeServer::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

double ProbeServer::LastMs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.empty() ? -1 : m_requests.back().ms;
}

void ProbeServer::WaitQuiet(DWORD quietMs, DWORD timeoutMs) const {
    const double start = ProbeNowMs();
    for (;;) {
        const double now = ProbeNowMs();
        const double last = LastMs();
        if (now - (last > start ? last : start) >= quietMs || now - start >= timeoutMs) return;
        Sleep(10);
    }
}

double ProbeServer::GameStartNavigationMs(size_t from) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = from; i < m_requests.size(); ++i) {
        const ProbeRequest& r = m_requests[i];
        if (r.report && r.kind == "Navigate" && r.detail.find("by=page") != std::string::npos &&
            r.detail.find("client=1") != std::string::npos)
            return r.ms;
    }
    return -1;
}

double ProbeServer::FirstRequestMs(const std::string& prefix, size_t from) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = from; i < m_requests.size(); ++i) {
        if (!m_requests[i].report && m_requests[i].target.compare(0, prefix.size(), prefix) == 0)
            return m_requests[i].ms;
    }
    return -1;
}
