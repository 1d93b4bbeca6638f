#pragma once
// Plain HTTP/1.0 over winsock for the stand-in engine: page fetches and the
// fire-and-forget reports, both to loopback servers only.
#include <windows.h>
#include <string>

namespace standin {

// An http:// URL whose host is a loopback address (127.x.x.x or localhost).
struct LoopbackUrl {
    std::string host;       // numeric address to connect to, e.g. "127.0.0.1"
    unsigned short port = 80;
    std::string target;     // path and query, at least "/"
    std::string hostPort;   // "127.0.0.1:8080", the Host header and report key
};

bool ParseLoopbackUrl(const std::wstring& url, LoopbackUrl* out);
// "127.0.0.1:PORT" (as in the STANDIN_REPORT_TO variable).
bool ParseHostPort(const std::wstring& text, LoopbackUrl* out);

struct HttpResult {
    HRESULT hr = S_OK;      // transport result (INET_E_* style on failure)
    int status = 0;         // HTTP status, 0 when no answer was read
    std::string body;
};

// One GET, connection closed by the server at the end of the answer.
HttpResult HttpGet(const LoopbackUrl& url, DWORD timeoutMs);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Percent-encoding of UTF-8 for a query value (unreserved characters kept).
std::string PercentEncode(const std::wstring& text);

}  // namespace standin
