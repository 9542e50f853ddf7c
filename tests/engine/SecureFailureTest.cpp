// The sentence for a failed secure connection, from the facts Windows gives
// (flags) or Wine leaves (one code and the certificate read without checks).
#include "engine/SecureFailure.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/ErrorTexts.h"
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
        zeb::SecureFacts name = Wine(), both = Wine(), noHandshake = Wine();
        name.otherName = true;
        both.otherName = both.untrusted = true;
        noHandshake.haveCertificate = false;
        const std::wstring nameText = zeb::secureFailureText(name);
        EXPECT_EQ(zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)), nameText);
        EXPECT_EQ(zeb::secureFailureText(both), nameText);  // the name is the more specific advice
        EXPECT_EQ(zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR)), zeb::secureFailureText(noHandshake));
        // Every defect has its own sentence, none of them the bare number.
        const std::set<std::wstring> all = {
            nameText, zeb::secureFailureText(noHandshake), zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)),
            zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)),
            zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED)),
            zeb::secureFailureText(Windows(WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED)),
            zeb::networkErrorText(ERROR_WINHTTP_SECURE_CHANNEL_ERROR)};
        EXPECT_EQ(all.size(), 7u);
    }
}

// (A certificate outside its dates, with and without a server clock that agrees
// with this computer's, is met for real in test_networks; a server's clock years
// off this computer's is told once in ListTest.)
}  // namespace

TEST(ClockToSet, ForwardOnlyToAServerTimeInsideATrustedCertificatesDates) {
    // Catches a clock offered to be turned back (an expired certificate and
    // a server whose clock agrees with it), and one offered when the clock
    // is not what failed: an untrusted chain, another name, a server a few
    // hours ahead, or a server time the certificate does not cover either.
    constexpr int64_t day = 864000000000;
    const int64_t now = 10000 * day;
    zeb::SecureFacts base;
    base.haveCertificate = true;
    base.now = now;
    base.validFrom = now + 300 * day;  // not valid yet by our clock
    base.validTo = now + 700 * day;
    base.serverNow = now + 400 * day;
    const struct {
        const char* label;
        void (*change)(zeb::SecureFacts&);
        bool offered;
    } cases[] = {
        {"behind", [](zeb::SecureFacts&) {}, true},
        {"expired", [](zeb::SecureFacts& f) { f.validFrom -= 1000 * day, f.validTo -= 1000 * day, f.serverNow -= 800 * day; }, false},
        {"untrusted", [](zeb::SecureFacts& f) { f.untrusted = true; }, false},
        {"other name", [](zeb::SecureFacts& f) { f.otherName = true; }, false},
        {"hours ahead", [](zeb::SecureFacts& f) { f.validFrom = f.now + day / 24, f.serverNow = f.now + day / 2; }, false},
        {"server outside", [](zeb::SecureFacts& f) { f.serverNow = f.validTo + day; }, false},
        {"no date", [](zeb::SecureFacts& f) { f.serverNow = 0; }, false},
        {"no certificate", [](zeb::SecureFacts& f) { f.haveCertificate = false; }, false},
    };
    for (const auto& c : cases) {
        zeb::SecureFacts f = base;
        c.change(f);
        EXPECT_EQ(zeb::clockToSet(f), c.offered ? f.serverNow : 0) << c.label;
    }
}
