#include "targets/ini_encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "core/strings.h"

namespace movix {

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16Mark[] = "\xFF\xFE";
constexpr std::size_t kReadBlock = 64 * 1024;

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The length of the well-formed UTF-8 character at `s`, 0 when there is
// none (a stray byte, an overlong form, a surrogate, a cut sequence).
std::size_t Utf8CharAt(std::string_view s, char32_t& code) {
    const unsigned char b = static_cast<unsigned char>(s[0]);
    if (b < 0x80) {
        code = b;
        return 1;
    }
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        code = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        code = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0;
        if (b == 0xED)
            hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        code = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        if (b == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < n)
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[k]);
        if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (c & 0x3F);
    }
    return n;
}

void AppendUnit(std::uint16_t unit, std::string& out) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// UTF-8 as UTF-16 LE bytes; false for text that is not well-formed UTF-8.
bool Utf8ToUtf16(std::string_view text, std::string& out) {
    out.clear();
    while (!text.empty()) {
        char32_t code = 0;
        const std::size_t n = Utf8CharAt(text, code);
        if (n == 0)
            return false;
        text.remove_prefix(n);
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendUnit(static_cast<std::uint16_t>(0xD800 | (code >> 10)), out);
            AppendUnit(static_cast<std::uint16_t>(0xDC00 | (code & 0x3FF)), out);
        } else {
            AppendUnit(static_cast<std::uint16_t>(code), out);
        }
    }
    return true;
}

// UTF-16 LE bytes as UTF-8; false for an odd byte count or a stray half of
// a surrogate pair.
bool Utf16ToUtf8(std::string_view bytes, std::string& text) {
    text.clear();
    if (bytes.size() % 2 != 0)
        return false;
    auto unit = [&bytes](std::size_t i) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint16_t u = unit(i);
        if (u >= 0xDC00 && u <= 0xDFFF)
            return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= bytes.size())
                return false;
            const std::uint16_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            AppendUtf8(0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (low - 0xDC00)), text);
            i += 2;
        } else {
            AppendUtf8(u, text);
        }
    }
    return true;
}

// The bytes after the mark as UTF-8, only when the text gives them back
// byte for byte.
bool DecodeExactly(IniEncoding encoding, std::string_view bytes, const IniCodePage& codePage, std::string& text) {
    bool decoded = false;
    std::string again;
    switch (encoding) {
        case IniEncoding::Utf16:
            decoded = Utf16ToUtf8(bytes, text) && Utf8ToUtf16(text, again);
            break;
        case IniEncoding::Ansi:
            decoded =
                codePage.decode && codePage.encode && codePage.decode(bytes, text) && codePage.encode(text, again);
            break;
        default:
            text.assign(bytes.data(), bytes.size());
            return true;
    }
    return decoded && again == bytes;
}

std::size_t MarkLength(IniEncoding encoding) {
    return encoding == IniEncoding::Utf16 ? 2 : encoding == IniEncoding::Utf8Bom ? 3 : 0;
}

// The length of the part of `bytes` that ends with its last line end (a
// whole UTF-16 unit in a file marked UTF-16).
std::size_t WholeLines(std::string_view bytes) {
    if (StartsWith(bytes, kUtf16Mark)) {
        for (std::size_t i = (bytes.size() - 2) / 2 * 2 + 2; i > 2; i -= 2) {
            const char c = bytes[i - 2];
            if ((c == '\r' || c == '\n') && bytes[i - 1] == '\0')
                return i;
        }
        return 2;
    }
    const std::size_t end = bytes.find_last_of("\r\n");
    return end == std::string_view::npos ? 0 : end + 1;
}

bool IsUtf8(std::string_view text) {
    while (!text.empty()) {
        char32_t code = 0;
        const std::size_t n = Utf8CharAt(text, code);
        if (n == 0)
            return false;
        text.remove_prefix(n);
    }
    return true;
}

}  // namespace

IniCodePage Utf8IniCodePage() {
    IniCodePage page;
    page.decode = [](std::string_view bytes, std::string& text) {
        text.assign(bytes.data(), bytes.size());
        return IsUtf8(bytes);
    };
    page.encode = page.decode;
    page.definite = true;
    return page;
}

IniCodePage Latin1IniCodePage() {
    IniCodePage page;
    page.decode = [](std::string_view bytes, std::string& text) {
        text.clear();
        for (const char b : bytes)
            AppendUtf8(static_cast<unsigned char>(b), text);
        return true;
    };
    page.encode = [](std::string_view text, std::string& bytes) {
        bytes.clear();
        while (!text.empty()) {
            char32_t code = 0;
            const std::size_t n = Utf8CharAt(text, code);
            if (n == 0 || code > 0xFF)
                return false;
            bytes += static_cast<char>(code);
            text.remove_prefix(n);
        }
        return true;
    };
    page.definite = true;
    return page;
}

IniCodePage AsciiIniCodePage() {
    IniCodePage page;
    page.decode = [](std::string_view bytes, std::string& text) {
        text.assign(bytes.data(), bytes.size());
        return std::all_of(bytes.begin(), bytes.end(), [](char b) { return static_cast<unsigned char>(b) < 0x80; });
    };
    page.encode = page.decode;
    page.definite = true;
    return page;
}

bool IniEncodable(IniEncoding encoding, const IniCodePage& codePage, std::string_view character) {
    if (encoding == IniEncoding::Utf8 || encoding == IniEncoding::Utf8Bom || encoding == IniEncoding::Utf16)
        return true;
    std::string bytes;
    return codePage.encode && codePage.encode(character, bytes);
}

IniEncoding SniffIniEncoding(std::string_view whole) {
    if (StartsWith(whole, kUtf16Mark))
        return IniEncoding::Utf16;
    if (StartsWith(whole, kUtf8Mark))
        return IniEncoding::Utf8Bom;
    bool beyondAscii = false;
    while (!whole.empty()) {
        char32_t code = 0;
        const std::size_t n = Utf8CharAt(whole, code);
        if (n == 0)
            return IniEncoding::Ansi;
        beyondAscii = beyondAscii || n > 1;
        whole.remove_prefix(n);
    }
    return beyondAscii ? IniEncoding::Utf8 : IniEncoding::Ansi;
}

bool EncodeIniText(IniEncoding encoding, std::string_view text, const IniCodePage& codePage, std::string& out) {
    out.clear();
    switch (encoding) {
        case IniEncoding::Utf8:
        case IniEncoding::Bytes:
            out.assign(text.data(), text.size());
            return true;
        case IniEncoding::Utf8Bom:
            out = kUtf8Mark;
            out.append(text.data(), text.size());
            return true;
        case IniEncoding::Utf16: {
            std::string units;
            if (!Utf8ToUtf16(text, units))
                return false;
            out = kUtf16Mark;
            out += units;
            return true;
        }
        case IniEncoding::Ansi:
            return codePage.encode && codePage.encode(text, out);
    }
    return false;
}

bool IniTextSource::Start() {
    held_.clear();
    at_ = 0;
    failed_ = false;
    // Whole: only the whole file tells whether it is UTF-8.
    std::vector<char> buffer(kReadBlock);
    for (;;) {
        const long long n = rawRead_(buffer.data(), buffer.size());
        if (n < 0) {
            // The lines before the error are still there to be read; the
            // line cut by it is not.
            failed_ = true;
            held_.resize(WholeLines(held_));
            break;
        }
        if (n == 0)
            break;
        held_.append(buffer.data(), static_cast<std::size_t>(std::min<long long>(n, kReadBlock)));
    }
    if (choose_)
        codePage_ = choose_(held_);
    encoding_ = SniffIniEncoding(held_);
    if (encoding_ == IniEncoding::Utf8 && codePage_.definite)
        encoding_ = IniEncoding::Ansi;
    std::string text;
    if (DecodeExactly(encoding_, std::string_view(held_).substr(MarkLength(encoding_)), codePage_, text))
        held_.swap(text);
    else
        encoding_ = IniEncoding::Bytes;
    return !failed_;
}

IniLineReader::ReadFn IniTextSource::Reader() {
    return [this](char* buffer, std::size_t capacity) -> long long {
        const std::size_t n = std::min(capacity, held_.size() - at_);
        if (n > 0)
            std::memcpy(buffer, held_.data() + at_, n);
        else if (failed_)
            return -1;
        at_ += n;
        return static_cast<long long>(n);
    };
}

bool IniTextSink::Write(std::string_view text) {
    if (encoding_ == IniEncoding::Bytes || encoding_ == IniEncoding::Utf8)
        return rawWrite_(text);
    text_.append(text.data(), text.size());
    return true;
}

bool IniTextSink::Finish(bool& unwritable) {
    unwritable = false;
    if (encoding_ == IniEncoding::Bytes || encoding_ == IniEncoding::Utf8)
        return true;
    std::string bytes;
    if (!EncodeIniText(encoding_, text_, codePage_, bytes)) {
        unwritable = true;
        return false;
    }
    return rawWrite_(bytes);
}

bool IniAddressesFor(IniEncoding encoding,
                     const IniCodePage& codePage,
                     std::string& oldAddress,
                     std::string& newAddress) {
    std::string bytes;
    if (encoding == IniEncoding::Bytes) {
        // The lines are the file's own bytes: the addresses must be too. An
        // Old address the code page cannot hold is in no line of the file.
        if (!EncodeIniText(IniEncoding::Ansi, newAddress, codePage, bytes))
            return false;
        newAddress.swap(bytes);
        if (EncodeIniText(IniEncoding::Ansi, oldAddress, codePage, bytes))
            oldAddress.swap(bytes);
        return true;
    }
    // UTF-8 text that is not well-formed would spoil a UTF-8 file.
    return IsUtf8(newAddress) && EncodeIniText(encoding, newAddress, codePage, bytes);
}

IniRewriteResult RewriteTextFile(IniLineReader::ReadFn read,
                                 const std::function<bool(std::string_view)>& write,
                                 const TMakeLineRewrite& makeRewrite,
                                 std::string oldAddress,
                                 std::string newAddress,
                                 const TLogLine& log,
                                 const IniCodePage& givenCodePage,
                                 const IniTextSource::ChooseFn& choose,
                                 IniCodePage* used) {
    IniTextSource source(std::move(read), givenCodePage);
    source.ChooseCodePage(choose);
    const bool whole = source.Start();
    const IniCodePage& codePage = source.CodePage();
    if (used != nullptr)
        *used = codePage;
    if (!whole)
        return IniRewriteResult::ReadError;
    // Decided before a line is written: a New the file cannot hold leaves it
    // as it is, unless its syntax has escapes for what the code page lacks.
    const bool escaped = codePage.escapes && source.Encoding() != IniEncoding::Bytes;
    std::string oldCopy = oldAddress;
    if (escaped && !IniAddressesFor(IniEncoding::Utf8, codePage, oldCopy, newAddress))
        return IniRewriteResult::Unwritable;
    if (!escaped && !IniAddressesFor(source.Encoding(), codePage, oldAddress, newAddress))
        return IniRewriteResult::Unwritable;
    const IniEncoding encoding = source.Encoding();
    const TCharacterTest encodable = [encoding, &codePage](std::string_view c) {
        return IniEncodable(encoding, codePage, c);
    };
    // The log is UTF-8: the lines of a file kept as bytes are shown as the
    // code page reads them, a byte it does not know as U+FFFD.
    const TLogLine logBytes = [&log, &codePage](const std::string& line) {
        std::string text, one;
        if (codePage.decode && codePage.decode(line, text))
            return log(text);
        text.clear();
        for (const char c : line)
            text += codePage.decode && codePage.decode(std::string_view(&c, 1), one) ? one : "\xEF\xBF\xBD";
        log(text);
    };
    const TLineRewrite rewrite =
        makeRewrite(oldAddress, newAddress, source.Encoding() == IniEncoding::Bytes ? logBytes : log, encodable);
    IniTextSink sink(source.Encoding(), codePage, write);
    IniLineReader reader(source.Reader());
    switch (CopyTextLines(reader, rewrite, [&sink](std::string_view s) { return sink.Write(s); })) {
        case IniCopyResult::ReadError:
            return IniRewriteResult::ReadError;
        case IniCopyResult::WriteError:
            return IniRewriteResult::WriteError;
        case IniCopyResult::Done:
            break;
    }
    bool unwritable = false;
    if (!sink.Finish(unwritable))
        return unwritable ? IniRewriteResult::Unwritable : IniRewriteResult::WriteError;
    return IniRewriteResult::Done;
}

IniRewriteResult RewriteIniFile(IniLineReader::ReadFn read,
                                const std::function<bool(std::string_view)>& write,
                                std::vector<TReplaceHit>& hits,
                                std::string oldAddress,
                                std::string newAddress,
                                IniRewriter::TextEqual equal,
                                const TLogLine& log,
                                const IniCodePage& codePage) {
    // The rewriter lives as long as the copy: the line function refers to it.
    std::unique_ptr<IniRewriter> rewriter;
    return RewriteTextFile(
        std::move(read), write,
        [&](const std::string& oldText, const std::string& newText, const TLogLine& lineLog, const TCharacterTest&) {
            rewriter = std::make_unique<IniRewriter>(hits, oldText, newText, std::move(equal), lineLog);
            IniRewriter* r = rewriter.get();
            return TLineRewrite([r](std::string& line) { r->Rewrite(line); });
        },
        std::move(oldAddress), std::move(newAddress), log, codePage);
}

}  // namespace movix
