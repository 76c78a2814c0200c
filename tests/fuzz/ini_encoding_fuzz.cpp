// Fuzz target: an INI file through its encoding (targets/ini_encoding.h),
// bytes in and bytes out, as the replacer does it: read and decoded, the
// search's hits rewritten, written back in the file's encoding. With no hit
// the copy is the file byte for byte; with hits, the copy read back in the
// same encoding is the file with exactly the hit lines rewritten (plain
// reference of ini_reference.h), its mark, line ends and the bytes from a
// Ctrl-Z on kept. A New address the encoding cannot hold leaves nothing
// written and nothing logged. The ANSI code page is a stand-in: Latin-1
// without five bytes it does not know (as the Western code page lacks them).
//
// Input: one byte choosing the addresses and how the rest is made a file
// (as it is, after a UTF-8 mark, or widened to UTF-16 after its mark).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"
#include "ini_reference.h"
#include "targets/ini_encoding.h"

using namespace movix;
namespace ref = ini_reference;

namespace {

bool Unknown(unsigned code) {
    return code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D;
}

bool DecodeLatin(std::string_view bytes, std::string& text) {
    text.clear();
    for (unsigned char b : bytes) {
        if (Unknown(b))
            return false;
        if (b < 0x80) {
            text += static_cast<char>(b);
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return true;
}

bool EncodeLatin(std::string_view text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            bytes += static_cast<char>(b);
            continue;
        }
        if ((b != 0xC2 && b != 0xC3) || i + 1 == text.size())
            return false;
        const unsigned char c = static_cast<unsigned char>(text[++i]);
        if ((c & 0xC0) != 0x80)
            return false;
        const unsigned code = ((b & 0x1Fu) << 6) | (c & 0x3Fu);
        if (Unknown(code))
            return false;
        bytes += static_cast<char>(code);
    }
    return true;
}

const IniCodePage kLatin{DecodeLatin, EncodeLatin};

struct Addresses {
    const char* old;
    const char* now;
};

const Addresses kAddresses[] = {
    {"a", "\xC3\xBC"},           // ü: in the code page
    {"a", "\xD0\x96"},           // Ж: not in it
    {"\xC3\xBC", "B\xC3\xBC"},   // ü for Bü
    {"=", "\xF0\x9F\x8E\xB5"},   // a character beyond the BMP
    {"C:\\OLD", "D:\\NEW"},
    {"[", "\xC2\x81"},           // U+0081: a byte the code page does not know
    {"\xC3", "x"},               // not UTF-8 at all
    {"b", "\xE2\x82"},           // a cut sequence
};

// Bytes read back in a given encoding (not the one they may seem to be in
// now: ANSI letters can happen to form UTF-8).
bool Decode(IniEncoding encoding, std::string_view bytes, std::string& text) {
    switch (encoding) {
        case IniEncoding::Ansi:
            return DecodeLatin(bytes, text);
        case IniEncoding::Utf8:
            text.assign(bytes.data(), bytes.size());
            return true;
        case IniEncoding::Utf8Bom:
            if (bytes.rfind("\xEF\xBB\xBF", 0) != 0)
                return false;
            text.assign(bytes.substr(3).data(), bytes.size() - 3);
            return true;
        case IniEncoding::Utf16:
            break;
        case IniEncoding::Bytes:
            return false;
    }
    std::size_t at = 0;
    IniTextSource source(
        [&bytes, &at](char* buffer, std::size_t capacity) -> long long {
            const std::size_t n = std::min(capacity, bytes.size() - at);
            std::copy(bytes.data() + at, bytes.data() + at + n, buffer);
            at += n;
            return static_cast<long long>(n);
        },
        kLatin);
    if (!source.Start() || source.Encoding() != IniEncoding::Utf16)
        return false;
    const IniLineReader::ReadFn reader = source.Reader();
    char buffer[256];
    text.clear();
    for (long long n; (n = reader(buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const Addresses& addresses = kAddresses[data[0] % (sizeof kAddresses / sizeof kAddresses[0])];
    std::string file;
    switch (data[0] / 8 % 4) {
        case 1:
            file = "\xEF\xBB\xBF";
            break;
        case 2:
            file = "\xFF\xFE";
            break;
        default:
            break;
    }
    if (data[0] / 8 % 4 == 2) {
        for (std::size_t i = 1; i < size; ++i) {
            file += static_cast<char>(data[i]);
            file += data[0] >= 128 && i % 7 == 0 ? static_cast<char>(0xD8) : '\0';
        }
    } else {
        file.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    }
    const std::string_view input(file);

    // What the search sees, and its hits.
    std::size_t at = 0;
    const IniLineReader::ReadFn read = [&input, &at](char* buffer, std::size_t capacity) -> long long {
        const std::size_t n = std::min(capacity, input.size() - at);
        std::copy(input.data() + at, input.data() + at + n, buffer);
        at += n;
        return static_cast<long long>(n);
    };
    IniTextSource source(read, kLatin);
    if (!source.Start())
        ref::Fail("read error from a reader that has none", input);
    const IniEncoding encoding = source.Encoding();
    if (encoding != IniEncoding::Bytes && encoding != SniffIniEncoding(input))
        ref::Fail("encoding is not the one the bytes tell", input);
    std::string text;
    if (encoding != IniEncoding::Bytes && !Decode(encoding, input, text))
        ref::Fail("text cannot be read", input);
    if (encoding == IniEncoding::Bytes)
        text = file;

    // A read error part way: the whole lines before it can be read, then the
    // error; the rewrite writes and logs nothing.
    if (data[0] & 32) {
        const std::size_t failAt = input.size() * data[0] / 256;
        std::size_t got = 0;
        const IniLineReader::ReadFn failing = [&input, &got, failAt](char* buffer, std::size_t capacity) -> long long {
            const std::size_t n = std::min({capacity, std::size_t{7}, failAt - got});
            if (n == 0)
                return -1;
            std::copy(input.data() + got, input.data() + got + n, buffer);
            got += n;
            return static_cast<long long>(n);
        };
        IniTextSource partial(failing, kLatin);
        if (partial.Start())
            ref::Fail("read error not reported", input);
        IniLineReader reader(partial.Reader());
        std::string line;
        std::size_t lines = 0;
        IniLineReader::Result r;
        while ((r = reader.Next(line)) == IniLineReader::Result::Line) {
            if (partial.Encoding() == encoding && (lines >= ref::SplitLines(text).lines.size() ||
                                                   line != ref::SplitLines(text).lines[lines].text))
                ref::Fail("a line before a read error differs", input);
            ++lines;
        }
        std::string_view raw;
        while (r == IniLineReader::Result::End && reader.NextRaw(raw) == IniLineReader::Result::Line)
            continue;
        if (r == IniLineReader::Result::End && reader.NextRaw(raw) == IniLineReader::Result::Error)
            r = IniLineReader::Result::Error;
        if (r != IniLineReader::Result::Error)
            ref::Fail("read error not passed on", input);
        got = 0;
        std::vector<TReplaceHit> none;
        bool wrote = false, logged = false;
        const IniRewriteResult failed = RewriteIniFile(
            failing, [&wrote](std::string_view) { return wrote = true; }, none, addresses.old, addresses.now,
            [](const std::string& a, const std::string& b) { return a == b; },
            [&logged](const std::string&) { logged = true; }, kLatin);
        if (failed != IniRewriteResult::ReadError || wrote || logged)
            ref::Fail("rewrite after a read error", input);
    }

    std::string oldAddress = addresses.old, newAddress = addresses.now;
    const bool holds = IniAddressesFor(encoding, kLatin, oldAddress, newAddress);
    ref::Split expected = ref::SplitLines(text);
    std::vector<std::string> refHits = ref::Hits(expected, oldAddress);

    for (int withHits = 0; withHits < 2; ++withHits) {
        std::vector<std::string> outstanding = withHits ? refHits : std::vector<std::string>();
        std::vector<TReplaceHit> hits;
        for (const std::string& h : outstanding)
            hits.push_back({h, 0});
        ref::Split rewritten = expected;
        ref::Rewrite(rewritten, outstanding, oldAddress, newAddress);

        std::vector<std::string> log;
        std::string out;
        at = 0;
        const IniRewriteResult r = RewriteIniFile(
            read,
            [&out](std::string_view s) {
                out.append(s.data(), s.size());
                return true;
            },
            hits, addresses.old, addresses.now, [](const std::string& a, const std::string& b) { return a == b; },
            [&log](const std::string& l) { log.push_back(l); }, kLatin);
        if (!holds) {
            if (r != IniRewriteResult::Unwritable || !out.empty() || !log.empty())
                ref::Fail("a New the file cannot hold got written or logged", input);
            continue;
        }
        if (r != IniRewriteResult::Done)
            ref::Fail("rewrite failed", input);
        if (!withHits && out != input)
            ref::Fail("copy without hits is not the file", input);
        std::string units;
        for (const std::string& l : log)
            if ((encoding == IniEncoding::Ansi || encoding == IniEncoding::Bytes) &&
                !EncodeIniText(IniEncoding::Utf16, l, kLatin, units))
                ref::Fail("a log line is not UTF-8", input);
        if (hits.size() != outstanding.size())
            ref::Fail("hits consumed differ from the reference", input);
        // The mark and the encoding stay.
        const std::size_t mark = input.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : input.rfind("\xFF\xFE", 0) == 0 ? 2 : 0;
        if (out.compare(0, mark, file, 0, mark) != 0)
            ref::Fail("mark not kept", input);
        std::string outText = out;
        if (encoding != IniEncoding::Bytes && !Decode(encoding, out, outText))
            ref::Fail("copy cannot be read back", input);
        if (encoding == IniEncoding::Utf8 && SniffIniEncoding(out) != IniEncoding::Utf8)
            ref::Fail("UTF-8 copy is no longer UTF-8", input);
        if (encoding != IniEncoding::Bytes) {
            std::string again;
            if (!EncodeIniText(encoding, outText, kLatin, again) || again != out)
                ref::Fail("copy is not its text in the file's encoding", input);
        }
        if (outText != ref::Join(rewritten))
            ref::Fail("copy differs from the reference", input);
    }
    return 0;
}
