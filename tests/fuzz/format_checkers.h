// Readers of the configuration formats, written for the tests apart from the
// rewriter they check (targets/config_syntax.*), each after the format's own
// rules as its usual parser applies them. Each reads a whole text (UTF-8, as
// the rewriter sees it) and gives what a program reading the file would get:
// a flat list of items in document order, each with its shape (where it
// stands and what kind of thing it is: a path of keys, an element, an
// argument ...) and its value as read (escapes, references and quotes
// undone), every byte of the value tagged with the line (0-based) it came
// from, so that an occurrence of Old in a value can be traced to the line
// that was or was not rewritten. Two texts have the same structure when
// their lists have the same shapes in the same order.
//
// The readers cover what configuration files use, not each format whole
// (the TOML and YAML readers read the shapes of the test samples and refuse
// what they do not know), and they are strict: a text that the format's
// parser would read differently or reject is an error here, never read
// generously.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace format_checkers {

struct TValue {
    std::string text;
    std::vector<int> lines;  // per byte of text
    void Add(char c, int line) {
        text += c;
        lines.push_back(line);
    }
    void Add(std::string_view s, int line) {
        for (char c : s)
            Add(c, line);
    }
};

struct TItem {
    std::string shape;
    TValue value;
    bool url = false;  // the value is a file: URL as a whole
};

struct TReading {
    bool ok = true;
    std::string error;
    std::vector<TItem> items;
};

// The line of each offset: lines end at \n, \r\n or \r.
class TLineMap {
  public:
    explicit TLineMap(std::string_view text) {
        starts_.push_back(0);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (text[i] == '\n' || text[i] == '\r')
                starts_.push_back(i + 1);
        }
    }
    int LineOf(std::size_t offset) const {
        return static_cast<int>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
    }

  private:
    std::vector<std::size_t> starts_;
};

inline void AppendUtf8(std::uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at `i` and its length; 0xFFFFFFFF (length 1) where the bytes
// are not well-formed UTF-8 (overlong forms and surrogates included).
inline std::uint32_t DecodeUtf8(std::string_view s, std::size_t i, std::size_t& length) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    length = 1;
    if (b < 0x80)
        return b;
    std::size_t n = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0xFFFFFFFF;
    std::uint32_t c = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0xFFFFFFFF;
        c = (c << 6) | (t & 0x3F);
    }
    if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c < 0xE000))
        return 0xFFFFFFFF;
    length = n;
    return c;
}

inline int Hex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `n` hexadecimal digits at `p` (all of them, or false).
inline bool HexDigits(std::string_view s, std::size_t p, std::size_t n, std::uint32_t& value) {
    if (p + n > s.size())
        return false;
    value = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const int h = Hex(s[p + k]);
        if (h < 0)
            return false;
        value = value * 16 + static_cast<std::uint32_t>(h);
    }
    return true;
}

// The base of the readers: a position in the text, its lines, and the first
// error met.
class TReaderBase {
  protected:
    explicit TReaderBase(std::string_view text) : s_(text), map_(text) {}
    bool Fail(const std::string& what) {
        if (out_.ok) {
            out_.ok = false;
            out_.error =
                what + " at line " + std::to_string(map_.LineOf(p_) + 1) + " (offset " + std::to_string(p_) + ")";
        }
        return false;
    }
    bool At(std::string_view w) const { return s_.substr(p_, w.size()) == w; }
    bool End() const { return p_ >= s_.size(); }
    char Peek(std::size_t k = 0) const { return p_ + k < s_.size() ? s_[p_ + k] : '\0'; }
    int Line() const { return map_.LineOf(p_); }
    void Push(std::string shape, TValue value, bool url = false) {
        TItem item;
        item.shape = std::move(shape);
        item.url = url;
        item.value = std::move(value);
        out_.items.push_back(std::move(item));
    }
    // Copies one whole UTF-8 character, or fails on a malformed one.
    bool CopyChar(TValue& v) {
        std::size_t n = 0;
        if (DecodeUtf8(s_, p_, n) == 0xFFFFFFFF)
            return Fail("malformed UTF-8");
        v.Add(s_.substr(p_, n), Line());
        p_ += n;
        return true;
    }
    bool IsLineEnd() const { return Peek() == '\n' || Peek() == '\r'; }
    void SkipLineEnd() {
        if (Peek() == '\r' && Peek(1) == '\n')
            p_ += 2;
        else if (IsLineEnd())
            ++p_;
    }

    std::string_view s_;
    TLineMap map_;
    std::size_t p_ = 0;
    TReading out_;
};

inline bool IsFileUrl(std::string_view v) {
    if (v.size() < 5)
        return false;
    std::string head(v.substr(0, 5));
    for (char& c : head)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return head == "file:";
}

// ---------------------------------------------------------------- JSON ----
// RFC 8259: one value, strings of well-formed UTF-8 with no raw control
// character and only the escapes it names, \u surrogates in pairs.
class TJsonReader : TReaderBase {
  public:
    explicit TJsonReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        Space();
        if (Value("$", 0)) {
            Space();
            if (!End())
                Fail("text after the value");
        }
        return out_;
    }

  private:
    void Space() {
        while (!End() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
            ++p_;
    }
    bool String(TValue& v) {
        ++p_;  // "
        for (;;) {
            if (End())
                return Fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(Peek());
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20)
                return Fail("control character in a string");
            if (c != '\\') {
                if (!CopyChar(v))
                    return false;
                continue;
            }
            const int line = Line();
            const char e = Peek(1);
            p_ += 2;
            const char* simple = "\"\\/bfnrt";
            const char* means = "\"\\/\b\f\n\r\t";
            if (const char* f = e ? std::char_traits<char>::find(simple, 8, e) : nullptr) {
                v.Add(means[f - simple], line);
                continue;
            }
            std::uint32_t u = 0;
            if (e != 'u' || !HexDigits(s_, p_, 4, u))
                return Fail("bad escape in a string");
            p_ += 4;
            if (u >= 0xDC00 && u < 0xE000)
                return Fail("lone low surrogate");
            if (u >= 0xD800 && u < 0xDC00) {
                std::uint32_t low = 0;
                if (!At("\\u") || !HexDigits(s_, p_ + 2, 4, low) || low < 0xDC00 || low >= 0xE000)
                    return Fail("lone high surrogate");
                p_ += 6;
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            }
            std::string bytes;
            AppendUtf8(u, bytes);
            v.Add(bytes, line);
        }
    }
    bool Value(const std::string& path, int depth) {
        if (depth > 64)
            return Fail("too deep");
        if (End())
            return Fail("value expected");
        const char c = Peek();
        if (c == '{') {
            ++p_;
            Push(path + "{", {});
            Space();
            if (Peek() == '}') {
                ++p_;
                return true;
            }
            for (;;) {
                Space();
                if (Peek() != '"')
                    return Fail("key expected");
                TValue key;
                if (!String(key))
                    return false;
                Space();
                if (Peek() != ':')
                    return Fail(": expected");
                ++p_;
                Space();
                if (!Value(path + "/" + key.text, depth + 1))
                    return false;
                Space();
                if (Peek() == ',') {
                    ++p_;
                    continue;
                }
                if (Peek() == '}') {
                    ++p_;
                    return true;
                }
                return Fail(", or } expected");
            }
        }
        if (c == '[') {
            ++p_;
            Push(path + "[", {});
            Space();
            if (Peek() == ']') {
                ++p_;
                return true;
            }
            for (int i = 0;; ++i) {
                Space();
                if (!Value(path + "[" + std::to_string(i) + "]", depth + 1))
                    return false;
                Space();
                if (Peek() == ',') {
                    ++p_;
                    continue;
                }
                if (Peek() == ']') {
                    ++p_;
                    return true;
                }
                return Fail(", or ] expected");
            }
        }
        if (c == '"') {
            TValue v;
            if (!String(v))
                return false;
            const bool url = IsFileUrl(v.text);
            Push(path + "=str", std::move(v), url);
            return true;
        }
        for (const char* word : {"true", "false", "null"}) {
            if (At(word)) {
                p_ += std::char_traits<char>::length(word);
                Push(path + "=" + word, {});
                return true;
            }
        }
        const std::size_t start = p_;
        if (Peek() == '-')
            ++p_;
        if (Peek() == '0') {
            ++p_;
        } else if (Peek() >= '1' && Peek() <= '9') {
            while (Peek() >= '0' && Peek() <= '9')
                ++p_;
        } else {
            return Fail("value expected");
        }
        if (Peek() == '.') {
            ++p_;
            if (!(Peek() >= '0' && Peek() <= '9'))
                return Fail("digits expected");
            while (Peek() >= '0' && Peek() <= '9')
                ++p_;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++p_;
            if (Peek() == '+' || Peek() == '-')
                ++p_;
            if (!(Peek() >= '0' && Peek() <= '9'))
                return Fail("digits expected");
            while (Peek() >= '0' && Peek() <= '9')
                ++p_;
        }
        Push(path + "=" + std::string(s_.substr(start, p_ - start)), {});
        return true;
    }
};

// ----------------------------------------------------------------- XML ----
// XML 1.0 well-formedness for documents without a DOCTYPE: the five entities
// and character references decoded, attribute values normalized (a line end
// or tab reads as a blank), CDATA sections, comments (no "--" inside), PIs.
// Items: element starts and ends, attributes, runs of text (references
// decoded, adjacent CDATA apart), comments, PIs.
class TXmlReader : TReaderBase {
  public:
    explicit TXmlReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        if (At("<?xml") && (Peek(5) == ' ' || Peek(5) == '?')) {
            const std::size_t end = s_.find("?>", p_);
            if (end == std::string_view::npos)
                return Fail("unterminated declaration"), out_;
            TValue v;
            v.Add(s_.substr(p_, end - p_), 0);
            Push("decl", std::move(v));
            p_ = end + 2;
        }
        if (!Misc())
            return out_;
        if (Peek() != '<' || !Element(0))
            return Fail("root element expected"), out_;
        if (!Misc())
            return out_;
        if (!End())
            Fail("text after the root element");
        return out_;
    }

  private:
    static bool IsNameByte(char c, bool first) {
        const unsigned char u = static_cast<unsigned char>(c);
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || u >= 0x80 ||
               (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
    }
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool IsXmlChar(std::uint32_t c) {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
               (c >= 0x10000 && c <= 0x10FFFF);
    }
    bool Char(TValue& v) {
        std::size_t n = 0;
        const std::uint32_t c = DecodeUtf8(s_, p_, n);
        if (c == 0xFFFFFFFF || !IsXmlChar(c))
            return Fail("not an XML character");
        v.Add(s_.substr(p_, n), Line());
        p_ += n;
        return true;
    }
    bool Name(std::string& name) {
        if (!IsNameByte(Peek(), true))
            return Fail("name expected");
        const std::size_t start = p_;
        while (!End() && IsNameByte(Peek(), false))
            ++p_;
        name.assign(s_.substr(start, p_ - start));
        return true;
    }
    void Space() {
        while (!End() && IsSpace(Peek()))
            ++p_;
    }
    bool Reference(TValue& v) {
        const int line = Line();
        const std::size_t semi = s_.find(';', p_);
        if (semi == std::string_view::npos || semi - p_ > 12)
            return Fail("bad reference");
        const std::string_view ref = s_.substr(p_ + 1, semi - p_ - 1);
        static const char* const names[] = {"amp", "lt", "gt", "quot", "apos"};
        static const char chars[] = "&<>\"'";
        for (int k = 0; k < 5; ++k) {
            if (ref == names[k]) {
                v.Add(chars[k], line);
                p_ = semi + 1;
                return true;
            }
        }
        std::uint32_t c = 0;
        bool ok = ref.size() >= 2 && ref[0] == '#';
        if (ok && (ref[1] == 'x')) {
            ok = ref.size() > 2;
            for (std::size_t k = 2; ok && k < ref.size(); ++k)
                ok = Hex(ref[k]) >= 0 && (c = c * 16 + static_cast<std::uint32_t>(Hex(ref[k]))) <= 0x10FFFF;
        } else if (ok) {
            for (std::size_t k = 1; ok && k < ref.size(); ++k)
                ok = ref[k] >= '0' && ref[k] <= '9' &&
                     (c = c * 10 + static_cast<std::uint32_t>(ref[k] - '0')) <= 0x10FFFF;
        }
        if (!ok || !IsXmlChar(c))
            return Fail("bad reference");
        std::string bytes;
        AppendUtf8(c, bytes);
        v.Add(bytes, line);
        p_ = semi + 1;
        return true;
    }
    bool Comment() {
        p_ += 4;
        TValue v;
        while (!At("--")) {
            if (End())
                return Fail("unterminated comment");
            if (!Char(v))
                return false;
        }
        if (Peek(2) != '>')
            return Fail("-- inside a comment");
        p_ += 3;
        Push("comment", std::move(v));
        return true;
    }
    bool Pi() {
        p_ += 2;
        std::string target;
        if (!Name(target))
            return false;
        if (target.size() == 3 && (target[0] | 32) == 'x' && (target[1] | 32) == 'm' && (target[2] | 32) == 'l')
            return Fail("reserved PI target");
        if (!At("?>") && !IsSpace(Peek()))
            return Fail("blank expected after the PI target");
        Space();
        TValue v;
        while (!At("?>")) {
            if (End())
                return Fail("unterminated PI");
            if (!Char(v))
                return false;
        }
        p_ += 2;
        Push("pi " + target, std::move(v));
        return true;
    }
    bool Misc() {
        for (;;) {
            Space();
            if (At("<!--")) {
                if (!Comment())
                    return false;
            } else if (At("<?")) {
                if (!Pi())
                    return false;
            } else {
                return true;
            }
        }
    }
    bool Element(int depth) {
        if (depth > 64)
            return Fail("too deep");
        ++p_;
        std::string name;
        if (!Name(name))
            return false;
        Push("<" + name, {});
        std::vector<std::string> seen;
        for (;;) {
            const bool spaced = IsSpace(Peek());
            Space();
            if (At("/>")) {
                p_ += 2;
                Push("</" + name, {});
                return true;
            }
            if (Peek() == '>') {
                ++p_;
                break;
            }
            if (!spaced)
                return Fail("blank expected before an attribute");
            std::string attr;
            if (!Name(attr))
                return false;
            if (std::find(seen.begin(), seen.end(), attr) != seen.end())
                return Fail("attribute given twice");
            seen.push_back(attr);
            Space();
            if (Peek() != '=')
                return Fail("= expected");
            ++p_;
            Space();
            const char quote = Peek();
            if (quote != '"' && quote != '\'')
                return Fail("quote expected");
            ++p_;
            TValue v;
            while (Peek() != quote) {
                if (End() || Peek() == '<')
                    return Fail("< or end in an attribute value");
                if (Peek() == '&') {
                    if (!Reference(v))
                        return false;
                } else if (Peek() == '\r' || Peek() == '\n' || Peek() == '\t') {
                    v.Add(' ', Line());
                    if (Peek() == '\r' && Peek(1) == '\n')
                        ++p_;
                    ++p_;
                } else if (!Char(v)) {
                    return false;
                }
            }
            ++p_;
            const bool url = IsFileUrl(v.text);
            Push("@" + attr, std::move(v), url);
        }
        TValue text;
        auto flush = [&] {
            if (!text.text.empty()) {
                const bool url = IsFileUrl(text.text);
                Push("text", std::move(text), url);
                text = TValue();
            }
        };
        for (;;) {
            if (End())
                return Fail("unclosed element " + name);
            if (At("</")) {
                flush();
                p_ += 2;
                std::string closing;
                if (!Name(closing))
                    return false;
                if (closing != name)
                    return Fail("</" + closing + "> closes <" + name + ">");
                Space();
                if (Peek() != '>')
                    return Fail("> expected");
                ++p_;
                Push("</" + name, {});
                return true;
            }
            if (At("<![CDATA[")) {
                flush();
                p_ += 9;
                TValue v;
                while (!At("]]>")) {
                    if (End())
                        return Fail("unterminated CDATA");
                    if (!Char(v))
                        return false;
                }
                p_ += 3;
                Push("cdata", std::move(v));
            } else if (At("<!--")) {
                flush();
                if (!Comment())
                    return false;
            } else if (At("<?")) {
                flush();
                if (!Pi())
                    return false;
            } else if (Peek() == '<') {
                flush();
                if (!Element(depth + 1))
                    return false;
            } else if (Peek() == '&') {
                if (!Reference(text))
                    return false;
            } else if (At("]]>")) {
                return Fail("]]> in text");
            } else if (Peek() == '\r') {
                // A line end reads as \n.
                text.Add('\n', Line());
                p_ += Peek(1) == '\n' ? 2 : 1;
            } else if (!Char(text)) {
                return false;
            }
        }
    }
};

// ---------------------------------------------------------------- TOML ----
// TOML 1.0 for configuration files: comments, [tables] and [[arrays of
// tables]] with dotted names, key = value with bare, quoted and dotted keys,
// the four kinds of strings with their escape rules (in basic strings \b \t
// \n \f \r \" \\ \uXXXX \UXXXXXXXX; in multi-line basic ones also a
// line-ending backslash; none in literal ones), arrays over several lines,
// decimal integers and booleans.
class TTomlReader : TReaderBase {
  public:
    explicit TTomlReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        std::string table;
        for (;;) {
            Blank();
            if (End())
                break;
            if (Peek() == '#') {
                if (!Comment())
                    return out_;
            } else if (Peek() == '\n' || Peek() == '\r') {
                if (Peek() == '\r' && Peek(1) != '\n')
                    return Fail("lone CR"), out_;
                SkipLineEnd();
                continue;
            } else if (Peek() == '[') {
                const bool array = Peek(1) == '[';
                p_ += array ? 2 : 1;
                Blank();
                std::string key;
                if (!Key(key))
                    return out_;
                Blank();
                if (!At(array ? "]]" : "]"))
                    return Fail("] expected"), out_;
                p_ += array ? 2 : 1;
                table = key;
                Push((array ? "[[" : "[") + key, {});
            } else {
                std::string key;
                if (!Key(key))
                    return out_;
                Blank();
                if (Peek() != '=')
                    return Fail("= expected"), out_;
                ++p_;
                Blank();
                if (!Value(table + "." + key, 0))
                    return out_;
            }
            if (!LineEnd())
                return out_;
        }
        return out_;
    }

  private:
    void Blank() {
        while (Peek() == ' ' || Peek() == '\t')
            ++p_;
    }
    // After an item: blanks, perhaps a comment, then the line's end.
    bool LineEnd() {
        Blank();
        if (Peek() == '#' && !Comment())
            return false;
        if (End())
            return true;
        if (Peek() == '\r' && Peek(1) != '\n')
            return Fail("lone CR");
        if (!IsLineEnd())
            return Fail("line end expected");
        SkipLineEnd();
        return true;
    }
    static bool Control(std::uint32_t c) { return (c < 0x20 && c != '\t') || c == 0x7F; }
    bool Comment() {
        ++p_;
        TValue v;
        while (!End() && !IsLineEnd()) {
            std::size_t n = 0;
            const std::uint32_t c = DecodeUtf8(s_, p_, n);
            if (c == 0xFFFFFFFF || Control(c))
                return Fail("control character in a comment");
            v.Add(s_.substr(p_, n), Line());
            p_ += n;
        }
        Push("#", std::move(v));
        return true;
    }
    bool Key(std::string& key) {
        for (;;) {
            TValue part;
            if (Peek() == '"' || Peek() == '\'') {
                if (At("\"\"\"") || At("'''"))
                    return Fail("multi-line key");
                if (!String(part))
                    return false;
            } else {
                const std::size_t start = p_;
                while (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '_' || Peek() == '-')
                    ++p_;
                if (p_ == start)
                    return Fail("key expected");
                part.text.assign(s_.substr(start, p_ - start));
            }
            key += (key.empty() ? "" : ".") + part.text;
            Blank();
            if (Peek() != '.')
                return true;
            ++p_;
            Blank();
        }
    }
    bool StringChar(TValue& v) {
        std::size_t n = 0;
        const std::uint32_t c = DecodeUtf8(s_, p_, n);
        if (c == 0xFFFFFFFF || Control(c))
            return Fail("control character in a string");
        v.Add(s_.substr(p_, n), Line());
        p_ += n;
        return true;
    }
    bool Escape(TValue& v) {
        const int line = Line();
        const char e = Peek(1);
        const char* simple = "btnfr\"\\";
        const char* means = "\b\t\n\f\r\"\\";
        if (const char* f = e ? std::char_traits<char>::find(simple, 7, e) : nullptr) {
            v.Add(means[f - simple], line);
            p_ += 2;
            return true;
        }
        std::uint32_t u = 0;
        const std::size_t n = e == 'u' ? 4 : e == 'U' ? 8 : 0;
        if (n == 0 || !HexDigits(s_, p_ + 2, n, u) || u > 0x10FFFF || (u >= 0xD800 && u < 0xE000))
            return Fail("bad escape");
        std::string bytes;
        AppendUtf8(u, bytes);
        v.Add(bytes, line);
        p_ += 2 + n;
        return true;
    }
    bool String(TValue& v) {
        const char q = Peek();
        const bool multi = At(q == '"' ? "\"\"\"" : "'''");
        if (!multi) {
            ++p_;
            while (Peek() != q) {
                if (End() || IsLineEnd())
                    return Fail("unterminated string");
                if (q == '"' && Peek() == '\\') {
                    if (!Escape(v))
                        return false;
                } else if (!StringChar(v)) {
                    return false;
                }
            }
            ++p_;
            return true;
        }
        p_ += 3;
        if (At("\r\n"))
            p_ += 2;
        else if (Peek() == '\n')
            ++p_;
        const std::string close(3, q);
        for (;;) {
            if (End())
                return Fail("unterminated multi-line string");
            if (At(close)) {
                // Up to two quotes of the string's own may stand before the
                // closing three.
                std::size_t extra = 0;
                while (extra < 2 && Peek(3 + extra) == q)
                    ++extra;
                if (Peek(3 + extra) == q)
                    return Fail("too many quotes");
                v.Add(std::string(extra, q), Line());
                p_ += 3 + extra;
                return true;
            }
            if (IsLineEnd()) {
                if (Peek() == '\r' && Peek(1) != '\n')
                    return Fail("lone CR");
                v.Add('\n', Line());
                SkipLineEnd();
            } else if (q == '"' && Peek() == '\\') {
                std::size_t k = p_ + 1;
                while (k < s_.size() && (s_[k] == ' ' || s_[k] == '\t'))
                    ++k;
                if (k < s_.size() && (s_[k] == '\n' || s_[k] == '\r')) {
                    // A line-ending backslash: the line end and the blanks
                    // that follow are dropped.
                    p_ = k;
                    while (!End() && (Peek() == ' ' || Peek() == '\t' || IsLineEnd()))
                        ++p_;
                } else if (!Escape(v)) {
                    return false;
                }
            } else if (!StringChar(v)) {
                return false;
            }
        }
    }
    // Blanks, line ends and comments inside an array.
    bool ArraySpace() {
        for (;;) {
            Blank();
            if (Peek() == '#') {
                if (!Comment())
                    return false;
            } else if (IsLineEnd()) {
                SkipLineEnd();
            } else {
                return true;
            }
        }
    }
    bool Value(const std::string& path, int depth) {
        if (depth > 32)
            return Fail("too deep");
        if (Peek() == '"' || Peek() == '\'') {
            TValue v;
            if (!String(v))
                return false;
            const bool url = IsFileUrl(v.text);
            Push(path + "=str", std::move(v), url);
            return true;
        }
        if (Peek() == '[') {
            ++p_;
            Push(path + "[", {});
            for (int i = 0;; ++i) {
                if (!ArraySpace())
                    return false;
                if (Peek() == ']')
                    break;
                if (!Value(path + "[" + std::to_string(i) + "]", depth + 1) || !ArraySpace())
                    return false;
                if (Peek() == ',') {
                    ++p_;
                    continue;
                }
                if (Peek() != ']')
                    return Fail(", or ] expected");
                break;
            }
            ++p_;
            Push(path + "]", {});
            return true;
        }
        for (const char* word : {"true", "false"}) {
            const std::size_t n = std::char_traits<char>::length(word);
            if (At(word) && !std::isalnum(static_cast<unsigned char>(Peek(n)))) {
                p_ += n;
                Push(path + "=" + word, {});
                return true;
            }
        }
        const std::size_t start = p_;
        if (Peek() == '+' || Peek() == '-')
            ++p_;
        const std::size_t digits = p_;
        while (std::isdigit(static_cast<unsigned char>(Peek())) ||
               (Peek() == '_' && p_ > digits && std::isdigit(static_cast<unsigned char>(Peek(1)))))
            ++p_;
        if (p_ == digits || (s_[digits] == '0' && p_ - digits > 1))
            return Fail("value expected");
        Push(path + "=" + std::string(s_.substr(start, p_ - start)), {});
        return true;
    }
};

// ---------------------------------------------------------------- YAML ----
// The YAML that configuration files hold, read as a YAML 1.1 parser reads
// it: block mappings and sequences by indentation, plain scalars (ended by
// ": " and " #", in a flow sequence also by , [ ] { }), single-quoted ones
// ('' for a quote), double-quoted ones with YAML's escapes, literal block
// scalars (| and |-), flow sequences of scalars on one line, comments. Line
// breaks are \n, \r, \r\n and also NEL, LS and PS (U+0085, U+2028, U+2029),
// which YAML 1.1 counts as line breaks too: such a character in a scalar
// other than a double-quoted one's escape changes the document.
class TYamlReader : TReaderBase {
  public:
    explicit TYamlReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        if (!Lines())
            return out_;
        std::size_t i = 0;
        if (i < lines_.size() && lines_[i].text == "---") {
            Push("---", {});
            ++i;
        }
        if (i < lines_.size() && !Block(i, lines_[i].indent, "$", 0))
            return out_;
        if (i < lines_.size())
            Fail("line " + std::to_string(lines_[i].line + 1) + " out of the document's structure");
        return out_;
    }

  private:
    struct TLine {
        int indent = 0;
        std::string_view text;   // without the indentation and the line end
        std::size_t offset = 0;  // of text in s_
        int line = 0;
    };
    std::vector<TLine> lines_;  // the lines that are not blank nor only a comment
    std::vector<TLine> all_;    // every line, for block scalars

    // The length of a YAML line break at i (\r\n, \r, \n, NEL, LS, PS), or 0.
    std::size_t BreakAt(std::size_t i) const {
        if (s_[i] == '\r')
            return i + 1 < s_.size() && s_[i + 1] == '\n' ? 2 : 1;
        if (s_[i] == '\n')
            return 1;
        if (s_.substr(i, 2) == "\xC2\x85")
            return 2;
        if (s_.substr(i, 3) == "\xE2\x80\xA8" || s_.substr(i, 3) == "\xE2\x80\xA9")
            return 3;
        return 0;
    }
    bool Lines() {
        for (std::size_t c = 0; c < s_.size(); ++c) {
            std::size_t n = 0;
            const std::uint32_t ch = DecodeUtf8(s_, c, n);
            if (ch == 0xFFFFFFFF || (ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') ||
                (ch >= 0x7F && ch < 0xA0 && ch != 0x85) || ch == 0xFFFE || ch == 0xFFFF)
                return p_ = c, Fail("character YAML does not allow");
            c += n - 1;
        }
        for (std::size_t i = 0; i < s_.size();) {
            std::size_t end = i;
            std::size_t brk = 0;
            while (end < s_.size() && (brk = BreakAt(end)) == 0)
                ++end;
            TLine line;
            line.line = map_.LineOf(i);
            std::size_t k = i;
            while (k < end && s_[k] == ' ')
                ++k;
            line.indent = static_cast<int>(k - i);
            line.offset = k;
            line.text = s_.substr(k, end - k);
            all_.push_back(line);
            std::size_t t = 0;
            while (t < line.text.size() && (line.text[t] == ' ' || line.text[t] == '\t'))
                ++t;
            if (t < line.text.size() && line.text[t] != '#') {
                // "- key: value" is a sequence entry holding a mapping: read
                // as "-" and the mapping's first line, indented as it stands.
                std::size_t m = 1;
                while (m < line.text.size() && line.text[m] == ' ')
                    ++m;
                if (line.text.substr(0, 2) == "- " && m < line.text.size() && IsKeyLine(line.text.substr(m))) {
                    TLine dash = line;
                    dash.text = line.text.substr(0, 1);
                    lines_.push_back(dash);
                    line.indent += static_cast<int>(m);
                    line.offset += m;
                    line.text = line.text.substr(m);
                }
                lines_.push_back(line);
            } else if (t < line.text.size()) {
                TValue v;
                for (std::size_t c = t + 1; c < line.text.size(); ++c)
                    v.Add(line.text[c], map_.LineOf(k + c));
                comments_.push_back({line.offset + t, std::move(v)});
            }
            i = end + brk;
            if (brk == 0)
                break;
        }
        return true;
    }
    // Whether a line begins with a plain mapping key.
    static bool IsKeyLine(std::string_view text) {
        if (text.empty() || IsIndicator(text[0]))
            return false;
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] == '#' && k > 0 && text[k - 1] == ' ')
                return false;
            if (text[k] == ':' && (k + 1 == text.size() || text[k + 1] == ' '))
                return true;
        }
        return false;
    }
    struct TComment {
        std::size_t offset;
        TValue text;
    };
    std::vector<TComment> comments_;
    std::size_t nextComment_ = 0;
    // Comments are items too, in document order.
    void CommentsBefore(std::size_t offset) {
        while (nextComment_ < comments_.size() && comments_[nextComment_].offset < offset) {
            Push("#", comments_[nextComment_].text);
            ++nextComment_;
        }
    }
    void Comment(std::size_t offset, std::string_view rest) {
        TValue v;
        for (std::size_t c = 1; c < rest.size(); ++c)
            v.Add(rest[c], map_.LineOf(offset + c));
        Push("#", std::move(v));
    }
    // After a scalar on a line: blanks, then a comment (after a blank) or
    // nothing.
    bool Rest(std::size_t offset, std::string_view rest) {
        std::size_t t = 0;
        while (t < rest.size() && (rest[t] == ' ' || rest[t] == '\t'))
            ++t;
        if (t == rest.size())
            return true;
        if (rest[t] == '#' && t > 0) {
            Comment(offset + t, rest.substr(t));
            return true;
        }
        return p_ = offset + t, Fail("text after a scalar");
    }

    static bool IsIndicator(char c) { return std::char_traits<char>::find("-?:,[]{}#&*!|>'\"%@`", 19, c) != nullptr; }

    // A scalar at s_[offset...] within `text` (the rest of the line). Sets
    // `used` to the bytes it takes.
    bool Scalar(std::string_view text, std::size_t offset, bool flow, TValue& v, std::size_t& used) {
        p_ = offset;
        if (text.empty())
            return Fail("scalar expected");
        const char q = text[0];
        if (q == '\'' || q == '"') {
            std::size_t k = 1;
            for (;;) {
                if (k >= text.size())
                    return p_ = offset, Fail("quoted scalar not closed on its line");
                const char c = text[k];
                const int line = map_.LineOf(offset + k);
                if (c == q) {
                    if (q == '\'' && k + 1 < text.size() && text[k + 1] == '\'') {
                        v.Add('\'', line);
                        k += 2;
                        continue;
                    }
                    used = k + 1;
                    return true;
                }
                if (q == '"' && c == '\\') {
                    if (k + 1 >= text.size())
                        return Fail("escaped line break");
                    const char e = text[k + 1];
                    const char* simple = "0abtnvfre \"/\\\t";
                    const char* means = "\0\a\b\t\n\v\f\r\x1B \"/\\\t";
                    if (const char* f = std::char_traits<char>::find(simple, 14, e)) {
                        v.Add(means[f - simple], line);
                        k += 2;
                        continue;
                    }
                    const char* named[] = {"N", "\xC2\x85", "_", "\xC2\xA0", "L", "\xE2\x80\xA8", "P", "\xE2\x80\xA9"};
                    bool done = false;
                    for (int n = 0; n < 8 && !done; n += 2) {
                        if (e == named[n][0]) {
                            v.Add(named[n + 1], line);
                            k += 2;
                            done = true;
                        }
                    }
                    if (done)
                        continue;
                    const std::size_t n = e == 'x' ? 2 : e == 'u' ? 4 : e == 'U' ? 8 : 0;
                    std::uint32_t u = 0;
                    if (n == 0 || !HexDigits(text, k + 2, n, u) || u > 0x10FFFF || (u >= 0xD800 && u < 0xE000))
                        return p_ = offset + k, Fail("bad escape");
                    std::string bytes;
                    AppendUtf8(u, bytes);
                    v.Add(bytes, line);
                    k += 2 + n;
                    continue;
                }
                v.Add(c, line);
                ++k;
            }
        }
        if (IsIndicator(q) && !((q == '-' || q == '?' || q == ':') && text.size() > 1 && text[1] != ' '))
            return Fail("plain scalar starts with an indicator");
        std::size_t k = 0;
        std::size_t end = 0;  // past the last non-blank
        for (; k < text.size(); ++k) {
            const char c = text[k];
            if (c == ':' && (k + 1 == text.size() || text[k + 1] == ' ' ||
                             (flow && std::char_traits<char>::find(",[]{}", 5, text[k + 1]))))
                break;
            if (c == '#' && k > 0 && (text[k - 1] == ' ' || text[k - 1] == '\t'))
                break;
            if (flow && std::char_traits<char>::find(",[]{}", 5, c))
                break;
            if (c != ' ' && c != '\t')
                end = k + 1;
        }
        for (std::size_t c = 0; c < end; ++c)
            v.Add(text[c], map_.LineOf(offset + c));
        used = end;
        return true;
    }
    // A scalar or flow sequence that fills the rest of a line.
    bool InlineValue(const TLine& line, std::size_t at, const std::string& path) {
        const std::string_view text = line.text.substr(at);
        const std::size_t offset = line.offset + at;
        if (!text.empty() && text[0] == '[') {
            Push(path + "[", {});
            std::size_t k = 1;
            for (int i = 0;; ++i) {
                while (k < text.size() && text[k] == ' ')
                    ++k;
                if (k < text.size() && text[k] == ']' && i == 0)
                    break;
                TValue v;
                std::size_t used = 0;
                if (!Scalar(text.substr(k), offset + k, true, v, used))
                    return false;
                if (used == 0)
                    return p_ = offset + k, Fail("empty flow entry");
                const bool url = IsFileUrl(v.text);
                Push(path + "[" + std::to_string(i) + "]=str", std::move(v), url);
                k += used;
                while (k < text.size() && text[k] == ' ')
                    ++k;
                if (k < text.size() && text[k] == ',') {
                    ++k;
                    continue;
                }
                if (k < text.size() && text[k] == ']')
                    break;
                return p_ = offset + k, Fail(", or ] expected");
            }
            Push(path + "]", {});
            return Rest(offset + k + 1, text.substr(k + 1));
        }
        TValue v;
        std::size_t used = 0;
        if (!Scalar(text, offset, false, v, used))
            return false;
        const bool url = IsFileUrl(v.text);
        Push(path + "=str", std::move(v), url);
        return Rest(offset + used, text.substr(used));
    }
    // A literal block scalar whose header (| or |-) ends the line at `i`.
    bool BlockScalar(std::size_t& i, int parentIndent, bool keep, const std::string& path) {
        // The scalar's lines are every line after the header's, up to the
        // first non-blank line indented no more than the parent.
        std::size_t a = 0;
        while (a < all_.size() && all_[a].offset <= lines_[i].offset)
            ++a;
        std::size_t j = i + 1;
        while (j < lines_.size() && lines_[j].indent > parentIndent)
            ++j;
        const std::size_t stop = j < lines_.size() ? lines_[j].offset : s_.size() + 1;
        // The content's indentation is the first non-blank line's.
        int indent = -1;
        std::size_t last = a;
        for (std::size_t b = a; b < all_.size() && all_[b].offset < stop; ++b) {
            if (all_[b].text.find_first_not_of(' ') != std::string_view::npos) {
                if (indent < 0)
                    indent = all_[b].indent;
                if (all_[b].indent < indent)
                    return p_ = all_[b].offset, Fail("block scalar line less indented");
                last = b + 1;
            }
        }
        TValue v;
        for (std::size_t b = a; b < last; ++b) {
            const int line = all_[b].line;
            if (all_[b].text.empty() && all_[b].indent < indent) {
                v.Add('\n', line);
                continue;
            }
            const std::size_t from = all_[b].offset - static_cast<std::size_t>(all_[b].indent - indent);
            const std::size_t to = all_[b].offset + all_[b].text.size();
            for (std::size_t c = from; c < to; ++c)
                v.Add(s_[c], line);
            if (b + 1 < last || keep)
                v.Add('\n', line);
        }
        // Comments in the scalar's lines are its text.
        while (nextComment_ < comments_.size() && comments_[nextComment_].offset < stop)
            ++nextComment_;
        Push(path + "=block", std::move(v));
        i = j;
        return true;
    }
    // The block node whose first line is lines_[i] at `indent`.
    bool Block(std::size_t& i, int indent, const std::string& path, int depth) {
        if (depth > 32)
            return Fail("too deep");
        const bool sequence = lines_[i].text.substr(0, 2) == "- " || lines_[i].text == "-";
        Push(path + (sequence ? "[" : "{"), {});
        for (int n = 0; i < lines_.size() && lines_[i].indent == indent; ++n) {
            const TLine& line = lines_[i];
            CommentsBefore(line.offset);
            p_ = line.offset;
            if (sequence) {
                if (!(line.text.substr(0, 2) == "- " || line.text == "-"))
                    return Fail("sequence entry expected");
                std::size_t at = 1;
                while (at < line.text.size() && line.text[at] == ' ')
                    ++at;
                const std::string item = path + "[" + std::to_string(n) + "]";
                if (at == line.text.size()) {
                    ++i;
                    if (i == lines_.size() || lines_[i].indent <= indent)
                        return Fail("empty sequence entry");
                    const int inner = lines_[i].indent;
                    if (!Block(i, inner, item, depth + 1))
                        return false;
                    continue;
                }
                if (line.text[at] == '#')
                    return Fail("empty sequence entry");
                if (!InlineValue(line, at, item))
                    return false;
                ++i;
                continue;
            }
            TValue key;
            std::size_t used = 0;
            if (!Scalar(line.text, line.offset, false, key, used))
                return false;
            if (used >= line.text.size() || line.text[used] != ':' ||
                (used + 1 < line.text.size() && line.text[used + 1] != ' '))
                return p_ = line.offset + used, Fail("mapping key expected");
            std::size_t at = used + 1;
            while (at < line.text.size() && line.text[at] == ' ')
                ++at;
            const std::string child = path + "/" + key.text;
            if (at < line.text.size() && line.text[at] == '|') {
                std::string_view header = line.text.substr(at);
                const bool strip = header.size() > 1 && header[1] == '-';
                if (!Rest(line.offset + at + (strip ? 2 : 1), header.substr(strip ? 2 : 1)))
                    return false;
                if (!BlockScalar(i, indent, !strip, child))
                    return false;
                continue;
            }
            if (at < line.text.size() && line.text[at] != '#') {
                if (!InlineValue(line, at, child))
                    return false;
                ++i;
                continue;
            }
            if (!Rest(line.offset + used + 1, line.text.substr(used + 1)))
                return false;
            ++i;
            // A nested node: more indented, or a sequence at the same indent.
            if (i < lines_.size() &&
                (lines_[i].indent > indent || (lines_[i].indent == indent && lines_[i].text.substr(0, 2) == "- "))) {
                const int inner = lines_[i].indent;
                if (!Block(i, inner, child, depth + 1))
                    return false;
            } else {
                Push(child + "=null", {});
            }
        }
        CommentsBefore(i < lines_.size() ? lines_[i].offset : s_.size() + 1);
        if (i < lines_.size() && lines_[i].indent > indent)
            return p_ = lines_[i].offset, Fail("unexpected indentation");
        return true;
    }
};

// ---------------------------------------------------------- .properties ----
// Java's Properties.load: natural lines, comment lines (# or ! first),
// logical lines continued by an odd number of trailing backslashes (the next
// line's leading blanks dropped), the key up to an unescaped = : or blank,
// escapes \t \n \r \f \uXXXX and \x for x itself. The file is ISO-8859-1:
// whether the text holds only such characters is the caller's check.
class TPropertiesReader : TReaderBase {
  public:
    explicit TPropertiesReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        while (!End()) {
            while (Peek() == ' ' || Peek() == '\t' || Peek() == '\f')
                ++p_;
            if (IsLineEnd()) {
                SkipLineEnd();
                continue;
            }
            if (End())
                break;
            if (Peek() == '#' || Peek() == '!') {
                ++p_;
                TValue v;
                while (!End() && !IsLineEnd())
                    if (!CopyChar(v))
                        return out_;
                Push("#", std::move(v));
                continue;
            }
            // The logical line's characters, escapes still in, each with
            // whether a backslash escaped it.
            TValue key, value;
            bool inKey = true, sawSeparator = false, leading = false;
            while (!End() && !IsLineEnd()) {
                const char c = Peek();
                if (c == '\\') {
                    if (p_ + 1 >= s_.size()) {
                        ++p_;
                        break;
                    }
                    if (s_[p_ + 1] == '\n' || s_[p_ + 1] == '\r') {
                        // Continued: the line end and the next line's
                        // leading blanks are dropped.
                        ++p_;
                        SkipLineEnd();
                        while (Peek() == ' ' || Peek() == '\t' || Peek() == '\f')
                            ++p_;
                        continue;
                    }
                    TValue& to = inKey ? key : value;
                    if (!Escape(to))
                        return out_;
                    leading = false;
                    continue;
                }
                if (inKey && (c == '=' || c == ':' || c == ' ' || c == '\t' || c == '\f')) {
                    inKey = false;
                    sawSeparator = c == '=' || c == ':';
                    ++p_;
                    leading = true;
                    continue;
                }
                if (!inKey && leading && (c == ' ' || c == '\t' || c == '\f')) {
                    ++p_;
                    continue;
                }
                if (!inKey && leading && !sawSeparator && (c == '=' || c == ':')) {
                    sawSeparator = true;
                    ++p_;
                    continue;
                }
                leading = false;
                if (!CopyChar(inKey ? key : value))
                    return out_;
            }
            const bool url = IsFileUrl(value.text);
            Push("key " + key.text, std::move(value), url);
        }
        return out_;
    }

  private:
    bool Escape(TValue& v) {
        const int line = Line();
        const char e = Peek(1);
        if (e == 'u') {
            std::uint32_t u = 0;
            if (!HexDigits(s_, p_ + 2, 4, u))
                return Fail("malformed \\uxxxx");
            p_ += 6;
            if (u >= 0xD800 && u < 0xDC00) {
                std::uint32_t low = 0;
                if (!At("\\u") || !HexDigits(s_, p_ + 2, 4, low) || low < 0xDC00 || low >= 0xE000)
                    return Fail("lone surrogate");
                p_ += 6;
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            } else if (u >= 0xDC00 && u < 0xE000) {
                return Fail("lone surrogate");
            }
            std::string bytes;
            AppendUtf8(u, bytes);
            v.Add(bytes, line);
            return true;
        }
        const char* simple = "tnrf";
        const char* means = "\t\n\r\f";
        ++p_;
        if (const char* f = std::char_traits<char>::find(simple, 4, e)) {
            v.Add(means[f - simple], line);
            ++p_;
            return true;
        }
        return CopyChar(v);
    }
};

// --------------------------------------------------------------- batch ----
// How cmd reads a batch file's lines into commands and arguments: first %
// expansion (%% is %, %name% a variable, %1 %* %~dp0 arguments, a lone %
// dropped), then carets (^ escapes the next character, one at a line's end
// joins the next line), quotes (each " toggles; inside, nothing is
// special), the operators & && | || < > >> and, inside a parenthesized
// block, ) when unquoted; ( opens a block where it begins an argument.
// Arguments part at unquoted blanks and , ; = (as the built-in commands and
// the command's name part them); SET takes the rest of its command as one
// argument, its quotes kept (but for the outer pair of set "x=y"); REM and
// :: take the rest of the line as a comment. Variables read as \x01name\x01
// so that a % that became one is seen.
class TBatchReader : TReaderBase {
  public:
    explicit TBatchReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        int depth = 0;
        while (!End()) {
            TValue line;
            if (!LogicalLine(line))
                return out_;
            Split(line, depth);
        }
        return out_;
    }

  private:
    // One physical line, % expanded.
    void Physical(TValue& out, bool& ended) {
        ended = false;
        while (!End() && !IsLineEnd()) {
            const int line = Line();
            const char c = Peek();
            if (c != '%') {
                out.Add(c, line);
                ++p_;
                continue;
            }
            const char n = Peek(1);
            if (n == '%') {
                out.Add('%', line);
                p_ += 2;
            } else if ((n >= '0' && n <= '9') || n == '*') {
                out.Add(std::string("\x01") + n + "\x01", line);
                p_ += 2;
            } else if (n == '~') {
                std::size_t k = p_ + 2;
                while (k < s_.size() && std::isalpha(static_cast<unsigned char>(s_[k])))
                    ++k;
                if (k < s_.size() && s_[k] >= '0' && s_[k] <= '9') {
                    out.Add("\x01" + std::string(s_.substr(p_ + 1, k - p_)) + "\x01", line);
                    p_ = k + 1;
                } else {
                    ++p_;  // not an argument: the % is dropped
                }
            } else {
                std::size_t k = p_ + 1;
                while (k < s_.size() && s_[k] != '%' && s_[k] != '\n' && s_[k] != '\r')
                    ++k;
                if (k < s_.size() && s_[k] == '%' && k > p_ + 1) {
                    out.Add("\x01" + std::string(s_.substr(p_ + 1, k - p_ - 1)) + "\x01", line);
                    p_ = k + 1;
                } else {
                    ++p_;  // a lone % is dropped
                }
            }
        }
        if (IsLineEnd()) {
            SkipLineEnd();
            ended = true;
        }
    }
    // Physical lines joined where one ends in an unquoted, unescaped caret
    // (but a remark's or a label's: cmd reads no further into those).
    bool LogicalLine(TValue& out) {
        for (;;) {
            bool ended = false;
            Physical(out, ended);
            std::size_t first = out.text.find_first_not_of(" \t@");
            if (first != std::string::npos && (out.text[first] == ':' || IsRem(out.text.substr(first))))
                return true;
            bool quoted = false, caret = false;
            for (char c : out.text) {
                if (caret) {
                    caret = false;
                } else if (c == '"') {
                    quoted = !quoted;
                } else if (c == '^' && !quoted) {
                    caret = true;
                }
            }
            if (!caret || !ended)
                return true;
            out.text.pop_back();
            out.lines.pop_back();
            if (End())
                return true;
        }
    }
    static bool IsBlank(char c) { return c == ' ' || c == '\t'; }
    static bool IsRem(std::string_view t) {
        return t.size() >= 3 && (t[0] | 32) == 'r' && (t[1] | 32) == 'e' && (t[2] | 32) == 'm' &&
               (t.size() == 3 || IsBlank(t[3]));
    }
    void Split(const TValue& l, int& depth) {
        const std::string& t = l.text;
        std::size_t i = 0;
        auto skipBlanks = [&] {
            while (i < t.size() && (IsBlank(t[i]) || t[i] == '@'))
                ++i;
        };
        skipBlanks();
        if (i == t.size())
            return;
        for (;;) {
            skipBlanks();
            if (i >= t.size())
                break;
            // The command's first word tells REM, :: and SET apart.
            std::size_t w = i;
            while (w < t.size() && !IsBlank(t[w]) && t[w] != '&' && t[w] != '|' && t[w] != '(' && t[w] != ')')
                ++w;
            std::string word = t.substr(i, w - i);
            for (char& c : word)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (word == "rem" || word.rfind("::", 0) == 0 || (word.size() > 1 && word[0] == ':' && i == 0)) {
                TValue rest;
                for (std::size_t k = w; k < t.size(); ++k)
                    rest.Add(t[k], l.lines[k]);
                Push(word == "rem" ? "rem" : word[1] == ':' ? "::" : ":label", std::move(rest));
                return;
            }
            const bool set = word == "set";
            std::vector<TItem> args;
            TValue arg;
            bool quoted = false, inArg = false, sawQuote = false;
            auto flush = [&] {
                if (inArg) {
                    if (set && args.size() == 1 && sawQuote && arg.text.size() >= 2 && arg.text[0] == '"') {
                        // set "name=value": the outer quotes are not the value's.
                        const std::size_t last = arg.text.rfind('"');
                        TValue inner;
                        for (std::size_t k = 1; k < arg.text.size(); ++k)
                            if (k != last)
                                inner.Add(arg.text[k], arg.lines[k]);
                        arg = inner;
                    }
                    TItem item;
                    item.shape = set && !args.empty() ? "set-arg" : "arg";
                    item.url = IsFileUrl(arg.text);
                    item.value = std::move(arg);
                    args.push_back(std::move(item));
                }
                arg = TValue();
                inArg = sawQuote = false;
            };
            std::string op;
            for (; i < t.size(); ++i) {
                const char c = t[i];
                if (c == '"') {
                    quoted = !quoted;
                    inArg = sawQuote = true;
                    if (set && !args.empty())
                        arg.Add(c, l.lines[i]);
                    continue;
                }
                if (quoted) {
                    arg.Add(c, l.lines[i]);
                    continue;
                }
                if (c == '^') {
                    if (i + 1 < t.size()) {
                        ++i;
                        arg.Add(t[i], l.lines[i]);
                        inArg = true;
                    }
                    continue;
                }
                if (c == '&' || c == '|' || c == '<' || c == '>' || (c == ')' && depth > 0)) {
                    op = c;
                    if (i + 1 < t.size() && (t[i + 1] == c && c != ')'))
                        op += t[++i];
                    ++i;
                    break;
                }
                if (c == '(' && !inArg) {
                    op = c;
                    ++i;
                    break;
                }
                const bool parts = set && !args.empty() ? false : (IsBlank(c) || c == ',' || c == ';' || c == '=');
                if (parts && !(set && args.empty() && !IsBlank(c))) {
                    flush();
                    if (set && args.size() == 1) {
                        while (i + 1 < t.size() && IsBlank(t[i + 1]))
                            ++i;
                    }
                    continue;
                }
                arg.Add(c, l.lines[i]);
                inArg = true;
            }
            // SET's value runs up to the operator, trailing blanks included:
            // cmd keeps them.
            flush();
            for (auto& a : args)
                out_.items.push_back(std::move(a));
            if (!op.empty()) {
                if (op == "(")
                    ++depth;
                if (op == ")")
                    --depth;
                Push("op " + op, {});
            }
            if (i >= t.size())
                break;
        }
        Push("eol", {});
    }
};

// ---------------------------------------------------------- PowerShell ----
// PowerShell's tokens as far as paths in scripts go: comments (# and <# #>),
// single-quoted strings ('' for a quote, nothing else special), double-quoted
// ones (backtick escapes, "" for a quote, $name $(...) ${...} expanded),
// here-strings @' '@ and @" "@ (their closing at a line's start), words
// (a backtick escapes the next character), variables, and the operators.
// The curly quotes are quotes to PowerShell as the straight ones are.
// Expansions read as \x01 so that a $ of New that became one is seen.
class TPowerShellReader : TReaderBase {
  public:
    explicit TPowerShellReader(std::string_view text) : TReaderBase(text) {}
    TReading Read() {
        while (!End()) {
            const char c = Peek();
            if (c == ' ' || c == '\t') {
                ++p_;
            } else if (IsLineEnd()) {
                SkipLineEnd();
                Push("eol", {});
            } else if (c == '#') {
                TValue v;
                while (!End() && !IsLineEnd())
                    if (!CopyChar(v))
                        return out_;
                Push("#", std::move(v));
            } else if (At("<#")) {
                const std::size_t end = s_.find("#>", p_ + 2);
                if (end == std::string_view::npos)
                    return Fail("unterminated block comment"), out_;
                TValue v;
                for (p_ += 2; p_ < end;)
                    if (!CopyChar(v))
                        return out_;
                p_ += 2;
                Push("<#", std::move(v));
            } else if (At("@'") || At("@\"")) {
                if (!HereString())
                    return out_;
            } else if (SingleQuote(p_) || DoubleQuote(p_)) {
                TValue v;
                if (!Quoted(v))
                    return out_;
                const bool url = IsFileUrl(v.text);
                Push("value", std::move(v), url);
            } else if (c == '$') {
                const std::size_t start = p_;
                ++p_;
                if (Peek() == '{') {
                    while (!End() && Peek() != '}')
                        ++p_;
                    ++p_;
                } else {
                    while (!End() &&
                           (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '_' || Peek() == ':'))
                        ++p_;
                }
                Push("$" + std::string(s_.substr(start + 1, p_ - start - 1)), {});
            } else if (std::char_traits<char>::find("&|;(){},=", 9, c)) {
                ++p_;
                Push(std::string("op ") + c, {});
            } else {
                TValue v;
                if (!Word(v))
                    return out_;
                const bool url = IsFileUrl(v.text);
                Push("value", std::move(v), url);
            }
        }
        return out_;
    }

  private:
    // The quote characters: ' and ‘ ’ ‚ ‛; " and “ ” „. Their length at i, or 0.
    std::size_t SingleQuote(std::size_t i) const {
        if (i < s_.size() && s_[i] == '\'')
            return 1;
        const std::string_view t = s_.substr(i, 3);
        return t == "\xE2\x80\x98" || t == "\xE2\x80\x99" || t == "\xE2\x80\x9A" || t == "\xE2\x80\x9B" ? 3 : 0;
    }
    std::size_t DoubleQuote(std::size_t i) const {
        if (i < s_.size() && s_[i] == '"')
            return 1;
        const std::string_view t = s_.substr(i, 3);
        return t == "\xE2\x80\x9C" || t == "\xE2\x80\x9D" || t == "\xE2\x80\x9E" ? 3 : 0;
    }
    bool Expansion(TValue& v) {
        // $ before a name, {, (, or one of the automatic ones ($$ $? $^ $_).
        const char n = Peek(1);
        const unsigned char u = static_cast<unsigned char>(n);
        if (!(std::isalnum(u) || u >= 0x80 || std::char_traits<char>::find("_{($?^:", 7, n)))
            return false;
        v.Add('\x01', Line());
        ++p_;
        if (n == '(' || n == '{') {
            const char close = n == '(' ? ')' : '}';
            while (!End() && Peek() != close)
                ++p_;
            ++p_;
        } else if (n == '$' || n == '?' || n == '^') {
            ++p_;
        } else {
            while (!End() && (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '_' || Peek() == ':' ||
                              static_cast<unsigned char>(Peek()) >= 0x80))
                ++p_;
        }
        return true;
    }
    bool Backtick(TValue& v) {
        const int line = Line();
        const char e = Peek(1);
        const char* simple = "0abefnrtv";
        const char* means = "\0\a\b\x1B\f\n\r\t\v";
        if (const char* f = e ? std::char_traits<char>::find(simple, 9, e) : nullptr) {
            v.Add(means[f - simple], line);
            p_ += 2;
            return true;
        }
        if (e == 'u' && Peek(2) == '{') {
            const std::size_t close = s_.find('}', p_);
            std::uint32_t u = 0;
            if (close == std::string_view::npos || close - p_ > 9 || !HexDigits(s_, p_ + 3, close - p_ - 3, u))
                return Fail("bad `u{}");
            std::string bytes;
            AppendUtf8(u, bytes);
            v.Add(bytes, line);
            p_ = close + 1;
            return true;
        }
        ++p_;
        if (End() || IsLineEnd())
            return Fail("backtick at a line end");
        return CopyChar(v);
    }
    bool Quoted(TValue& v) {
        const bool single = SingleQuote(p_) != 0;
        p_ += single ? SingleQuote(p_) : DoubleQuote(p_);
        for (;;) {
            if (End())
                return Fail("unterminated string");
            if (const std::size_t q = single ? SingleQuote(p_) : DoubleQuote(p_)) {
                // A doubled quote is one quote of the string.
                if (const std::size_t q2 = single ? SingleQuote(p_ + q) : DoubleQuote(p_ + q)) {
                    v.Add(s_.substr(p_, q), Line());
                    p_ += q + q2;
                    continue;
                }
                p_ += q;
                return true;
            }
            if (!single && Peek() == '`') {
                if (!Backtick(v))
                    return false;
            } else if (!single && Peek() == '$' && Expansion(v)) {
            } else if (!CopyChar(v)) {
                return false;
            }
        }
    }
    bool HereString() {
        const bool single = Peek(1) == '\'';
        p_ += 2;
        while (Peek() == ' ' || Peek() == '\t')
            ++p_;
        if (!IsLineEnd())
            return Fail("here-string header not alone on its line");
        SkipLineEnd();
        TValue v;
        const char* close = single ? "'@" : "\"@";
        for (bool lineStart = true;;) {
            if (End())
                return Fail("unterminated here-string");
            if (lineStart && At(close)) {
                p_ += 2;
                if (!v.text.empty()) {  // the line end before the closing is not the string's
                    v.text.pop_back();
                    v.lines.pop_back();
                }
                Push(single ? "@'" : "@\"", std::move(v));
                return true;
            }
            lineStart = false;
            if (IsLineEnd()) {
                v.Add('\n', Line());
                SkipLineEnd();
                lineStart = true;
            } else if (!single && Peek() == '`') {
                if (!Backtick(v))
                    return false;
            } else if (!single && Peek() == '$' && Expansion(v)) {
            } else if (!CopyChar(v)) {
                return false;
            }
        }
    }
    // A bare word: up to a blank, a line end or an operator; quotes inside
    // join their text to it, a backtick escapes.
    bool Word(TValue& v) {
        while (!End() && !IsLineEnd() && Peek() != ' ' && Peek() != '\t') {
            const char c = Peek();
            if (std::char_traits<char>::find("&|;(){},", 8, c))
                break;
            if (c == '`') {
                if (!Backtick(v))
                    return false;
            } else if (c == '$') {
                if (!Expansion(v)) {
                    v.Add('$', Line());
                    ++p_;
                }
            } else if (SingleQuote(p_) || DoubleQuote(p_)) {
                if (!Quoted(v))
                    return false;
            } else if (c == '#' && v.text.empty()) {
                break;
            } else if (!CopyChar(v)) {
                return false;
            }
        }
        return true;
    }
};

}  // namespace format_checkers
