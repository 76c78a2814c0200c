#include "core/command_lines.h"

#include <cstddef>
#include <vector>

#include "core/strings.h"

namespace movix {

namespace {

bool IsArgBlank(char c) {
    return c == ' ' || c == '\t';
}

// One argument as the line spells it: [begin, end), whether it is the
// program's name, and whether it holds a quote of any kind.
struct Token {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool program = false;
    bool quote = false;
};

struct Tokens {
    std::vector<Token> list;
    std::vector<bool> quoted;  // per byte: inside quotes
};

Tokens Tokenize(std::string_view line, TCommandLineForm form) {
    Tokens t;
    t.quoted.assign(line.size(), false);
    const std::size_t n = line.size();
    std::size_t i = 0;
    if (form == TCommandLineForm::WithProgram) {
        Token program;
        program.program = true;
        if (n > 0 && line[0] == '"') {
            // Up to the next quote, whatever comes between.
            const std::size_t close = line.find('"', 1);
            program.end = close == std::string_view::npos ? n : close + 1;
            program.quote = true;
            for (std::size_t k = 1; k < (close == std::string_view::npos ? n : close); ++k)
                t.quoted[k] = true;
        } else {
            while (i < n && !IsArgBlank(line[i]))
                program.quote = program.quote || line[i++] == '"';
            program.end = i;
        }
        t.list.push_back(program);
        i = program.end;
    }
    for (;;) {
        while (i < n && IsArgBlank(line[i]))
            ++i;
        if (i >= n)
            break;
        Token arg;
        arg.begin = i;
        bool inQuotes = false;
        while (i < n && (inQuotes || !IsArgBlank(line[i]))) {
            if (line[i] == '\\') {
                std::size_t k = i;
                while (k < n && line[k] == '\\')
                    t.quoted[k++] = inQuotes;
                const bool escaped = (k - i) % 2 == 1;
                i = k;
                if (i < n && line[i] == '"' && escaped) {
                    arg.quote = true;
                    t.quoted[i++] = inQuotes;
                }
                continue;
            }
            if (line[i] == '"') {
                arg.quote = true;
                if (inQuotes && i + 1 < n && line[i + 1] == '"') {
                    // A doubled quote inside quotes is one literal quote.
                    t.quoted[i] = t.quoted[i + 1] = true;
                    i += 2;
                    continue;
                }
                inQuotes = !inQuotes;
                ++i;
                continue;
            }
            t.quoted[i++] = inQuotes;
        }
        arg.end = i;
        t.list.push_back(arg);
    }
    return t;
}

// The token that holds the byte at `at`; the count of tokens for none.
std::size_t TokenAt(const Tokens& t, std::size_t at) {
    for (std::size_t k = 0; k < t.list.size(); ++k)
        if (t.list[k].begin <= at && at < t.list[k].end)
            return k;
    return t.list.size();
}

std::size_t TrailingBackslashes(std::string_view s) {
    std::size_t k = 0;
    while (k < s.size() && s[s.size() - 1 - k] == '\\')
        ++k;
    return k;
}

// Whether the text from `at` on is a run of backslashes (perhaps none) and
// then a quote: backslashes ending there are read as escapes.
bool BackslashesThenQuote(std::string_view line, std::size_t at) {
    while (at < line.size() && line[at] == '\\')
        ++at;
    return at < line.size() && line[at] == '"';
}

}  // namespace

bool HoldsBlank(std::string_view address) {
    return address.find_first_of(" \t") != std::string_view::npos;
}

std::optional<std::string> RewriteCommandLine(std::string_view line,
                                              std::string_view oldAddr,
                                              std::string_view newAddr,
                                              TCommandLineForm form) {
    const std::vector<TTextSpan> found = ReplacedOccurrences(line, oldAddr);
    if (found.empty())
        return std::string(line);
    if (newAddr.find('"') != std::string_view::npos)
        return std::nullopt;
    const Tokens t = Tokenize(line, form);
    const bool blank = HoldsBlank(newAddr);

    // The runs of tokens that go in quotes: from the one an occurrence
    // outside quotes begins in to the one it ends in (more than one only
    // for a program's name with a blank in Old).
    struct Wrap {
        std::size_t first, last;
    };
    std::vector<Wrap> wraps;
    for (const TTextSpan& o : found) {
        if (!blank || t.quoted[o.Begin])
            continue;
        const std::size_t first = TokenAt(t, o.Begin);
        const std::size_t last = TokenAt(t, o.End - 1);
        if (first == t.list.size() || last == t.list.size())
            return std::nullopt;  // Old begins or ends with a blank outside every argument
        // Old with a blank, unquoted, reached the program in pieces: the
        // program's name is taken whole as the system found it, arguments
        // keep their pieces.
        if (first != last && !t.list[first].program)
            continue;
        if (!wraps.empty() && first <= wraps.back().last) {
            if (last > wraps.back().last)
                wraps.back().last = last;
            continue;
        }
        wraps.push_back({first, last});
    }
    for (const Wrap& w : wraps)
        for (std::size_t k = w.first; k <= w.last; ++k)
            if (t.list[k].quote)
                return std::nullopt;

    const std::size_t oldTail = TrailingBackslashes(oldAddr);
    const std::size_t newTail = TrailingBackslashes(newAddr);
    bool refused = false;
    std::size_t next = 0;  // the first occurrence not yet written
    // line[from, to) with its occurrences rewritten.
    const auto substituted = [&](std::size_t from, std::size_t to) {
        std::string out;
        std::size_t copied = from;
        for (; next < found.size() && found[next].End <= to; ++next) {
            const TTextSpan& o = found[next];
            if (o.Begin < copied) {
                refused = true;  // across a run put in quotes: never met, but never written wrong
                continue;
            }
            out.append(line.substr(copied, o.Begin - copied));
            out.append(newAddr);
            copied = o.End;
            const std::size_t token = TokenAt(t, o.Begin);
            const bool escapes = token == t.list.size() || !t.list[token].program;
            if (escapes && BackslashesThenQuote(line, o.End) && oldTail != newTail) {
                // Old's own backslashes were escapes there: what it gave
                // the program is not Old.
                if (oldTail > 0)
                    refused = true;
                out.append(newTail, '\\');
            }
        }
        out.append(line.substr(copied, to - copied));
        return out;
    };

    std::string result;
    std::size_t pos = 0;
    for (const Wrap& w : wraps) {
        const Token& first = t.list[w.first];
        const Token& last = t.list[w.last];
        result += substituted(pos, first.begin);
        const std::string inner = substituted(first.begin, last.end);
        result += '"';
        result += inner;
        // The argument's backslashes were literal with no quote after them;
        // before the closing quote they must be doubled to stay so. The
        // program's name has no escapes.
        if (!first.program)
            result.append(TrailingBackslashes(inner), '\\');
        result += '"';
        pos = last.end;
    }
    result += substituted(pos, line.size());
    if (refused)
        return std::nullopt;
    return result;
}

bool UnquotedFollowedByMore(std::string_view text, std::string_view oldAddr) {
    const std::vector<TTextSpan> found = ReplacedOccurrences(text, oldAddr);
    if (found.empty())
        return false;
    const Tokens t = Tokenize(text, TCommandLineForm::WithProgram);
    for (const TTextSpan& o : found) {
        if (t.quoted[o.Begin])
            continue;
        const std::size_t last = TokenAt(t, o.End - 1);
        const std::size_t end = last == t.list.size() ? o.End : t.list[last].end;
        for (std::size_t k = end; k < text.size(); ++k)
            if (!IsArgBlank(text[k]))
                return true;
    }
    return false;
}

}  // namespace movix
