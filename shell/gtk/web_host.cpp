#include "shell/gtk/web_host.h"

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include "bridge/pictures.h"
#include "bridge/protocol.h"
#include "core/files.h"
#include "shell/web_resource.h"

namespace gtk_shell {

namespace {

// The largest file of the room is a few MiB of models; nothing we serve is near this.
constexpr std::uintmax_t MAX_SERVED_BYTES = 64ull * 1024 * 1024;
constexpr const char* DELIVER_FUNCTION = "__quenvaleDeliver";
constexpr const char* AUTOMATION_NAME = "quenvale";

const char* const SHIM = R"JS((() => {
  if (window.chrome && window.chrome.webview) return;
  const handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.host;
  if (!handler) return;
  const target = new EventTarget();
  const webview = Object.freeze({
    postMessage(message) {
      const text = JSON.stringify(message);
      if (typeof text === 'string') handler.postMessage(text);
    },
    addEventListener(type, listener, options) { target.addEventListener(type, listener, options); },
    removeEventListener(type, listener, options) { target.removeEventListener(type, listener, options); },
  });
  Object.defineProperty(window, 'chrome', { value: Object.freeze({ webview }), writable: false, configurable: false });
  Object.defineProperty(window, '__quenvaleDeliver', {
    value: (data) => { target.dispatchEvent(new MessageEvent('message', { data })); },
    writable: false, configurable: false, enumerable: false,
  });
})();)JS";

struct WebHost {
    WebHostOptions options;
    std::string start_prefix;     // "quenvale://room/"
    bool page_started = false;    // the current document has the shim
    bool ever_started = false;
    bool automation_view_given = false;
    WebKitWebView* view = nullptr;
};

WebHost* host_of(GtkWidget* view) {
    return static_cast<WebHost*>(g_object_get_data(G_OBJECT(view), "quenvale-web-host"));
}

bool on_our_scheme(const WebHost& host, const char* uri) {
    return uri && std::string_view(uri).substr(0, host.start_prefix.size()) == host.start_prefix;
}

void answer(WebKitURISchemeRequest* request, int status, const std::string& type, GBytes* body) {
    GInputStream* stream = g_memory_input_stream_new_from_bytes(body);
    WebKitURISchemeResponse* response =
        webkit_uri_scheme_response_new(stream, static_cast<gint64>(g_bytes_get_size(body)));
    webkit_uri_scheme_response_set_status(response, static_cast<guint>(status), nullptr);
    webkit_uri_scheme_response_set_content_type(response, type.c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    // Headers given here replace the response's own, the content type among them.
    soup_message_headers_append(headers, "Content-Type", type.c_str());
    soup_message_headers_append(headers, "Access-Control-Allow-Origin", "*");
    // Frame pictures are replaced under the same name when a frame changes hands.
    soup_message_headers_append(headers, "Cache-Control", "no-cache");
    webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
}

void serve(WebKitURISchemeRequest* request, gpointer data) {
    const WebHost& host = *static_cast<WebHost*>(data);
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    std::string path;
    if (on_our_scheme(host, uri)) {
        std::string_view rest = std::string_view(uri).substr(host.start_prefix.size() - 1);
        rest = rest.substr(0, rest.find_first_of("?#"));
        path = shell::resolve_web_resource(host.options.web_folder, bridge::spots_folder(), rest);
    }
    std::string body;
    if (path.empty() || !core::read_file(path, body, MAX_SERVED_BYTES)) {
        GBytes* empty = g_bytes_new_static("", 0);
        answer(request, 404, "text/plain", empty);
        g_bytes_unref(empty);
        return;
    }
    auto* heap = new std::string(std::move(body));
    GBytes* bytes = g_bytes_new_with_free_func(heap->data(), heap->size(),
                                               [](gpointer p) { delete static_cast<std::string*>(p); }, heap);
    answer(request, 200, shell::web_mime_type(path), bytes);
    g_bytes_unref(bytes);
}

void on_page_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!value || !jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    if (!text) return;
    bridge::dispatch_page_message(text);
    g_free(text);
}

gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data) {
    const WebHost& host = *static_cast<WebHost*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    if (on_our_scheme(host, webkit_uri_request_get_uri(request)))
        webkit_policy_decision_use(decision);
    else
        webkit_policy_decision_ignore(decision);
    return TRUE;
}

void on_load_changed(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    WebHost& host = *static_cast<WebHost*>(data);
    if (event == WEBKIT_LOAD_STARTED) host.page_started = false;
    if (event == WEBKIT_LOAD_COMMITTED) {
        host.page_started = on_our_scheme(host, webkit_web_view_get_uri(view));
        host.ever_started = host.ever_started || host.page_started;
    }
}

void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
    WebHost& host = *static_cast<WebHost*>(data);
    host.page_started = false;
    if (!host.ever_started && host.options.failed) host.options.failed();
}

gboolean on_context_menu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer) {
    return TRUE;
}

void on_view_close(WebKitWebView*, gpointer data) {
    WebHost& host = *static_cast<WebHost*>(data);
    if (host.options.closed) host.options.closed();
}

WebKitWebView* on_automation_create_view(WebKitAutomationSession*, gpointer data) {
    WebHost& host = *static_cast<WebHost*>(data);
    // The session drives the program's one view; it gets no second.
    if (host.automation_view_given) return nullptr;
    host.automation_view_given = true;
    return host.view;
}

void on_automation_started(WebKitWebContext*, WebKitAutomationSession* session, gpointer data) {
    WebKitApplicationInfo* info = webkit_application_info_new();
    webkit_application_info_set_name(info, AUTOMATION_NAME);
    webkit_automation_session_set_application_info(session, info);
    webkit_application_info_unref(info);
    g_signal_connect(session, "create-web-view", G_CALLBACK(on_automation_create_view), data);
}

}  // namespace

const char* webview_shim_script() { return SHIM; }

GtkWidget* web_host_new(const WebHostOptions& options) {
    auto* host = new WebHost{options, std::string(shell::WEB_SCHEME) + "://" + shell::WEB_HOST + "/"};

    const std::string data_dir = options.data_folder + "/webview";
    const std::string cache_dir = options.data_folder + "/webview-cache";
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
        "base-data-directory", data_dir.c_str(), "base-cache-directory", cache_dir.c_str(), nullptr);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    webkit_web_context_register_uri_scheme(context, shell::WEB_SCHEME, serve, host, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, shell::WEB_SCHEME);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, shell::WEB_SCHEME);
    if (options.automation) {
        webkit_web_context_set_automation_allowed(context, TRUE);
        g_signal_connect(context, "automation-started", G_CALLBACK(on_automation_started), host);
    }

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    const char* allow[] = {"quenvale://room/*", nullptr};
    WebKitUserScript* script = webkit_user_script_new(SHIM, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    webkit_user_content_manager_register_script_message_handler(content, "host");
    g_signal_connect(content, "script-message-received::host", G_CALLBACK(on_page_message), host);

    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_webgl(settings, TRUE);
    webkit_settings_set_enable_javascript(settings, TRUE);

    GtkWidget* widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager",
                                                content, "settings", settings, "is-controlled-by-automation",
                                                options.automation ? TRUE : FALSE, nullptr));
    g_object_unref(settings);
    g_object_unref(content);
    if (!widget) {
        g_object_unref(context);
        delete host;
        return nullptr;
    }
    // The view holds the context; the host lives as long as the view.
    g_object_set_data_full(G_OBJECT(widget), "quenvale-web-host", host, [](gpointer p) { delete static_cast<WebHost*>(p); });
    g_object_set_data_full(G_OBJECT(widget), "quenvale-web-context", context, g_object_unref);
    host->view = WEBKIT_WEB_VIEW(widget);

    const GdkRGBA background{6 / 255.0, 8 / 255.0, 14 / 255.0, 1.0};
    webkit_web_view_set_background_color(host->view, &background);
    g_signal_connect(widget, "decide-policy", G_CALLBACK(on_decide_policy), host);
    g_signal_connect(widget, "load-changed", G_CALLBACK(on_load_changed), host);
    g_signal_connect(widget, "web-process-terminated", G_CALLBACK(on_web_process_terminated), host);
    g_signal_connect(widget, "context-menu", G_CALLBACK(on_context_menu), host);
    g_signal_connect(widget, "close", G_CALLBACK(on_view_close), host);
    webkit_web_view_load_uri(host->view, shell::WEB_START_URL);
    return widget;
}

void web_host_deliver(GtkWidget* view, const std::string& json) {
    WebHost* host = view ? host_of(view) : nullptr;
    if (!host || !host->page_started) return;
    const std::string script = std::string(DELIVER_FUNCTION) + "(" + json + ");";
    webkit_web_view_evaluate_javascript(host->view, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
}

}  // namespace gtk_shell
