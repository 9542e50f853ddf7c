#include "engine/SecureFailure.h"

#include <wincrypt.h>

#include "engine/ErrorTexts.h"
#include "engine/Http.h"
#include "engine/ServerClock.h"
#include "store/Handles.h"
#include "store/Lang.h"

namespace zeb {
namespace {

void CALLBACK OnSecureFailure(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context && info && length >= sizeof(DWORD))
        *reinterpret_cast<uint32_t*>(context) = *static_cast<const DWORD*>(info);
}

std::wstring UntrustedText() {
    return Tr(L"Máy tính này không tin cơ quan đã cấp chứng chỉ cho máy chủ (Windows PE chỉ mang theo ít chứng chỉ "
              L"gốc). Nếu bạn tin máy chủ này, ",
              L"This computer does not trust the authority that issued the server's certificate (Windows PE carries "
              L"few root certificates). If you trust this server, ") +
           certificateAdviceText() + L".";
}
}  // namespace

bool isSecureFailure(uint32_t error) {
    switch (error) {
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE: return true;
        default: return false;
    }
}

int64_t clockToSet(const SecureFacts& f) {
    const bool outside = f.now < f.validFrom || f.now > f.validTo;
    const bool serverInside = f.serverNow >= f.validFrom && f.serverNow <= f.validTo;
    const bool ahead = f.serverNow > f.now && clockSkewDays(f.serverNow, f.now) > 0;
    return f.haveCertificate && !f.untrusted && !f.otherName && outside && serverInside && ahead ? f.serverNow : 0;
}

std::wstring secureFailureText(const SecureFacts& f) {
    const bool beforeStart = f.haveCertificate && f.now < f.validFrom;
    const bool afterEnd = f.haveCertificate && f.now > f.validTo;
    // A server whose clock agrees with ours: the certificate is at fault.
    const bool clockRight = f.serverNow != 0 && clockSkewDays(f.serverNow, f.now) == 0;
    if ((beforeStart || afterEnd) && clockRight)
        return Tr(L"Chứng chỉ của máy chủ chỉ hợp lệ từ ", L"The server's certificate is valid only from ") +
               utcDateText(f.validFrom) + Tr(L" đến ", L" to ") + utcDateText(f.validTo) +
               Tr(L" và đồng hồ của máy tính khớp với máy chủ; máy chủ cần gia hạn chứng chỉ.",
                  L", and this computer's clock agrees with the server's; the server must renew it.");
    if (beforeStart || afterEnd)
        return Tr(L"Đồng hồ của máy tính đang là ", L"This computer's clock says ") + utcDateText(f.now) +
               Tr(L"; chứng chỉ của máy chủ chỉ hợp lệ từ ", L"; the server's certificate is valid from ") +
               utcDateText(f.validFrom) + Tr(L" đến ", L" to ") + utcDateText(f.validTo) +
               Tr(L". Hãy chỉnh đồng hồ rồi thử lại.", L". Set the clock and try again.");
    if (f.flags & (WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) || f.error == ERROR_WINHTTP_SECURE_CERT_DATE_INVALID)
        return Tr(L"Chứng chỉ của máy chủ đã hết hạn hoặc chưa đến ngày hiệu lực; hãy kiểm tra đồng hồ của máy tính.",
                  L"The server's certificate has expired or is not valid yet; check this computer's clock.");
    if (f.otherName || (f.flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) ||
        f.error == ERROR_WINHTTP_SECURE_CERT_CN_INVALID)
        return Tr(L"Chứng chỉ của máy chủ được cấp cho một tên máy khác; hãy kiểm tra liên kết (mạng này cũng có thể "
                  L"đang chuyển hướng kết nối).",
                  L"The server's certificate was issued for another name; check the link (this network may also be "
                  L"redirecting the connection).");
    if (f.untrusted || (f.flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) || f.error == ERROR_WINHTTP_SECURE_INVALID_CA)
        return UntrustedText();
    if ((f.flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) || f.error == ERROR_WINHTTP_SECURE_CERT_REVOKED)
        return Tr(L"Chứng chỉ của máy chủ đã bị thu hồi; đừng tải từ máy chủ này.",
                  L"The server's certificate has been revoked; do not download from this server.");
    if ((f.flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED) || f.error == ERROR_WINHTTP_SECURE_CERT_REV_FAILED)
        return Tr(L"Không kiểm tra được chứng chỉ của máy chủ có bị thu hồi hay không (không tới được máy chủ kiểm "
                  L"tra); hãy thử lại trên mạng ra được Internet.",
                  L"Could not check whether the server's certificate was revoked (the checking server could not be "
                  L"reached); try again on a network with Internet access.");
    if (!f.haveCertificate &&
        ((f.flags & WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR) || f.error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR))
        return Tr(L"Máy chủ chỉ nói một giao thức bảo mật mà Windows này không hỗ trợ (máy chủ chỉ dùng TLS 1.3 cần "
                  L"Windows 11).",
                  L"The server only speaks a security protocol this Windows cannot (servers with TLS 1.3 only need "
                  L"Windows 11).");
    return networkErrorText(f.error);
}

SecureFacts gatherSecureFacts(HINTERNET session, const UrlParts& parts, uint32_t error, uint32_t flags) {
    SecureFacts f;
    f.error = error;
    f.flags = flags;
    f.now = nowTicks();
    InternetHandle connection(::WinHttpConnect(session, parts.host.c_str(), parts.port, 0));
    if (!connection) return f;
    InternetHandle request(::WinHttpOpenRequest(connection.get(), L"HEAD", L"/", nullptr, WINHTTP_NO_REFERER,
                                                WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!request) return f;
    DWORD ignore = 0x3300;  // every certificate error: the certificate is what we came to read
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
    // No keep-alive: the connection ends with the answer, so no later
    // request can ride on one whose certificate was never accepted.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION |
                    WINHTTP_DISABLE_KEEP_ALIVE;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return f;
    if (::WinHttpReceiveResponse(request.get(), nullptr)) f.serverNow = serverDateTicks(request.get());
    PCCERT_CONTEXT cert = nullptr;
    DWORD size = sizeof cert;
    if (!::WinHttpQueryOption(request.get(), WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) || !cert) return f;
    f.haveCertificate = true;
    f.validFrom = fileTimeTicks(cert->pCertInfo->NotBefore);
    f.validTo = fileTimeTicks(cert->pCertInfo->NotAfter);
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // From what this computer holds: fetching missing certificates could
    // outlast a pause by far.
    if (::CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &chainPara, CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL,
                                  nullptr, &chain) &&
        chain) {
        f.untrusted = (chain->TrustStatus.dwErrorStatus & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) != 0;
        // The name alone: an unknown authority and the dates are judged above.
        HTTPSPolicyCallbackData ssl{};
        ssl.cbStruct = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
        std::wstring host = parts.host;
        ssl.pwszServerName = host.data();
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
            f.otherName = status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH);
        ::CertFreeCertificateChain(chain);
    }
    ::CertFreeCertificateContext(cert);
    return f;
}

void watchSecureFailure(HINTERNET request, uint32_t* flags) {
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(flags);
    ::WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    ::WinHttpSetStatusCallback(request, OnSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
}

}  // namespace zeb
