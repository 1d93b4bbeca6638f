#include "tests/standin/StandinHttp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace standin {
namespace {

// URL moniker style results for the navigation error event.
constexpr HRESULT kInetInvalidUrl = static_cast<HRESULT>(0x800C0002);
constexpr HRESULT kInetCannotConnect = static_cast<HRESULT>(0x800C0004);
constexpr HRESULT kInetTimeout = static_cast<HRESULT>(0x800C000B);
constexpr HRESULT kInetDownloadFailure = static_cast<HRESULT>(0x800C0008);

void EnsureWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);  // kept for the life of the process
    });
}

class Socket {
public:
    Socket() : s_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
    ~Socket() {
        if (s_ != INVALID_SOCKET) closesocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return s_; }
    bool valid() const { return s_ != INVALID_SOCKET; }

private:
    SOCKET s_;
};

bool ParseLoopbackHost(const std::string& host, std::string* numeric) {
    if (host == "localhost") {
        *numeric = "127.0.0.1";
        return true;
    }
    int parts[4];
    int n = 0;
    size_t i = 0;
    while (n < 4) {
        size_t start = i;
        int value = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9' && i - start < 3)
            value = value * 10 + (host[i++] - '0');
        if (i == start || value > 255) return false;
        parts[n++] = value;
        if (n < 4) {
            if (i >= host.size() || host[i] != '.') return false;
            ++i;
        }
    }
    if (i != host.size() || parts[0] != 127) return false;
    *numeric = host;
    return true;
}

bool ParsePort(const std::string& text, unsigned short* port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = static_cast<unsigned short>(value);
    return true;
}

bool ParseAuthority(const std::string& authority, LoopbackUrl* out) {
    std::string host = authority;
    unsigned short port = 80;
    size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        host = authority.substr(0, colon);
        if (!ParsePort(authority.substr(colon + 1), &port)) return false;
    }
    std::string numeric;
    if (!ParseLoopbackHost(host, &numeric)) return false;
    out->host = numeric;
    out->port = port;
    out->hostPort = numeric + ":" + std::to_string(port);
    return true;
}

bool SendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool ParseLoopbackUrl(const std::wstring& url, LoopbackUrl* out) {
    std::string text = ToUtf8(url);
    const std::string scheme = "http://";
    if (text.size() <= scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
    }
    std::string rest = text.substr(scheme.size());
    size_t slash = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, slash);
    std::string target = slash == std::string::npos ? "/" : rest.substr(slash);
    size_t hash = target.find('#');
    if (hash != std::string::npos) target.erase(hash);
    if (target.empty() || target[0] != '/') target.insert(target.begin(), '/');
    LoopbackUrl result;
    if (!ParseAuthority(authority, &result)) return false;
    result.target = target;
    *out = result;
    return true;
}

bool ParseHostPort(const std::wstring& text, LoopbackUrl* out) {
    LoopbackUrl result;
    if (!ParseAuthority(ToUtf8(text), &result)) return false;
    result.target = "/";
    *out = result;
    return true;
}

HttpResult HttpGet(const LoopbackUrl& url, DWORD timeoutMs) {
    EnsureWinsock();
    HttpResult result;
    Socket sock;
    if (!sock.valid()) {
        result.hr = kInetCannotConnect;
        return result;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(url.port);
    addr.sin_addr.s_addr = inet_addr(url.host.c_str());
    if (addr.sin_addr.s_addr == INADDR_NONE) {
        result.hr = kInetInvalidUrl;
        return result;
    }

    // Connect with a bound on the wait, then go back to blocking mode.
    u_long nonBlocking = 1;
    ioctlsocket(sock.get(), FIONBIO, &nonBlocking);
    if (connect(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            result.hr = kInetCannotConnect;
            return result;
        }
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock.get(), &writable);
        FD_SET(sock.get(), &failed);
        timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
        int n = select(0, nullptr, &writable, &failed, &tv);
        if (n == 0) {
            result.hr = kInetTimeout;
            return result;
        }
        if (n < 0 || FD_ISSET(sock.get(), &failed) || !FD_ISSET(sock.get(), &writable)) {
            result.hr = kInetCannotConnect;
            return result;
        }
    }
    nonBlocking = 0;
    ioctlsocket(sock.get(), FIONBIO, &nonBlocking);
    DWORD tmo = timeoutMs;
    setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&tmo), sizeof tmo);
    setsockopt(sock.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&tmo), sizeof tmo);

    std::string request = "GET " + url.target + " HTTP/1.0\r\nHost: " + url.hostPort +
                          "\r\nUser-Agent: StandinBrowser/1.0\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    if (!SendAll(sock.get(), request)) {
        result.hr = kInetDownloadFailure;
        return result;
    }

    std::string answer;
    char buffer[4096];
    for (;;) {
        int n = recv(sock.get(), buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n < 0) {
            if (WSAGetLastError() == WSAETIMEDOUT && answer.empty()) {
                result.hr = kInetTimeout;
                return result;
            }
            break;
        }
        answer.append(buffer, static_cast<size_t>(n));
    }

    // Status line "HTTP/1.x NNN reason", headers, blank line, body.
    size_t lineEnd = answer.find("\r\n");
    if (answer.compare(0, 5, "HTTP/") != 0 || lineEnd == std::string::npos) {
        result.hr = kInetDownloadFailure;
        return result;
    }
    size_t space = answer.find(' ');
    if (space == std::string::npos || space > lineEnd) {
        result.hr = kInetDownloadFailure;
        return result;
    }
    result.status = std::atoi(answer.c_str() + space + 1);
    size_t headersEnd = answer.find("\r\n\r\n");
    if (headersEnd != std::string::npos) result.body = answer.substr(headersEnd + 4);
    return result;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string PercentEncode(const std::wstring& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : ToUtf8(text)) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace standin
