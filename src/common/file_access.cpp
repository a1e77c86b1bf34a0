#include "common/file_access.h"

namespace zar4 {

std::string kindReason(const FileInfo& info) {
    switch (info.kind) {
    case FileKind::Folder:
        return info.link ? "is a link to a folder" : "is a folder";
    case FileKind::Fifo:
        return info.link ? "is a link to a FIFO" : "is a FIFO";
    case FileKind::Socket:
        return info.link ? "is a link to a socket" : "is a socket";
    case FileKind::Device:
        return info.link ? "is a link to a device" : "is a device";
    case FileKind::DanglingLink:
        return "is a link to nothing";
    case FileKind::Missing:
        return systemErrorText(info.error);
    case FileKind::Regular:
        return "is a plain file";
    case FileKind::Other:
        break;
    }
    return info.error != 0 ? systemErrorText(info.error) : "is not a plain file";
}

std::string fileReason(const std::string& path, const std::string& why) {
    return path + ": " + why;
}

std::string messageWithReason(const std::string& text, const std::string& reason) {
    return reason.empty() ? text : text + "\n" + reason;
}

std::wstring utf16FromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    while (i < text.size()) {
        const unsigned char lead = byte(i);
        std::size_t extra = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        } else {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        bool valid = i + extra < text.size();
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (byte(i + k) & 0x3F);
        }
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || code < kLeast[extra] || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
        i += extra + 1;
    }
    return out;
}

void refuseTooLarge(FileRead& result, const std::string& path, std::size_t limit) {
    result.bytes.clear();
    result.status = FileRead::Status::TooLarge;
    result.reason = fileReason(path, "larger than " + std::to_string(limit / 1024) + " KiB");
}

void finishBoundedRead(FileRead& result, const std::string& path, std::size_t got,
                       std::size_t limit, BeyondLimit beyond, std::size_t fileSize) {
    if (got > limit) {
        refuseTooLarge(result, path, limit);
        return;
    }
    result.bytes.resize(got);
    result.truncated = beyond == BeyondLimit::Ignore && got == limit && fileSize > limit;
    result.status = FileRead::Status::Ok;
}

} // namespace zar4
