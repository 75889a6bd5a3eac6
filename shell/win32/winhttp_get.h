#pragma once
// The update check's GET over WinHTTP.
#include <cstddef>
#include <string>

#include "shell/update.h"

namespace win32_shell {

// GETs url (http or https by its scheme) with the user agent; the body is read only for
// status 200 and reading stops once it has grown past max_body bytes. Status 0 when the
// exchange failed.
shell::HttpReply winhttp_get(const std::string& url, const std::string& user_agent, std::size_t max_body);

}  // namespace win32_shell
