#include "engine/ErrorTexts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/Language.h"

namespace {
using namespace zeb;

TEST(NetworkErrorText, TableAndFallbackInBothLanguages) {
    const struct {
        uint32_t code;
        const wchar_t* vi;
        const wchar_t* en;
    } cases[] = {
        {12002, L"Kết nối quá thời gian chờ.", L"The connection timed out."},
        {12007, L"Không phân giải được tên máy chủ (kiểm tra mạng / DNS).",
         L"The server name could not be resolved (check the network / DNS)."},
        {12029, L"Không kết nối được tới máy chủ.", L"Could not connect to the server."},
        {12030, L"Kết nối bị ngắt.", L"The connection was interrupted."},
        {12152, L"Máy chủ trả về phản hồi không hợp lệ.", L"The server sent an invalid response."},
        {12156, L"Máy chủ chuyển hướng tới một địa chỉ không theo được.",
         L"The server redirected to an address that could not be followed."},
        {12017, L"Lỗi mạng 12017.", L"Network error 12017."},
        {2, L"Lỗi mạng 2.", L"Network error 2."},  // no system message for network errors
    };
    for (const auto& c : cases) {
        {
            ScopedLanguage vi(true);
            EXPECT_EQ(networkErrorText(c.code), c.vi);
        }
        {
            ScopedLanguage en(false);
            EXPECT_EQ(networkErrorText(c.code), c.en);
        }
    }
}

TEST(NetworkErrorText, CertificateTextNamesTheSetting) {
    {
        ScopedLanguage vi(true);
        EXPECT_EQ(networkErrorText(12175),
                  L"Không xác minh được chứng chỉ HTTPS. Hãy kiểm tra đồng hồ hệ thống; WinPE cũng có ít chứng chỉ gốc — "
                  L"nếu bạn tin máy chủ này, bật \"Bỏ qua lỗi chứng chỉ HTTPS\" trong Cài đặt.");
    }
    ScopedLanguage en(false);
    EXPECT_EQ(networkErrorText(12175),
              L"The HTTPS certificate could not be verified. Check the system clock; WinPE also has few root "
              L"certificates — if you trust this server, turn on \"Ignore HTTPS certificate errors\" in Settings.");
}

TEST(HttpStatusText, SuffixesInBothLanguages) {
    const struct {
        uint32_t status;
        const wchar_t* vi;
        const wchar_t* en;
    } cases[] = {
        {403, L"Máy chủ trả về HTTP 403 (bị từ chối truy cập).", L"The server answered HTTP 403 (access denied)."},
        {404, L"Máy chủ trả về HTTP 404 (không tìm thấy tệp).", L"The server answered HTTP 404 (file not found)."},
        {410, L"Máy chủ trả về HTTP 410 (liên kết đã hết hạn).", L"The server answered HTTP 410 (link expired)."},
        {429, L"Máy chủ trả về HTTP 429 (quá nhiều yêu cầu).", L"The server answered HTTP 429 (too many requests)."},
        {503, L"Máy chủ trả về HTTP 503 (máy chủ đang bận).", L"The server answered HTTP 503 (server busy)."},
        {500, L"Máy chủ trả về HTTP 500.", L"The server answered HTTP 500."},
    };
    for (const auto& c : cases) {
        {
            ScopedLanguage vi(true);
            EXPECT_EQ(httpStatusText(c.status), c.vi);
        }
        {
            ScopedLanguage en(false);
            EXPECT_EQ(httpStatusText(c.status), c.en);
        }
    }
}

TEST(SystemErrorText, SystemMessageTrimmedOrEnglishFallback) {
    const std::wstring known = systemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(known.empty());
    EXPECT_NE(known, L"Win32 error 2");
    EXPECT_FALSE(known.back() == L'\n' || known.back() == L'\r' || known.back() == L' ');
    ScopedLanguage vi(true);  // the fallback is English in either language
    EXPECT_EQ(systemErrorText(0x2000BEEF), L"Win32 error 536919791");
}

TEST(EngineTexts, BuiltTextsKeepTheirLanguage) {
    std::wstring vi, en;
    {
        ScopedLanguage l(true);
        vi = closedEarlyText();
    }
    {
        ScopedLanguage l(false);
        en = closedEarlyText();
    }
    EXPECT_EQ(vi, L"Máy chủ đóng kết nối giữa chừng.");
    EXPECT_EQ(en, L"The server closed the connection early.");
}

TEST(EngineTexts, ComposedTexts) {
    {
        ScopedLanguage l(false);
        EXPECT_EQ(notEnoughSpaceText(L"D:\\Z", 1572864, 2147483648LL), L"Not enough free space in D:\\Z: needs 1.5 MB, free 2.00 GB.");
        EXPECT_EQ(diskWriteFailedText(diskFullDetail()), L"Could not write to the disk: the disk is full.");
        EXPECT_EQ(reserveFailedText(5368709120LL, L"X."),
                  L"Could not reserve 5.00 GB for the file (a FAT32 disk cannot hold files over 4 GB): X.");
        EXPECT_EQ(folderCreateFailedText(L"D:\\a", L"S."), L"Could not create the folder D:\\a: S.");
        EXPECT_EQ(fileCreateFailedText(L"D:\\a\\b", L"S."), L"Could not create the file D:\\a\\b: S.");
        EXPECT_EQ(renameFailedText(L"S."), L"Could not rename the finished file: S.");
        EXPECT_EQ(invalidLinkText(), L"Invalid link: only http:// and https:// addresses are supported.");
    }
    ScopedLanguage l(true);
    EXPECT_EQ(notEnoughSpaceText(L"D:\\Z", 1572864, 0), L"Không đủ dung lượng trống tại D:\\Z: cần 1.5 MB, còn trống 0.0 MB.");
    EXPECT_EQ(diskWriteFailedText(diskFullDetail()), L"Không ghi được vào đĩa: đĩa đã đầy.");
    EXPECT_EQ(downloadIncompleteText(), L"Không tải xong được tệp.");
    EXPECT_EQ(threadStartFailedText(), L"Không tạo được luồng xử lý.");
    EXPECT_EQ(outOfMemoryText(), L"Không đủ bộ nhớ.");
    EXPECT_EQ(rangesStoppedText(), L"Máy chủ không còn hỗ trợ tải theo đoạn.");
    EXPECT_EQ(wrongRangeText(), L"Máy chủ trả về sai đoạn dữ liệu của tệp.");
}

TEST(SizeText, MegabytesThenGigabytes) {
    EXPECT_EQ(sizeText(0), L"0.0 MB");
    EXPECT_EQ(sizeText(1572864), L"1.5 MB");
    EXPECT_EQ(sizeText(1073741823), L"1024.0 MB");
    EXPECT_EQ(sizeText(1073741824), L"1.00 GB");
}
}  // namespace
