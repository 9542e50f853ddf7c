// The sentence for a failed secure connection, from the facts Windows gives
// (flags) or Wine leaves (one code and the certificate read without checks).
#include "engine/SecureFailure.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/ErrorTexts.h"
#include "engine/ServerClock.h"
#include "support/Language.h"

namespace {
constexpr int64_t kDay = 864000000000;
constexpr int64_t kNow = 133999200000000000;  // 2025-08-17, a "now"

zeb::SecureFacts Wine() {
    zeb::SecureFacts f;
    f.error = ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
    f.haveCertificate = true;
    f.now = kNow;
    f.validFrom = kNow - 100 * kDay;
    f.validTo = kNow + 100 * kDay;
    return f;
}
zeb::SecureFacts Windows(uint32_t flags) {
    zeb::SecureFacts f;
    f.error = ERROR_WINHTTP_SECURE_FAILURE;
    f.flags = flags;
    f.now = kNow;
    return f;
}

TEST(SecureFailureText, SameDefectSameSentenceOnWindowsAndWine) {
    for (bool vi : {true, false}) {
        ScopedLanguage lang(vi);
        zeb::SecureFacts name = Wine(), untrusted = Wine(), both = Wine();
        name.otherName = true;
        untrusted.untrusted = true;
        both.otherName = both.untrusted = true;
        const std::wstring nameText = zeb::secureFailureText(name), untrustedText = zeb::secureFailureText(untrusted);
        EXPECT_EQ(zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)), nameText);
        EXPECT_EQ(zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)), untrustedText);
        EXPECT_EQ(zeb::secureFailureText(both), nameText);  // the name is the more specific advice
        zeb::SecureFacts noHandshake = Wine();
        noHandshake.haveCertificate = false;
        const std::wstring protocol = zeb::secureFailureText(noHandshake);
        EXPECT_EQ(zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR)), protocol);
        // Every defect has its own sentence, none of them the bare number.
        const std::set<std::wstring> all = {
            nameText, untrustedText, protocol,
            zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)),
            zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED)),
            zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED)),
            zeb::networkErrorText(ERROR_WINHTTP_SECURE_CHANNEL_ERROR)};
        EXPECT_EQ(all.size(), 7u);
        // A certificate that is fine by every fact read: the plain text.
        EXPECT_EQ(zeb::secureFailureText(Wine()), zeb::networkErrorText(ERROR_WINHTTP_SECURE_CHANNEL_ERROR));
    }
}

TEST(SecureFailureText, ACertificateOutsideItsDatesNamesTheClock) {
    zeb::SecureFacts early = Wine();  // the clock is behind the certificate's start
    early.validFrom = kNow + 1900 * kDay;
    early.validTo = kNow + 2300 * kDay;
    early.untrusted = early.otherName = true;  // the clock comes first: setting it may mend the rest
    zeb::SecureFacts late = Wine();
    late.validTo = kNow - kDay;
    for (const zeb::SecureFacts& f : {early, late}) {
        const std::wstring text = zeb::secureFailureText(f);
        EXPECT_NE(text.find(L"2025-08-17"), std::wstring::npos) << ::testing::PrintToString(text);
        EXPECT_NE(text.find(f.validFrom == early.validFrom ? L"2030-10-30" : L"2025-05-09"), std::wstring::npos);
    }
    EXPECT_NE(zeb::secureFailureText(early), zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)));
    // The server's clock agrees with ours: the certificate is to blame, not the clock.
    zeb::SecureFacts expired = late;
    expired.serverNow = kNow + kDay / 2;
    const std::wstring blame = zeb::secureFailureText(expired);
    EXPECT_NE(blame, zeb::secureFailureText(late));
    EXPECT_EQ(blame.find(L"2025-08-17"), std::wstring::npos);  // this computer's date is beside the point
    EXPECT_NE(blame.find(L"2025-05-09"), std::wstring::npos);
    expired.serverNow = kNow + 3 * kDay;  // a server as far off as we may be: the clock again
    EXPECT_EQ(zeb::secureFailureText(expired), zeb::secureFailureText(late));
}

TEST(ClockSkew, MoreThanADayApartInWholeDays) {
    EXPECT_EQ(zeb::clockSkewDays(kNow, kNow + kDay), 0);
    EXPECT_EQ(zeb::clockSkewDays(kNow, kNow + kDay + 1), 1);
    EXPECT_EQ(zeb::clockSkewDays(kNow + 400 * kDay, kNow), 400);
    EXPECT_EQ(zeb::clockSkewDays(kNow, kNow + 3 * kDay - 1), 2);
}
}  // namespace
