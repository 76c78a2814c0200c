// A plain reference of how an INI file splits into lines and which of them
// the search reports and the replacer rewrites, for the fuzz targets to hold
// the real code to. Written for plainness rather than speed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"

namespace ini_reference {

struct Line {
    std::string text;
    std::string end;  // "\r\n", "\r", "\n" or nothing
};

struct Split {
    std::vector<Line> lines;
    std::string tail;  // from a Ctrl-Z on
};

inline Split SplitLines(std::string_view d) {
    Split s;
    std::size_t i = 0;
    while (i < d.size() && d[i] != 26) {
        std::size_t j = i;
        while (j < d.size() && d[j] != 13 && d[j] != 10 && d[j] != 26)
            ++j;
        Line line{std::string(d.substr(i, j - i)), ""};
        if (j < d.size() && d[j] == 10) {
            line.end = "\n";
            ++j;
        } else if (j < d.size() && d[j] == 13) {
            ++j;
            line.end = "\r";
            if (j < d.size() && d[j] == 10) {
                line.end = "\r\n";
                ++j;
            }
        }
        s.lines.push_back(line);
        i = j;
    }
    s.tail = std::string(d.substr(i));
    return s;
}

inline std::string Trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && static_cast<unsigned char>(s[a]) < 33)
        ++a;
    while (b > a && static_cast<unsigned char>(s[b - 1]) < 33)
        --b;
    return s.substr(a, b - a);
}

// The hit texts (Context upper-cased) the search reports, in file order.
inline std::vector<std::string> Hits(const Split& s, const std::string& oldAddress) {
    const std::string find = movix::UpperAscii(oldAddress);
    std::vector<std::string> hits;
    std::string section = "<no section>";
    for (const Line& l : s.lines) {
        const std::string t = Trim(l.text);
        if (t.empty() || t[0] == ';')
            continue;
        if (t[0] == '[') {
            section = t;
            const std::string name = t.size() >= 2 ? t.substr(1, t.size() - 2) : std::string();
            if (movix::ContainsUpper(name, find))
                hits.push_back(movix::UpperAscii(t));
        } else if (movix::ContainsUpper(t, find)) {
            hits.push_back(movix::UpperAscii(section + t));
        }
    }
    return hits;
}

// The lines rewritten for the outstanding hits, as the replacer must; each
// consumed hit is taken off `hits`. Texts are compared as they are (the hits
// carry the lines upper-cased already).
inline int Rewrite(Split& s, std::vector<std::string>& hits, const std::string& oldAddress, const std::string& newAddress) {
    int changed = 0;
    std::string section = "<NO SECTION>";
    for (Line& l : s.lines) {
        if (hits.empty())
            break;
        const std::string u = movix::UpperAscii(Trim(l.text));
        if (u.empty() || u[0] == ';')
            continue;
        std::string key = u;
        if (u[0] == '[')
            section = u;
        else
            key = section + u;
        for (auto it = hits.begin(); it != hits.end(); ++it) {
            if (*it == key) {
                hits.erase(it);
                movix::ReplaceAllText(l.text, oldAddress, newAddress);
                ++changed;
                break;
            }
        }
    }
    return changed;
}

inline std::string Join(const Split& s) {
    std::string out;
    for (const Line& l : s.lines)
        out += l.text + l.end;
    return out + s.tail;
}

inline void Fail(const char* what, std::string_view input) {
    std::fprintf(stderr, "ini fuzz: %s; input (%zu bytes):", what, input.size());
    for (unsigned char c : input)
        std::fprintf(stderr, " %02X", c);
    std::fprintf(stderr, "\n");
    std::abort();
}

}  // namespace ini_reference
