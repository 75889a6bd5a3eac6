// The update check's GET over WinHTTP (the system's HTTP stack, proxy settings and
// certificate store), kept apart from the windows so the tests can run it alone.
#include "shell/win32/winhttp_get.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/win32/wide.h"

namespace win32_shell {

namespace {

struct Handle {
    HINTERNET h = nullptr;
    ~Handle() {
        if (h) WinHttpCloseHandle(h);
    }
};

}  // namespace

shell::HttpReply winhttp_get(const std::string& url, const std::string& user_agent, std::size_t max_body) {
    shell::HttpReply reply;
    std::wstring wide_url = platform::win32::widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {};
    wchar_t path[1024] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 1023;
    if (wide_url.empty() || !WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) return reply;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    Handle session{WinHttpOpen(platform::win32::widen(user_agent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    if (!session.h) return reply;
    Handle connection{WinHttpConnect(session.h, host, parts.nPort, 0)};
    if (!connection.h) return reply;
    Handle request{WinHttpOpenRequest(connection.h, L"GET", path[0] ? path : L"/", nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0)};
    if (!request.h) return reply;
    if (!WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.h, nullptr))
        return reply;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return reply;
    reply.status = static_cast<int>(status);
    if (status != 200) return reply;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.h, &available) || available == 0) break;
        const std::size_t at = reply.body.size();
        reply.body.resize(at + available);
        DWORD read = 0;
        if (!WinHttpReadData(request.h, reply.body.data() + at, available, &read)) {
            reply.body.resize(at);
            break;
        }
        reply.body.resize(at + read);
        if (read == 0 || reply.body.size() > max_body) break;
    }
    return reply;
}

}  // namespace win32_shell
