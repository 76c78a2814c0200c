#include "targets/ini_encoding_win.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/wide_text_win.h"

namespace movix {

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16Mark[] = "\xFF\xFE";
constexpr std::size_t kHeadSize = 64 * 1024;

// The length of the well-formed UTF-8 prefix of `s`.
std::size_t WellFormedUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t n;
        unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            n = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3;
            if (b == 0xE0)
                lo = 0xA0;
            if (b == 0xED)
                hi = 0x9F;  // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4;
            if (b == 0xF0)
                lo = 0x90;
            if (b == 0xF4)
                hi = 0x8F;
        } else {
            return i;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if (i + k >= s.size())
                return i;
            const unsigned char c = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80)
                return i;
        }
        i += n;
    }
    return i;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Text in a code page (or UTF-16 bytes) as UTF-8, only when it comes back
// byte for byte.
bool DecodeExactly(IniEncoding encoding, std::string_view bytes, std::string& text) {
    if (bytes.size() > INT_MAX / 2)
        return false;
    std::wstring wide;
    if (encoding == IniEncoding::Utf16) {
        if (bytes.size() % 2 != 0)
            return false;
        wide.assign(bytes.size() / 2, L'\0');
        if (!bytes.empty())
            std::memcpy(&wide[0], bytes.data(), bytes.size());
    } else {
        const UINT cp = LegacyAnsiCodePage();
        const int n =
            ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        if (n <= 0 && !bytes.empty())
            return false;
        wide.assign(static_cast<std::size_t>(n), L'\0');
        if (n > 0)
            ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
    }
    text = WideToUtf8(wide);
    std::string again;
    return EncodeIniText(encoding, text, again) &&
           std::string_view(again).substr(encoding == IniEncoding::Utf16 ? 2 : 0) == bytes;
}

}  // namespace

IniEncoding SniffIniEncoding(std::string_view head, bool whole) {
    if (StartsWith(head, kUtf16Mark))
        return IniEncoding::Utf16;
    if (StartsWith(head, kUtf8Mark))
        return IniEncoding::Utf8Bom;
    const std::size_t good = WellFormedUtf8(head);
    if (good == head.size())
        return IniEncoding::Bytes;
    // A character cut by the end of the block is no fault of the file's: a
    // lead byte followed by continuation bytes only, fewer than it needs.
    if (whole || head.size() - good >= 4)
        return IniEncoding::Ansi;
    const unsigned char lead = static_cast<unsigned char>(head[good]);
    const std::size_t needs = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || head.size() - good >= needs)
        return IniEncoding::Ansi;
    for (std::size_t i = good + 1; i < head.size(); ++i)
        if ((static_cast<unsigned char>(head[i]) & 0xC0) != 0x80)
            return IniEncoding::Ansi;
    return IniEncoding::Bytes;
}

bool IniTextSource::Start() {
    held_.assign(kHeadSize, '\0');
    std::size_t got = 0;
    // The first block whole, however the reads split it.
    while (got < held_.size()) {
        const long long n = rawRead_(&held_[got], held_.size() - got);
        if (n < 0)
            return false;
        if (n == 0) {
            whole_ = true;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    held_.resize(got);
    encoding_ = SniffIniEncoding(held_, whole_);
    if (encoding_ == IniEncoding::Bytes)
        return true;
    std::vector<char> buffer(kHeadSize);
    while (!whole_) {
        const long long n = rawRead_(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            whole_ = true;
        else
            held_.append(buffer.data(), static_cast<std::size_t>(n));
    }
    const std::size_t mark = encoding_ == IniEncoding::Utf16 ? 2 : encoding_ == IniEncoding::Utf8Bom ? 3 : 0;
    std::string text;
    if (encoding_ == IniEncoding::Utf8Bom) {
        held_.erase(0, mark);
        return true;
    }
    if (DecodeExactly(encoding_, std::string_view(held_).substr(mark), text)) {
        held_.swap(text);
    } else {
        encoding_ = IniEncoding::Bytes;
    }
    return true;
}

IniLineReader::ReadFn IniTextSource::Reader() {
    return [this](char* buffer, std::size_t capacity) -> long long {
        if (at_ < held_.size()) {
            const std::size_t n = std::min(capacity, held_.size() - at_);
            std::memcpy(buffer, held_.data() + at_, n);
            at_ += n;
            if (at_ == held_.size() && !whole_) {
                held_.clear();
                at_ = 0;
            }
            return static_cast<long long>(n);
        }
        if (whole_)
            return 0;
        return rawRead_(buffer, capacity);
    };
}

bool EncodeIniText(IniEncoding encoding, std::string_view text, std::string& out) {
    switch (encoding) {
        case IniEncoding::Bytes:
            out.assign(text.data(), text.size());
            return true;
        case IniEncoding::Utf8Bom:
            out = kUtf8Mark;
            out.append(text.data(), text.size());
            return true;
        case IniEncoding::Utf16: {
            const std::wstring wide = Utf8ToWide(text);
            out = kUtf16Mark;
            out.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
            return true;
        }
        case IniEncoding::Ansi:
            return Utf8ToCodePage(LegacyAnsiCodePage(), text, out);
    }
    return false;
}

bool IniTextSink::Write(std::string_view text) {
    if (encoding_ == IniEncoding::Bytes)
        return rawWrite_(text);
    text_.append(text.data(), text.size());
    return true;
}

bool IniTextSink::Finish(bool& unwritable) {
    unwritable = false;
    if (encoding_ == IniEncoding::Bytes)
        return true;
    std::string bytes;
    if (!EncodeIniText(encoding_, text_, bytes)) {
        unwritable = true;
        return false;
    }
    return rawWrite_(bytes);
}

}  // namespace movix
