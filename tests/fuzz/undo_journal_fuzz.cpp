// Fuzz target: the undo journal reader. Bytes in, either as they are or
// made into a sealed journal and then damaged (a byte changed, cut short, a
// line dropped, moved, taken from another journal or sealed with another
// key). The reader must never crash, and must never accept a journal that a
// plain reference says fails its checks: a first line not sealed with the
// key, or a sealed line after one that is not. What it accepts may only
// come from lines sealed in their place.
//
// Built like boundary_fuzz.cpp: with libFuzzer (scripts/fuzz.sh) or with
// fuzz_driver.cpp for the short seeded run of the test suite.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/undo_journal.h"

namespace {

// A keyed stand-in for the MAC: any function of key and text will do here,
// the reader only compares.
std::string Seal(char key, std::string_view text) {
    std::uint64_t h = 1469598103934665603ull ^ static_cast<unsigned char>(key);
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

// ---- the reference: which lines carry the seal of their place -------------

std::vector<std::string> RefFields(std::string_view text) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            fields.back() += n == 't' ? '\t' : n == 'r' ? '\r' : n == 'n' ? '\n' : n;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

struct RefLine {
    std::string content;  // before the seal
    bool sealed = false;
};

// The complete lines (ended by LF), each with whether it is sealed in its
// place under `key` with the nonce of the first line.
std::vector<RefLine> RefLines(const std::string& text, char key) {
    std::vector<RefLine> lines;
    std::string nonce;
    std::size_t at = 0;
    for (;;) {
        const std::size_t lf = text.find('\n', at);
        if (lf == std::string::npos)
            break;
        const std::string line = text.substr(at, lf - at);
        at = lf + 1;
        RefLine ref;
        const std::size_t hash = line.rfind('#');
        if (hash != std::string::npos) {
            ref.content = line.substr(0, hash);
            if (lines.empty()) {
                const std::vector<std::string> f = RefFields(ref.content);
                nonce = f.size() == 3 ? f[2] : std::string();
            }
            const std::string input = std::to_string(lines.size() + 1) + "\t" + nonce + "\t" + ref.content;
            ref.sealed = !nonce.empty() && line.substr(hash + 1) == Seal(key, input);
        }
        lines.push_back(ref);
    }
    return lines;
}

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "undo journal fuzz: %s\n  journal (%zu bytes):\n", what, text.size());
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == '\n' || (u >= 0x20 && u < 0x7F))
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "%%%02X", u);
    }
    std::fputc('\n', stderr);
    std::abort();
}

// ---- turning bytes into journals -------------------------------------------

const char* const kTags[] = {"run",         "ini-before", "ini-after", "lnk-before", "lnk-after",    "value-before",
                             "value-after", "key-before", "key-value", "key-after",  "group-before", "group-after"};

// A journal whose records come from the bytes: each record a tag, an id from
// a small set and a few fields, so that ids meet and counts vary.
std::string BuildJournal(const std::uint8_t* data, std::size_t size, char key, const std::string& nonce) {
    movix::TUndoLineSealer sealer([key](std::string_view t) { return Seal(key, t); }, nonce);
    std::string text = sealer.Header();
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t b = data[i++];
        std::vector<std::string> fields{kTags[b % 12], std::to_string((b >> 4) % 4)};
        const std::size_t extra = 1 + (b >> 6) + (i < size ? data[i] % 5 : 0);
        for (std::size_t k = 0; k < extra && i < size; ++k) {
            const std::size_t len = data[i++] % 6;
            fields.emplace_back(reinterpret_cast<const char*>(data + i), std::min(len, size - i));
            i += std::min(len, size - i);
        }
        text += sealer.Line(fields);
    }
    return text;
}

std::vector<std::string> SplitKeepingEnds(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t lf = text.find('\n', at);
        const std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const std::uint8_t control = data[0], where = data[1], what = data[2];
    data += 3;
    size -= 3;
    const char key = 'K';
    std::string text;
    if ((control & 7) == 0) {
        text.assign(reinterpret_cast<const char*>(data), size);
    } else {
        text = BuildJournal(data, size, (control & 7) == 7 ? 'X' : key, "n" + std::to_string(control >> 3));
        std::vector<std::string> lines = SplitKeepingEnds(text);
        const std::size_t n = lines.size();
        switch ((control >> 3) & 7) {
            case 0:
                break;
            case 1:  // a byte changed
                if (!text.empty())
                    text[where * text.size() / 256] = static_cast<char>(what);
                break;
            case 2:  // cut short
                text.resize(where * text.size() / 256);
                break;
            case 3:  // a line dropped
                lines.erase(lines.begin() + where % n);
                break;
            case 4:  // two lines exchanged
                std::swap(lines[where % n], lines[what % n]);
                break;
            case 5: {  // a line of another journal of the same key
                const std::string other = BuildJournal(data, size, key, "other");
                const std::vector<std::string> theirs = SplitKeepingEnds(other);
                lines.insert(lines.begin() + where % (n + 1), theirs[what % theirs.size()]);
                break;
            }
            case 6:  // garbage after the end
                text += std::string(what % 40, static_cast<char>(where));
                break;
            default:  // a record added by hand, with the old kind of checksum
                lines.insert(lines.begin() + where % (n + 1), "value-before\t9\tHKLM\\X\t\t-#0000abcd\n");
                break;
        }
        if (((control >> 3) & 7) >= 3 && ((control >> 3) & 7) != 6) {
            text.clear();
            for (const std::string& line : lines)
                text += line;
        }
    }

    std::string error;
    const std::optional<movix::TUndoJournal> journal = movix::ParseUndoJournal(
        text, [key](std::string_view t) { return Seal(key, t); }, error);

    const std::vector<RefLine> ref = RefLines(text, key);
    const bool headerSealed = !ref.empty() && ref[0].sealed;
    std::size_t firstBad = ref.size();
    for (std::size_t i = 0; i < ref.size(); ++i)
        if (!ref[i].sealed) {
            firstBad = i;
            break;
        }
    bool sealedAfterBad = false;
    for (std::size_t i = firstBad; i < ref.size(); ++i)
        sealedAfterBad = sealedAfterBad || ref[i].sealed;

    if (!journal) {
        if (error.empty())
            Fail("refused without a reason", text);
        return 0;
    }
    if (!headerSealed)
        Fail("accepted a journal whose first line is not sealed with the key", text);
    if (sealedAfterBad)
        Fail("accepted a journal with a sealed line after a damaged one", text);
    // Every record accepted stands on a sealed line before the first damage.
    std::set<std::string> ids;
    std::size_t befores = 0;
    for (std::size_t i = 1; i < firstBad; ++i) {
        const std::vector<std::string> f = RefFields(ref[i].content);
        if (f.size() >= 2) {
            ids.insert(f[1]);
            befores += f[0].size() > 7 && f[0].compare(f[0].size() - 7, 7, "-before") == 0;
        }
    }
    if (journal->Entries.size() > befores)
        Fail("accepted more records than sealed lines began", text);
    for (const movix::TUndoEntry& e : journal->Entries)
        if (!ids.count(e.Id))
            Fail("accepted a record whose id no sealed line names", text);
    return 0;
}
