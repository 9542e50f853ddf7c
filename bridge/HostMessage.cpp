#include "bridge/HostMessage.h"

#include "bridge/HandOver.h"
#include "bridge/Json.h"

HostMessage ReadHostMessage(const char* data, size_t size) {
    HostMessage out;
    JsonValue message;
    if (!ParseJsonDocument(data, size, message)) return out;
    const std::wstring type = JsonGetString(message, "type");
    if (type == L"ping") {
        out.kind = HostMessage::Ping;
        return out;
    }
    if (type != L"download") {
        out.kind = HostMessage::Unknown;
        return out;
    }
    out.kind = HostMessage::Download;
    const std::wstring userAgent = JsonGetString(message, "userAgent");
    const JsonValue* items = JsonFirstMember(message, "items");
    if (!items || items->kind != JsonKind::Array) return out;
    for (const JsonValue& item : items->elements) {
        DownloadRequest r;
        r.url = JsonGetString(item, "url");
        if (r.url.empty()) continue;
        r.referrer = JsonGetString(item, "referrer");
        r.fileName = JsonGetString(item, "fileName");
        r.title = JsonGetString(item, "title");
        const JsonValue* media = JsonFirstMember(item, "media");
        r.media = media && media->kind == JsonKind::Bool && media->boolean;
        const JsonValue* cookies = JsonFirstMember(item, "cookies");
        if (cookies && cookies->kind == JsonKind::Array) r.cookies = JoinCookies(*cookies);
        r.userAgent = userAgent;
        if (!r.media && IsAcceptableLink(r.url)) out.anyUsable = true;
        out.requests.push_back(std::move(r));
    }
    return out;
}

std::string HostReplyText(bool ok, const std::string& error) {
    std::string text = std::string("{\"ok\":") + (ok ? "true" : "false") + ",\"version\":\"1.0.0\",\"edition\":\"pe\"";
    if (!error.empty()) text += ",\"error\":\"" + JsonEscape(error) + "\"";
    return text + "}";
}
