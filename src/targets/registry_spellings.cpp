#include "targets/registry_spellings.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "core/strings.h"

namespace movix {

namespace {

// ---- finding the occurrences that count ---------------------------------------

struct Occurrence {
    std::size_t begin;
    std::size_t end;
    TBoundary boundary;
};

// The occurrences of Old that count in `text`, taken as ReplaceAllText takes
// them: compared character by character upper-cased, resuming after one that
// counts and at the next character after one that does not.
std::vector<Occurrence> CountingOccurrences(std::string_view text, std::string_view oldUpper) {
    std::vector<Occurrence> found;
    if (oldUpper.empty())
        return found;
    // The text upper-cased, and for each character start in it the offset of
    // that character in the text.
    std::string upper;
    std::vector<std::size_t> starts;       // text offsets of the characters
    std::vector<std::size_t> upperStarts;  // their offsets in `upper`
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 1;
        Utf8CharAt(text, i, length);
        starts.push_back(i);
        upperStarts.push_back(upper.size());
        upper += UpperText(text.substr(i, length));
        i += length;
    }
    starts.push_back(text.size());
    upperStarts.push_back(upper.size());
    std::size_t k = 0;  // the character the next search starts at
    while (k + 1 < starts.size()) {
        const std::size_t u = upperStarts[k];
        if (upper.compare(u, oldUpper.size(), oldUpper) != 0) {
            ++k;
            continue;
        }
        // The occurrence must end where a character ends.
        const auto endIt = std::lower_bound(upperStarts.begin() + k, upperStarts.end(), u + oldUpper.size());
        if (endIt == upperStarts.end() || *endIt != u + oldUpper.size()) {
            ++k;
            continue;
        }
        const std::size_t endK = static_cast<std::size_t>(endIt - upperStarts.begin());
        const TBoundary boundary = BoundaryAfter(text, starts[endK], oldUpper);
        if (boundary == TBoundary::None) {
            ++k;
            continue;
        }
        found.push_back({starts[k], starts[endK], boundary});
        k = endK;
    }
    return found;
}

// ---- UTF-16 --------------------------------------------------------------------

std::uint16_t UnitAt(std::string_view data, std::size_t unit) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[2 * unit]) |
                                      (static_cast<unsigned char>(data[2 * unit + 1]) << 8));
}

// The units [from, to) of `data` as UTF-8; false where one is half of a
// surrogate pair without its other half (shown as U+FFFD).
bool UnitsToUtf8(std::string_view data, std::size_t from, std::size_t to, std::string& text) {
    bool exact = true;
    for (std::size_t i = from; i < to; ++i) {
        const std::uint16_t u = UnitAt(data, i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < to) {
            const std::uint16_t low = UnitAt(data, i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (low - 0xDC00)), text);
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            exact = false;
            AppendUtf8(0xFFFD, text);
        } else {
            AppendUtf8(u, text);
        }
    }
    return exact;
}

void AppendUnit(std::uint32_t unit, std::string& out) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

// UTF-8 text as UTF-16 LE bytes; false for text that is not well-formed or
// holds a NUL, which would end the string early.
bool Utf8ToUnits(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 1;
        char32_t code = Utf8CharAt(text, i, length);
        if (code == kNotUtf8 || code == 0)
            return false;
        i += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendUnit(0xD800 | (code >> 10), out);
            AppendUnit(0xDC00 | (code & 0x3FF), out);
        } else {
            AppendUnit(code, out);
        }
    }
    return true;
}

// One string of a REG_MULTI_SZ list, in units of the data.
struct Piece {
    std::size_t begin;
    std::size_t end;
    bool terminated;  // a NUL unit follows it
};

std::vector<Piece> SplitMultiString(std::string_view data) {
    std::vector<Piece> pieces;
    const std::size_t units = data.size() / 2;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < units; ++i) {
        if (UnitAt(data, i) == 0) {
            pieces.push_back({begin, i, true});
            begin = i + 1;
        }
    }
    if (begin < units)
        pieces.push_back({begin, units, false});
    return pieces;
}

// ---- environment variables -------------------------------------------------------

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

struct Reference {
    std::size_t begin;
    std::size_t end;
    const std::string* value;
};

// The defined references of `text` as one reading of % takes them: an
// undefined %NAME% (or %%) is kept as it is, and its closing % opens the
// next reference when `reopen` is set, else it is passed over.
std::vector<Reference> ScanReferences(std::string_view text, const TEnvironment& env, bool reopen) {
    std::vector<Reference> refs;
    std::size_t i = text.find('%');
    while (i != std::string_view::npos) {
        const std::size_t close = text.find('%', i + 1);
        if (close == std::string_view::npos)
            break;
        const std::string_view name = text.substr(i + 1, close - i - 1);
        const std::string* value = name.empty() ? nullptr : env.Find(name);
        if (value != nullptr) {
            refs.push_back({i, close + 1, value});
            i = text.find('%', close + 1);
        } else {
            i = reopen ? close : text.find('%', close + 1);
        }
    }
    return refs;
}

// A stretch of the text and what it expands to: a run of text that stays as
// it is, or one reference.
struct Stretch {
    std::size_t srcBegin, srcEnd;
    std::size_t begin, end;    // in the expanded text
    const std::string* value;  // the reference's whole value; null for a run of text
};

struct Expansion {
    std::string text;
    std::vector<Stretch> stretches;
};

Expansion Expand(std::string_view text, const TEnvironment& env) {
    // The references both readings take.
    const std::vector<Reference> passing = ScanReferences(text, env, false);
    const std::vector<Reference> reopening = ScanReferences(text, env, true);
    std::vector<Reference> refs;
    std::set_intersection(passing.begin(), passing.end(), reopening.begin(), reopening.end(), std::back_inserter(refs),
                          [](const Reference& a, const Reference& b) { return a.begin < b.begin; });

    // The pieces as expanded, before the values' closing separators are
    // looked at.
    std::vector<std::string> parts;
    std::vector<Stretch> stretches;
    std::size_t at = 0;
    for (const Reference& r : refs) {
        if (r.begin > at) {
            stretches.push_back({at, r.begin, 0, 0, nullptr});
            parts.emplace_back(text.substr(at, r.begin - at));
        }
        stretches.push_back({r.begin, r.end, 0, 0, r.value});
        parts.push_back(*r.value);
        at = r.end;
    }
    if (at < text.size()) {
        stretches.push_back({at, text.size(), 0, 0, nullptr});
        parts.emplace_back(text.substr(at));
    }
    // A value's closing separators go where a separator follows; a value
    // of separators only (the root \) keeps them, since \\ would begin a
    // network name.
    int next = -1;  // the first character after the part looked at, -1 for none
    for (std::size_t k = parts.size(); k-- > 0;) {
        std::string& part = parts[k];
        if (stretches[k].value != nullptr && next >= 0 && IsSeparator(static_cast<char>(next))) {
            const std::size_t kept = part.find_last_not_of("\\/");
            if (kept != std::string::npos)
                part.resize(kept + 1);
        }
        if (!part.empty())
            next = static_cast<unsigned char>(part[0]);
    }
    Expansion e;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        stretches[k].begin = e.text.size();
        e.text += parts[k];
        stretches[k].end = e.text.size();
    }
    e.stretches = std::move(stretches);
    return e;
}

// The stretch holding the character at `pos` of the expanded text.
std::size_t StretchAt(const Expansion& e, std::size_t pos) {
    for (std::size_t k = 0; k < e.stretches.size(); ++k)
        if (e.stretches[k].begin <= pos && pos < e.stretches[k].end)
            return k;
    return e.stretches.size();
}

// A hit with what the rewrite needs of it.
struct Located {
    TExpandHit hit;
    std::size_t begin = 0, end = 0;   // in the expanded text: what the replacement stands for
    std::size_t oldEnd = 0;           // in the expanded text: where Old ends
    std::size_t first = 0, last = 0;  // its stretches
    std::string tail;                 // the part of the last value after Old (separators only)
};

std::vector<Located> Locate(std::string_view text, std::string_view oldAddr, const Expansion& e) {
    const std::string oldUpper = UpperText(oldAddr);
    std::vector<Located> hits;
    for (const Occurrence& o : CountingOccurrences(text, oldUpper)) {
        Located l;
        l.hit = {TExpandSpelling::Literal, o.begin, o.end, o.boundary, true};
        // A literal occurrence lies in one run of text, unless Old itself
        // holds a % and reaches into a reference.
        std::size_t k = 0;
        while (k < e.stretches.size() && e.stretches[k].srcEnd <= o.begin)
            ++k;
        if (k == e.stretches.size() || e.stretches[k].value != nullptr || o.end > e.stretches[k].srcEnd) {
            l.hit.Rewritable = false;
        } else {
            l.begin = e.stretches[k].begin + (o.begin - e.stretches[k].srcBegin);
            l.end = l.begin + (o.end - o.begin);
        }
        hits.push_back(l);
    }
    for (const Occurrence& o : CountingOccurrences(e.text, oldUpper)) {
        const std::size_t first = StretchAt(e, o.begin);
        const std::size_t last = StretchAt(e, o.end - 1);
        bool throughVariable = false;
        for (std::size_t k = first; k <= last; ++k)
            throughVariable = throughVariable || e.stretches[k].value != nullptr;
        if (!throughVariable)
            continue;  // the same bytes are in the text: a literal hit
        const Stretch& a = e.stretches[first];
        const Stretch& b = e.stretches[last];
        Located l;
        l.first = first, l.last = last;
        l.begin = o.begin;
        l.oldEnd = o.end;
        l.end = b.value != nullptr ? b.end : o.end;
        l.hit.Spelling = TExpandSpelling::Variable;
        l.hit.Boundary = o.boundary;
        l.hit.Begin = a.value != nullptr ? a.srcBegin : a.srcBegin + (o.begin - a.begin);
        l.hit.End = b.value != nullptr ? b.srcEnd : b.srcBegin + (o.end - b.begin);
        if (a.value != nullptr && o.begin != a.begin)
            l.hit.Rewritable = false;  // the value names something before Old
        if (b.value != nullptr && o.end != b.end) {
            l.tail = e.text.substr(o.end, b.end - o.end);
            if (l.tail.find_first_not_of("\\/") != std::string::npos)
                l.hit.Rewritable = false;  // the value names something inside Old, or beside it
        }
        hits.push_back(l);
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Located& x, const Located& y) { return x.hit.Begin < y.hit.Begin; });
    return hits;
}

// What takes the place of a hit through variables: its leading stretches as
// spelled, as far as the folder they expand to still holds New, then the
// rest of New, then the separators of the last value after Old (which are
// New's own where that value is kept: %S%Acme with S=C:\P\, Old C:\P and New
// C:\P\x gives %S%x\Acme).
std::string VariableReplacement(std::string_view text, std::string_view newAddr, const Expansion& e, const Located& l) {
    std::size_t keptSrc = l.hit.Begin;  // text[Begin, keptSrc) is kept
    std::size_t keptLength = 0;         // of New, spelled by what is kept
    for (std::size_t k = l.first; k <= l.last; ++k) {
        const Stretch& s = e.stretches[k];
        // Offsets in New. A value is taken whole, with the separators that
        // follow Old in the last one; text only as far as Old goes.
        const std::size_t from = std::max(s.begin, l.begin) - l.begin;
        const std::size_t to = (s.value != nullptr ? s.end : std::min(s.end, l.oldEnd)) - l.begin;
        if (to > newAddr.size())
            break;
        const std::string_view spelled(e.text.data() + l.begin + from, to - from);
        const std::string_view wanted = newAddr.substr(from, to - from);
        // A value names the same folder in any letter case; text between
        // references must be New's own.
        if (s.value != nullptr ? !SameFileName(std::string(spelled), std::string(wanted)) : spelled != wanted)
            break;
        if (s.value == nullptr)
            continue;
        // Kept up to here only where New's name ends there too.
        if (to == newAddr.size() || IsSeparator(newAddr[to]) || (to > 0 && IsSeparator(newAddr[to - 1]))) {
            keptSrc = s.srcEnd;
            keptLength = to;
        }
    }
    return std::string(text.substr(l.hit.Begin, keptSrc - l.hit.Begin)) + std::string(newAddr.substr(keptLength)) +
           l.tail;
}

struct Edit {
    Located at;
    std::string replacement;
};

std::string Apply(std::string_view text, const std::vector<const Edit*>& edits) {
    std::string out;
    std::size_t copied = 0;
    for (const Edit* edit : edits) {
        out.append(text.substr(copied, edit->at.hit.Begin - copied));
        out += edit->replacement;
        copied = edit->at.hit.End;
    }
    out.append(text.substr(copied));
    return out;
}

// True when `text` expands to what `before` expanded to with each edit's
// stretch replaced by New and the edit's separators.
bool ExpandsAsMeant(std::string_view text,
                    const TEnvironment& env,
                    const std::string& before,
                    std::string_view newAddr,
                    const std::vector<const Edit*>& edits) {
    std::string meant;
    std::size_t copied = 0;
    for (const Edit* edit : edits) {
        meant.append(before, copied, edit->at.begin - copied);
        meant.append(newAddr.data(), newAddr.size());
        meant += edit->at.tail;
        copied = edit->at.end;
    }
    meant.append(before, copied, std::string::npos);
    return SameFileName(ExpandText(text, env), meant);
}

}  // namespace

// ---- REG_MULTI_SZ ------------------------------------------------------------------

std::vector<TMultiStringHit> FindInMultiString(std::string_view data, std::string_view oldAddr) {
    std::vector<TMultiStringHit> hits;
    const std::string oldUpper = UpperText(oldAddr);
    const std::vector<Piece> pieces = SplitMultiString(data);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        TMultiStringHit hit;
        hit.Index = i;
        hit.Exact = UnitsToUtf8(data, pieces[i].begin, pieces[i].end, hit.Text);
        if (!ContainsUpper(hit.Text, oldUpper))
            continue;
        hit.Boundary = MaybeLongerName(hit.Text, oldUpper) ? TBoundary::Doubtful : TBoundary::Sure;
        hits.push_back(std::move(hit));
    }
    return hits;
}

TMultiStringRewrite RewriteMultiString(std::string_view data,
                                       std::string_view oldAddr,
                                       std::string_view newAddr,
                                       const std::vector<TMultiStringHit>& hits) {
    TMultiStringRewrite result;
    const std::string oldUpper = UpperText(oldAddr);
    const std::vector<Piece> pieces = SplitMultiString(data);
    std::map<std::size_t, std::string> rewritten;  // index to its new UTF-16 bytes
    for (const TMultiStringHit& hit : hits) {
        if (rewritten.count(hit.Index) != 0)
            continue;
        std::string text;
        const bool exact =
            hit.Index < pieces.size() && UnitsToUtf8(data, pieces[hit.Index].begin, pieces[hit.Index].end, text);
        if (hit.Index >= pieces.size() || text != hit.Text || !ContainsUpper(text, oldUpper)) {
            result.Refused.emplace_back(hit.Index, TRefusal::Changed);
            continue;
        }
        if (!exact) {
            result.Refused.emplace_back(hit.Index, TRefusal::NotExact);
            continue;
        }
        std::string newText = text;
        ReplaceAllText(newText, oldAddr, newAddr);
        std::string units;
        if (!Utf8ToUnits(newText, units)) {
            result.Refused.emplace_back(hit.Index, TRefusal::NotWritable);
            continue;
        }
        rewritten.emplace(hit.Index, std::move(units));
    }
    if (rewritten.empty()) {
        result.Data.assign(data.data(), data.size());
        return result;
    }
    std::size_t copied = 0;  // bytes of `data` already in the result or replaced
    for (const auto& [index, units] : rewritten) {
        const Piece& p = pieces[index];
        result.Data.append(data.substr(copied, 2 * p.begin - copied));
        result.Data += units;
        copied = 2 * p.end;
        result.Rewritten.push_back(index);
    }
    result.Data.append(data.substr(copied));
    return result;
}

// ---- REG_EXPAND_SZ -------------------------------------------------------------------

void TEnvironment::Set(std::string_view name, std::string value) {
    values_[UpperText(name)] = std::move(value);
}

const std::string* TEnvironment::Find(std::string_view name) const {
    const auto it = values_.find(UpperText(name));
    return it == values_.end() ? nullptr : &it->second;
}

TEnvironment MachineEnvironment(const TEnvironment& env) {
    static const char* const kMachine[] = {"ProgramFiles",
                                           "ProgramFiles(x86)",
                                           "ProgramW6432",
                                           "CommonProgramFiles",
                                           "CommonProgramFiles(x86)",
                                           "CommonProgramW6432",
                                           "ProgramData",
                                           "ALLUSERSPROFILE",
                                           "PUBLIC",
                                           "SystemRoot",
                                           "SystemDrive",
                                           "windir"};
    TEnvironment machine;
    for (const char* name : kMachine)
        if (const std::string* value = env.Find(name))
            machine.Set(name, *value);
    return machine;
}

std::string ExpandText(std::string_view text, const TEnvironment& env) {
    return Expand(text, env).text;
}

const char* SpellingSubTypeText(TExpandSpelling spelling) {
    return spelling == TExpandSpelling::Variable ? "env" : "dat";
}

std::vector<TExpandHit> FindInExpandText(std::string_view text, std::string_view oldAddr, const TEnvironment& env) {
    std::vector<TExpandHit> hits;
    for (const Located& l : Locate(text, oldAddr, Expand(text, env)))
        hits.push_back(l.hit);
    return hits;
}

TExpandRewrite RewriteExpandText(std::string_view text,
                                 std::string_view oldAddr,
                                 std::string_view newAddr,
                                 const TEnvironment& env,
                                 bool literal,
                                 bool variables) {
    TExpandRewrite result;
    const Expansion e = Expand(text, env);
    std::vector<Edit> edits;
    std::size_t taken = 0;  // the end of the last edit kept, in the text
    for (const Located& l : Locate(text, oldAddr, e)) {
        if (!(l.hit.Spelling == TExpandSpelling::Literal ? literal : variables))
            continue;
        if (!l.hit.Rewritable) {
            result.Refused.emplace_back(l.hit, TRefusal::Inside);
        } else if (!edits.empty() && l.hit.Begin < taken) {
            result.Refused.emplace_back(l.hit, TRefusal::Overlap);
        } else {
            std::string replacement =
                l.hit.Spelling == TExpandSpelling::Literal ? std::string(newAddr) : VariableReplacement(text, newAddr, e, l);
            edits.push_back({l, std::move(replacement)});
            taken = l.hit.End;
        }
    }
    // Each edit must give New where it stands (New might hold a % that makes
    // a reference of the text around it), and all of them together too.
    std::vector<const Edit*> passed;
    for (const Edit& edit : edits) {
        if (ExpandsAsMeant(Apply(text, {&edit}), env, e.text, newAddr, {&edit}))
            passed.push_back(&edit);
        else
            result.Refused.emplace_back(edit.at.hit, TRefusal::Expansion);
    }
    std::string rewritten = Apply(text, passed);
    if (!ExpandsAsMeant(rewritten, env, e.text, newAddr, passed)) {
        for (const Edit* edit : passed)
            result.Refused.emplace_back(edit->at.hit, TRefusal::Expansion);
        passed.clear();
        rewritten.assign(text.data(), text.size());
    }
    result.Text = std::move(rewritten);
    for (const Edit* edit : passed)
        result.Applied.push_back({edit->at.hit, edit->replacement});
    return result;
}

}  // namespace movix
