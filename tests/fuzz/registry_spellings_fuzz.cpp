// Fuzz target: the Registry's other spellings (targets/registry_spellings.h)
// on random REG_MULTI_SZ data and random texts full of % references. Every
// byte outside a rewritten string or hit must come out as it went in, and
// Old to New then New to Old must give the original where nothing is lost
// on the way. Any failure aborts with the input printed.
//
// Built with libFuzzer by scripts/fuzz.sh, and with fuzz_driver.cpp for the
// short seeded run of the test suite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"
#include "targets/registry_spellings.h"

using namespace movix;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& in, const std::string& got) {
    std::string hex;
    for (char c : in) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X ", static_cast<unsigned char>(c));
        hex += b;
    }
    std::fprintf(stderr, "registry spellings fuzz: %s\n  input: %s\n  got:   %s\n", what, hex.c_str(), got.c_str());
    std::abort();
}

// Occurrences of `find` anywhere: letters a..z without case, and exactly.
std::size_t Count(std::string_view text, std::string_view find, bool exact) {
    const std::string t = exact ? std::string(text) : UpperAscii(text);
    const std::string f = exact ? std::string(find) : UpperAscii(find);
    std::size_t n = 0;
    for (std::size_t at = t.find(f); at != std::string::npos; at = t.find(f, at + 1))
        ++n;
    return n;
}

// Old and New pairs. New's first letter D or Z is nowhere else in the
// inputs, so after a rewrite New is found exactly where it was written.
struct Pair {
    const char* old;
    const char* neu;
    bool roundTrip;
};
// The NUL-ended pieces of the data, each with its NUL; the last one may
// lack it, and an odd byte is a piece of its own.
std::vector<std::string> Pieces(const std::string& bytes) {
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) {
            pieces.push_back(bytes.substr(begin, i + 2 - begin));
            begin = i + 2;
        }
    }
    if (begin < bytes.size() / 2 * 2)
        pieces.push_back(bytes.substr(begin, bytes.size() / 2 * 2 - begin));
    if (bytes.size() % 2 == 1)
        pieces.push_back(bytes.substr(bytes.size() - 1));
    return pieces;
}

bool Ended(const std::string& piece) {
    return piece.size() >= 2 && piece[piece.size() - 2] == 0 && piece.back() == 0;
}

const Pair kMultiPairs[] = {{"C:\\Ab", "D:\\Ab2", true},
                            {"C:\\Ab c", "D:\\x", true},
                            {"c:\\\xC3\xA9", "D:\\C:\\Ab", true},
                            {"C:\\Ab\\", "D:\\Q", false}};

void MultiString(const std::uint8_t* data, std::size_t size) {
    const Pair& pair = kMultiPairs[data[1] % 4];
    const char16_t units[] = {u'C', u'c', u':', u'\\', u'A',   u'a',   u'b', u'B', u' ', u'(',
                              u'2', u';', 0,    0,     0xD800, 0xDC00, 0xE9, 0xC9, u'%', u'x'};
    std::string bytes;
    auto unit = [&bytes](char16_t u) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    };
    auto text = [&unit](std::string_view s) {  // ASCII and the one é of the pairs
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\xC3') {
                unit(0xE9);
                ++i;
            } else {
                unit(static_cast<unsigned char>(s[i]));
            }
        }
    };
    for (std::size_t i = 2; i < size; ++i) {
        const std::uint8_t b = data[i];
        if ((data[0] & 6) == 0) {
            bytes += static_cast<char>(b);  // as it comes, now and then
        } else if (b % 24 == 20 || b % 24 == 21) {
            text(pair.old);
        } else if (b % 24 == 22) {
            text(pair.neu);
        } else if (b % 24 == 23) {
            text("C:\\AB");
        } else {
            unit(units[b % 20]);
        }
    }
    if (data[0] & 8)
        bytes += '\x7F';
    const std::vector<TMultiStringHit> hits = FindInMultiString(bytes, pair.old);
    const TMultiStringRewrite r = RewriteMultiString(bytes, pair.old, pair.neu, hits);
    if (hits.empty() && r.Data != bytes)
        Fail("data without Old changed", bytes, r.Data);
    // Every string and terminator in its place; those not rewritten as they
    // were, those rewritten as ReplaceAllText makes them.
    const std::vector<std::string> in = Pieces(bytes), out = Pieces(r.Data);
    if (in.size() != out.size())
        Fail("strings or terminators changed", bytes, r.Data);
    // A search for \ counts wherever it stands: the texts of every string
    // that holds one, as every New does.
    const std::vector<TMultiStringHit> written = FindInMultiString(r.Data, "\\");
    std::size_t next = 0;  // in r.Rewritten
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (next < r.Rewritten.size() && r.Rewritten[next] == i) {
            ++next;
            std::string want, got;
            for (const TMultiStringHit& h : hits)
                want = h.Index == i ? h.Text : want;
            for (const TMultiStringHit& h : written)
                got = h.Index == i ? h.Text : got;
            ReplaceAllText(want, pair.old, pair.neu);
            if (Ended(out[i]) != Ended(in[i]) || got != want)
                Fail("string rewritten wrongly", bytes, r.Data);
        } else if (in[i] != out[i]) {
            Fail("a string not rewritten changed", bytes, r.Data);
        }
    }
    for (const TMultiStringHit& h : hits)
        if (!h.Exact && r.Refused.empty())
            Fail("inexact string rewritten", bytes, r.Data);
    // Back again.
    bool exactCase = true;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)  // no D nor d: no New
        exactCase = exactCase && !(bytes[i + 1] == 0 && (bytes[i] == 'D' || bytes[i] == 'd'));
    for (const TMultiStringHit& h : hits)
        exactCase = exactCase && Count(h.Text, pair.old, true) == Count(h.Text, pair.old, false);
    if (pair.roundTrip && r.Refused.empty() && exactCase) {
        const TMultiStringRewrite back =
            RewriteMultiString(r.Data, pair.neu, pair.old, FindInMultiString(r.Data, pair.neu));
        if (back.Data != bytes)
            Fail("New to Old did not give the original", bytes, back.Data);
    }
}

const char* const kTokens[] = {"%PF%",  "%pf%", "%W%", "%S%", "%O%", "%L%",         "%DR%", "%E%", "%N%",
                               "%U%",   "%",    "\\",  "C:",  "c:",  "P q",         "Ac",   "Acm", " ",
                               "(x86)", ";",    "a",   "\"",  "%%",  "C:\\P q\\Ac", "%T%",  "x"};
const char* const kNews[] = {"C:\\P q\\Zz", "D:\\Zz", "C:\\P q\\Z%PF%", "D:\\C:\\P q\\Ac", "C:\\P q\\Ac\\Zz"};

void ExpandString(const std::uint8_t* data, std::size_t size) {
    TEnvironment env;
    env.Set("PF", "C:\\P q");
    env.Set("W", "C:\\P q");
    env.Set("S", "C:\\P q\\");
    env.Set("O", "C:\\P q\\Ac");
    env.Set("L", "X;C:\\P q\\Ac;Y");
    env.Set("DR", "C:");
    env.Set("E", "");
    env.Set("N", "C:\\P q\\Acm");
    env.Set("T", "C:\\P q\\Ac\\");
    const std::string old = "C:\\P q\\Ac";
    const std::string neu = kNews[data[1] % 5];
    std::string text;
    for (std::size_t i = 2; i < size; ++i)
        text += (data[0] & 6) == 0 ? std::string(1, static_cast<char>(data[i]))
                                   : std::string(kTokens[data[i] % (sizeof kTokens / sizeof kTokens[0])]);

    const std::vector<TExpandHit> hits = FindInExpandText(text, old, env);
    for (std::size_t k = 0; k < hits.size(); ++k)
        if (hits[k].Begin >= hits[k].End || hits[k].End > text.size() || (k > 0 && hits[k].Begin < hits[k - 1].Begin))
            Fail("hit out of place", text, std::to_string(hits[k].Begin) + "-" + std::to_string(hits[k].End));
    const TExpandRewrite r = RewriteExpandText(text, old, neu, env, true, true);
    if (hits.empty() && r.Text != text)
        Fail("text without Old changed", text, r.Text);
    // Outside the edits nothing moves.
    std::string rebuilt;
    std::size_t copied = 0;
    for (const TExpandEdit& e : r.Applied) {
        if (e.Hit.Begin < copied)
            Fail("edits overlap", text, r.Text);
        rebuilt += text.substr(copied, e.Hit.Begin - copied) + e.Replacement;
        copied = e.Hit.End;
    }
    rebuilt += text.substr(copied);
    if (rebuilt != r.Text)
        Fail("bytes outside the hits changed", text, r.Text);
    // The literal hits alone are what the plain replacement makes of them.
    const TExpandRewrite plain = RewriteExpandText(text, old, neu, env, true, false);
    std::string replaced = text;
    ReplaceAllText(replaced, old, neu);
    if (plain.Refused.empty() && plain.Text != replaced)
        Fail("literal hits differ from the plain replacement", text, plain.Text);

    // New lies in the folder of these: a hit that starts with one keeps it.
    if (data[1] % 5 == 0) {
        for (const TExpandEdit& e : r.Applied)
            for (const std::string_view lead : {"%PF%", "%pf%", "%W%", "%S%", "%DR%"})
                if (text.compare(e.Hit.Begin, lead.size(), lead) == 0 &&
                    e.Replacement.compare(0, lead.size(), lead) != 0)
                    Fail("a variable over New not kept", text, r.Text);
    }

    // Back again, where every hit was rewritten with its references kept.
    // New in Old's own folder is not: where a value names Old with a closing
    // separator (C:\P q\Ac\), New is spelled through it but Old is not.
    bool kept =
        data[1] % 5 != 4 && r.Refused.empty() && Count(text, "Z", false) == 0 && neu.find('%') == std::string::npos;
    for (const TExpandEdit& e : r.Applied) {
        const std::string spelled = text.substr(e.Hit.Begin, e.Hit.End - e.Hit.Begin);
        const std::size_t last = spelled.rfind('%');
        const std::string lead = last == std::string::npos ? "" : spelled.substr(0, last + 1);
        kept = kept && e.Replacement.compare(0, lead.size(), lead) == 0 &&
               e.Replacement.find('%', lead.size()) == std::string::npos;
    }
    const std::string expanded = ExpandText(text, env);
    kept = kept && Count(text, old, true) == Count(text, old, false) &&
           Count(expanded, old, true) == Count(expanded, old, false);
    if (kept) {
        const TExpandRewrite back = RewriteExpandText(r.Text, neu, old, env, true, true);
        if (back.Text != text)
            Fail("New to Old did not give the original", text, back.Text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    if (data[0] & 1)
        MultiString(data, size);
    else
        ExpandString(data, size);
    return 0;
}
