#include "app/GetTexts.h"

#include <cstdio>

#include "engine/Credentials.h"
#include "store/Format.h"
#include "store/Lang.h"

int ExitCodeOf(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Link: return kGetUsage;
        case ErrorKind::Secure: return kGetSecure;
        case ErrorKind::Refused: return kGetRefused;
        case ErrorKind::ServerFailed: return kGetServerFailed;
        case ErrorKind::Checksum: return kGetChecksum;
        // Memory and threads are this computer's resources, as the disk is.
        case ErrorKind::Disk:
        case ErrorKind::Local: return kGetDisk;
        default: return kGetNetwork;
    }
}

std::wstring OkLine(int64_t size, const std::wstring& sha256, const std::wstring& name) {
    return L"OK " + std::to_wstring(size) + L" sha256=" + sha256 + L" " + name;
}

std::wstring FailedLine(int code, const std::wstring& name, const std::wstring& text) {
    return L"FAILED " + std::to_wstring(code) + L" " + name + L": " + text;
}

std::wstring ProgressLine(const DownloadInfo& info) {
    std::wstring line;
    if (info.totalSize > 0) {
        wchar_t percent[16];
        std::swprintf(percent, 16, L"%3d%%  ", static_cast<int>(info.doneBytes * 100 / info.totalSize));
        line = percent;
    } else {
        line = FormatSize(info.doneBytes) + L"  ";
    }
    line += FormatSpeed(info.speed) + L"  ";
    const std::wstring left = FormatTimeLeft(info);
    if (!left.empty()) line += Tr(L"còn lại ", L"time left ") + left + L"  ";
    return line + info.fileName;
}

std::wstring StartText(const std::wstring& link, const std::wstring& folder) {
    return Tr(L"Đang tải ", L"Downloading ") + zeb::maskPassword(link) + Tr(L" vào ", L" to ") + folder;
}

std::wstring AlreadyThereText(const std::wstring& name) {
    return Tr(L"Đã có sẵn, khớp mã kiểm tra: ", L"Already there, matching its checksum: ") + name;
}

std::wstring SumsUnusableText(const std::wstring& source, int line) {
    if (line > 0)
        return zeb::maskPassword(source) + Tr(L", dòng ", L", line ") + std::to_wstring(line) +
               Tr(L": không phải một dòng mã kiểm tra SHA-256.", L": not a SHA-256 checksum line.");
    return Tr(L"Không đọc được danh sách mã kiểm tra ", L"Could not read the checksum list ") + zeb::maskPassword(source) + L".";
}

std::wstring SumsNotWrittenText(const std::wstring& path) {
    return Tr(L"Không ghi được tệp mã kiểm tra ", L"Could not write the checksum file ") + path + L".";
}

std::wstring MismatchAgainText() {
    return Tr(L"Mã kiểm tra không khớp; tải lại cả tệp từ đầu một lần nữa.",
              L"Checksum mismatch; downloading the whole file once more from the start.");
}

std::wstring StoppedText() {
    return Tr(L"Đã dừng; chạy lại đúng lệnh này để tải tiếp.", L"Stopped; run the same command again to resume.");
}

std::wstring InsecureAdviceText() { return Tr(L"thêm --insecure vào lệnh", L"add --insecure to the command"); }

std::wstring ProblemText(const GetProblem& p, const std::wstring& input) {
    std::wstring where;
    if (p.line > 0) where = input + Tr(L", dòng ", L", line ") + std::to_wstring(p.line) + L": ";
    // A quoted line may hold a link with its password, as any other shown link.
    const std::wstring quoted = L"\"" + zeb::maskPassword(p.detail) + L"\"";
    switch (p.fault) {
        case GetFault::UnknownOption: return Tr(L"Tuỳ chọn không có: ", L"Unknown option: ") + quoted;
        case GetFault::MissingValue: return quoted + Tr(L" cần một giá trị.", L" needs a value.");
        case GetFault::BadValue:
            return where + Tr(L"Giá trị không hợp lệ cho ", L"Invalid value for ") + quoted + L".";
        case GetFault::NotALink:
            return where + Tr(L"Không phải liên kết http:// hay https://: ", L"Not an http:// or https:// link: ") +
                   zeb::maskPassword(p.detail);
        case GetFault::NoLink: return Tr(L"Chưa có liên kết nào để tải.", L"No link to download.");
        case GetFault::NameNeedsOneLink:
            return Tr(L"--name chỉ dùng được với đúng một liên kết.", L"--name works with exactly one link.");
        case GetFault::Unreadable:
            if (p.line > 0) return where + Tr(L"không phải văn bản UTF-8.", L"not UTF-8 text.");
            return Tr(L"Không đọc được danh sách liên kết ", L"Could not read the link list ") + input + L".";
        case GetFault::OptionBeforeLink:
            return where + Tr(L"tuỳ chọn đứng trước mọi liên kết: ", L"an option before any link: ") + quoted;
        case GetFault::UnknownListOption:
            return where + Tr(L"tuỳ chọn không có hoặc không hợp lệ: ", L"unknown or invalid option: ") + quoted;
        case GetFault::Repeated: return where + Tr(L"tuỳ chọn lặp lại: ", L"option given twice: ") + quoted;
        default: return {};
    }
}

std::wstring HelpText() {
    return Tr(
        L"tidewell.exe --get [tuỳ chọn] LIÊN-KẾT...\r\n"
        L"Tải lần lượt từng liên kết (mỗi tệp qua nhiều kết nối) rồi kết thúc với một mã thoát.\r\n"
        L"  --to THƯ-MỤC       thư mục lưu (mặc định: thư mục tải về trong Cài đặt)\r\n"
        L"  --name TÊN         tên tệp (chỉ với một liên kết)\r\n"
        L"  --checksum HEX     mã kiểm tra MD5, SHA-1 hoặc SHA-256 (32/40/64 chữ số hex)\r\n"
        L"  --connections N    số kết nối mỗi tệp, 1-16\r\n"
        L"  --limit KB         giới hạn tốc độ KB/s, 0 = không giới hạn\r\n"
        L"  --insecure         bỏ qua lỗi chứng chỉ HTTPS\r\n"
        L"  --cache THƯ-MỤC    bộ nhớ đệm phòng máy: các máy dùng chung một lần tải (mặc định: LabCache= của Cài đặt)\r\n"
        L"  --checksums TỆP    mã SHA-256 mà các tệp phải khớp, theo tên (tệp hoặc liên kết kiểu SHA256SUMS)\r\n"
        L"  --sums TỆP         ghi mã SHA-256 của các tệp đã tải (sha256sum -c đọc được)\r\n"
        L"  --metalink TỆP     tải các tệp mà tệp Metalink (.meta4, .metalink) mô tả, từ mọi máy nhân bản của nó cùng lúc\r\n"
        L"  --hours HH:MM-HH:MM  chỉ tải trong những giờ này (giờ máy; 22:00-06:00 qua nửa đêm): chờ đến giờ bắt đầu,\r\n"
        L"                     tệp đang tải khi hết giờ thì tạm dừng rồi tải tiếp khi đến giờ (ActiveHours= của Cài đặt\r\n"
        L"                     không áp dụng ở đây)\r\n"
        L"  --lang en|vi       ngôn ngữ của các dòng thông báo\r\n"
        L"  --input TỆP        danh sách liên kết UTF-8: mỗi dòng một tệp (các liên kết cách nhau bằng tab là\r\n"
        L"                     máy nhân bản của tệp); dòng thụt vào bên dưới:\r\n"
        L"                     out=TÊN, dir=THƯ-MỤC (trong --to), checksum=sha-256=HEX (sha-1=, md5=)\r\n"
        L"  --help             in ra trang này\r\n"
        L"Dòng cuối của mỗi tệp: OK <cỡ> sha256=<hex> <tên>  hoặc  FAILED <mã> <tên>: <lỗi>\r\n"
        L"Mã thoát: 0 xong hết, 1 sai cách dùng, 2 mạng, 3 kết nối bảo mật, 4 máy chủ từ chối liên kết,\r\n"
        L"5 máy chủ lỗi, 6 sai mã kiểm tra, 7 đĩa, 8 đã dừng (chạy lại đúng lệnh để tải tiếp).",
        L"tidewell.exe --get [options] LINK...\r\n"
        L"Downloads the links one after another (each file over several connections) and ends with an exit code.\r\n"
        L"  --to FOLDER        where the files go (default: the download folder of the Settings)\r\n"
        L"  --name NAME        the file name (one link only)\r\n"
        L"  --checksum HEX     MD5, SHA-1 or SHA-256 checksum (32/40/64 hex digits)\r\n"
        L"  --connections N    connections per file, 1-16\r\n"
        L"  --limit KB         speed limit in KB/s, 0 = none\r\n"
        L"  --insecure         ignore HTTPS certificate errors\r\n"
        L"  --cache FOLDER     lab cache: the machines share one download (default: LabCache= of the Settings)\r\n"
        L"  --checksums FILE   SHA-256 sums the files must match, by name (a SHA256SUMS-style file or link)\r\n"
        L"  --sums FILE        writes the SHA-256 of the files fetched (sha256sum -c reads it)\r\n"
        L"  --metalink FILE    fetches the files a Metalink file (.meta4, .metalink) describes, from all its mirrors at once\r\n"
        L"  --hours HH:MM-HH:MM  downloads only in these hours (local time; 22:00-06:00 runs across midnight): waits\r\n"
        L"                     for their start, and a file running at their end pauses and resumes when they begin\r\n"
        L"                     (ActiveHours= of the Settings does not apply here)\r\n"
        L"  --lang en|vi       language of the messages\r\n"
        L"  --input FILE       UTF-8 link list: one file a line (links separated by tabs are its mirrors);\r\n"
        L"                     indented lines below it:\r\n"
        L"                     out=NAME, dir=FOLDER (inside --to), checksum=sha-256=HEX (sha-1=, md5=)\r\n"
        L"  --help             prints this page\r\n"
        L"Each file's last line: OK <size> sha256=<hex> <name>  or  FAILED <code> <name>: <error>\r\n"
        L"Exit codes: 0 all done, 1 usage, 2 network, 3 secure connection, 4 the server refused the link,\r\n"
        L"5 the server failed, 6 checksum mismatch, 7 disk, 8 stopped (run the same command to resume).");
}
