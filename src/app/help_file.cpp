#include "app/help_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace movix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Splits on CR LF, LF or a lone CR; a final line without an end counts.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c != '\0') {
            current += c;
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

// A decimal context number that fits in 32 bits, the size of a help
// context on Windows; anything else is refused rather than wrapped.
bool ParseContext(const std::string& word, unsigned long& context) {
    if (word.empty() || word.size() > 10)
        return false;
    unsigned long long value = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull)
        return false;
    context = static_cast<unsigned long>(value);
    return true;
}

// Collects the text lines of one section into paragraphs.
class ParagraphBuilder {
public:
    void AddLine(const std::string& raw) {
        std::string line = Trim(raw);
        if (line.empty()) {
            EndParagraph();
            return;
        }
        bool listEntry = line.size() >= 2 && line[0] == '-' && line[1] == ' ';
        if (line.size() >= 2 && line[0] == '\\' && (line[1] == '@' || line[1] == '#' || line[1] == '-'))
            line.erase(0, 1);
        if (current_.empty())
            current_ = line;
        else
            current_ += (listEntry ? "\n" : " ") + line;
    }
    std::vector<std::string> Finish() {
        EndParagraph();
        return std::move(paragraphs_);
    }

private:
    void EndParagraph() {
        if (!current_.empty())
            paragraphs_.push_back(std::move(current_));
        current_.clear();
    }
    std::string current_;
    std::vector<std::string> paragraphs_;
};

}  // namespace

HelpFile HelpFile::Parse(const std::string& input) {
    HelpFile file;
    std::string text = input;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)  // a byte-order mark written by some editors
        text.erase(0, 3);

    enum class Section { None, Topic, Popup, Skipped };
    Section section = Section::None;
    HelpTopic topic;
    HelpPopup popup;
    ParagraphBuilder body;
    bool strayReported = false;

    auto closeSection = [&]() {
        if (section == Section::Topic) {
            topic.paragraphs = body.Finish();
            file.topics_.push_back(std::move(topic));
        } else if (section == Section::Popup) {
            popup.paragraphs = body.Finish();
            file.popups_.push_back(std::move(popup));
        }
        body = ParagraphBuilder();
        topic = HelpTopic();
        popup = HelpPopup();
        section = Section::None;
    };
    auto issue = [&](int line, std::string message) { file.issues_.push_back({line, std::move(message)}); };

    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i) + 1;
        const std::string& line = lines[i];
        if (!line.empty() && line[0] == '#')
            continue;
        if (line.empty() || line[0] != '@') {
            if (section == Section::Topic || section == Section::Popup) {
                body.AddLine(line);
            } else if (section == Section::None && !Trim(line).empty() && !strayReported) {
                issue(lineNo, "text outside a topic or popup is ignored");
                strayReported = true;
            }
            continue;
        }

        closeSection();
        strayReported = false;
        std::size_t nameEnd = 1;
        while (nameEnd < line.size() && !IsBlank(line[nameEnd]))
            ++nameEnd;
        const std::string directive = line.substr(1, nameEnd - 1);
        std::string rest = Trim(line.substr(nameEnd));
        std::size_t numberEnd = 0;
        while (numberEnd < rest.size() && !IsBlank(rest[numberEnd]))
            ++numberEnd;
        const std::string number = rest.substr(0, numberEnd);
        const std::string title = Trim(rest.substr(numberEnd));

        if (directive != "topic" && directive != "popup") {
            issue(lineNo, "unknown directive @" + directive + "; its text is ignored");
            section = Section::Skipped;
            continue;
        }
        unsigned long context = 0;
        if (!ParseContext(number, context)) {
            issue(lineNo, "@" + directive + " needs a context number from 0 to 4294967295; its text is ignored");
            section = Section::Skipped;
            continue;
        }
        if (directive == "topic") {
            if (file.FindTopic(context)) {
                issue(lineNo, "a second topic for context " + number + " is ignored");
                section = Section::Skipped;
                continue;
            }
            topic.context = context;
            topic.title = title;
            if (title.empty()) {
                issue(lineNo, "topic " + number + " has no title");
                topic.title = "Topic " + number;
            }
            section = Section::Topic;
        } else {
            if (file.FindPopup(context)) {
                issue(lineNo, "a second popup for context " + number + " is ignored");
                section = Section::Skipped;
                continue;
            }
            if (!title.empty())
                issue(lineNo, "text after the popup's context number is ignored");
            popup.context = context;
            section = Section::Popup;
        }
    }
    closeSection();
    return file;
}

const HelpTopic* HelpFile::FindTopic(unsigned long context) const {
    for (const HelpTopic& t : topics_)
        if (t.context == context)
            return &t;
    return nullptr;
}

const HelpPopup* HelpFile::FindPopup(unsigned long context) const {
    for (const HelpPopup& p : popups_)
        if (p.context == context)
            return &p;
    return nullptr;
}

std::string FormatHelpText(const std::vector<std::string>& paragraphs, const char* newline) {
    std::string out;
    for (const std::string& paragraph : paragraphs) {
        if (!out.empty()) {
            out += newline;
            out += newline;
        }
        for (char c : paragraph) {
            if (c == '\n')
                out += newline;
            else
                out += c;
        }
    }
    return out;
}

std::string PopupTextFor(const HelpFile& file, unsigned long context, const char* newline) {
    if (const HelpPopup* popup = file.FindPopup(context))
        return FormatHelpText(popup->paragraphs, newline);
    if (const HelpTopic* topic = file.FindTopic(context)) {
        std::vector<std::string> all;
        all.push_back(topic->title);
        all.insert(all.end(), topic->paragraphs.begin(), topic->paragraphs.end());
        return FormatHelpText(all, newline);
    }
    return std::string();
}

HelpFileLoad ReadHelpFileText(const std::string& path, std::string& text, std::size_t maxBytes) {
    text.clear();
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    errno = 0;
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return errno == ENOENT ? HelpFileLoad::Missing : HelpFileLoad::Unreadable;
    char buffer[16384];
    for (;;) {
        std::size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
        if (n > 0) {
            if (text.size() + n > maxBytes) {
                text.clear();
                return HelpFileLoad::TooLarge;
            }
            text.append(buffer, n);
        }
        if (n < sizeof buffer) {
            if (std::ferror(f.get())) {
                text.clear();
                return HelpFileLoad::Unreadable;
            }
            break;
        }
    }
    return HelpFileLoad::Ok;
}

}  // namespace movix
