// Fuzz target: the INI line reader, search and rewriter (targets/ini_lines.h)
// against the plain reference of ini_reference.h. The file comes in reads of
// sizes the input chooses, through a line buffer of a size it chooses; the
// search's hits are applied by the rewriter, and the copy must be the file
// with exactly the hit lines rewritten: every other byte, line end and the
// bytes from a Ctrl-Z on kept. Any disagreement aborts with the input printed.
//
// Input: one byte for the line buffer's size, one for the pattern of read
// sizes, one for the Old and New addresses, then the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"
#include "ini_reference.h"
#include "targets/ini_lines.h"

using namespace movix;
namespace ref = ini_reference;

namespace {

struct Addresses {
    const char* old;
    const char* now;
};

// Short Old addresses, so that random bytes hold them now and then.
const Addresses kAddresses[] = {
    {"a", "XY"}, {"C:\\OLD", "D:\\NEW\\C:\\OLD"}, {"[", "]"}, {"=", ""}, {"a\\", "\\a\\"}, {"\xC3\xBC", "ue"},
    {";", "\r\n"}, {"C:\\A", "C:\\AA"},
};

// Reads of the sizes the pattern gives (1 to 16 bytes, or all that is left).
IniLineReader::ReadFn ChunkedReader(std::string_view data, unsigned pattern) {
    auto at = std::make_shared<std::size_t>(0);
    auto turn = std::make_shared<unsigned>(0);
    return [data, pattern, at, turn](char* buffer, std::size_t capacity) -> long long {
        const unsigned step = (pattern >> ((*turn)++ % 4 * 2)) & 3;
        std::size_t want = step == 3 ? data.size() : static_cast<std::size_t>(1 + (pattern >> 4) * step % 16);
        want = std::min({want, capacity, data.size() - *at});
        if (want > 0)
            std::memcpy(buffer, data.data() + *at, want);
        *at += want;
        return static_cast<long long>(want);
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t bufferSize = data[0] == 255 ? 64 * 1024 : 1 + data[0] % 24;
    const unsigned pattern = data[1];
    const Addresses& addresses = kAddresses[data[2] % (sizeof kAddresses / sizeof kAddresses[0])];
    const std::string_view file = input.substr(3);
    const ref::Split expectedSplit = ref::SplitLines(file);

    // The lines as the reader hands them out, and the search's hits.
    {
        IniLineReader reader(ChunkedReader(file, pattern), bufferSize);
        IniSearchScanner scanner([&addresses](std::string_view s) { return ContainsUpper(s, UpperAscii(addresses.old)); });
        ref::Split got;
        std::vector<std::string> hits;
        std::string line;
        IniLineReader::Result r;
        while ((r = reader.Next(line)) == IniLineReader::Result::Line) {
            got.lines.push_back({line, std::string(LineEndText(reader.LastLineEnd()))});
            if (scanner.Examine(line))
                hits.push_back(UpperAscii(scanner.Context()));
        }
        if (r != IniLineReader::Result::End)
            ref::Fail("read error from a reader that has none", input);
        std::string_view raw;
        while (reader.NextRaw(raw) == IniLineReader::Result::Line)
            got.tail.append(raw.data(), raw.size());
        if (got.lines.size() != expectedSplit.lines.size() || got.tail != expectedSplit.tail)
            ref::Fail("lines differ from the reference", input);
        for (std::size_t i = 0; i < got.lines.size(); ++i)
            if (got.lines[i].text != expectedSplit.lines[i].text || got.lines[i].end != expectedSplit.lines[i].end)
                ref::Fail("a line differs from the reference", input);
        if (hits != ref::Hits(expectedSplit, addresses.old))
            ref::Fail("hits differ from the reference", input);
    }

    // The copy with the hits applied; with no hits, the file itself.
    for (int withHits = 0; withHits < 2; ++withHits) {
        ref::Split expected = expectedSplit;
        std::vector<std::string> refHits = withHits ? ref::Hits(expected, addresses.old) : std::vector<std::string>();
        std::vector<TReplaceHit> hits;
        for (const std::string& h : refHits)
            hits.push_back({h, 0});
        const int changes = ref::Rewrite(expected, refHits, addresses.old, addresses.now);

        int logged = 0;
        const TLogLine log = [&logged](const std::string& l) { logged += l.rfind("       changed to: ", 0) == 0; };
        IniRewriter rewriter(
            hits, addresses.old, addresses.now, [](const std::string& a, const std::string& b) { return a == b; }, log);
        IniLineReader reader(ChunkedReader(file, pattern >> 1), bufferSize);
        std::string out;
        const IniCopyResult r = CopyIniLines(reader, rewriter, [&out](std::string_view s) {
            out.append(s.data(), s.size());
            return true;
        });
        if (r != IniCopyResult::Done)
            ref::Fail("copy failed", input);
        if (out != ref::Join(expected))
            ref::Fail("copy differs from the reference", input);
        if (!withHits && out != file)
            ref::Fail("copy without hits is not the file", input);
        if (logged != changes || hits.size() != refHits.size())
            ref::Fail("hits consumed differ from the reference", input);
    }
    return 0;
}
