#include "targets/ini_lines.h"

#include <algorithm>
#include <utility>

#include "engine/strings.h"

namespace movix {

namespace {

constexpr char kCarriageReturn = 13;
constexpr char kLineFeed = 10;
constexpr char kCtrlZ = 26;

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) < 33;
}

}  // namespace

const char kNoSection[] = "<no section>";

std::string_view TrimIni(std::string_view line) {
    std::size_t first = 0;
    std::size_t last = line.size();
    while (first < last && IsTrimmed(line[first]))
        ++first;
    while (last > first && IsTrimmed(line[last - 1]))
        --last;
    return line.substr(first, last - first);
}

IniLineReader::IniLineReader(ReadFn read, std::size_t bufferSize)
    : read_(std::move(read)), capacity_(std::max<std::size_t>(bufferSize, 1)), buffer_(new char[capacity_]) {}

bool IniLineReader::Fill() {
    if (pos_ < end_)
        return true;
    if (eof_ || error_)
        return false;
    const long long got = read_(buffer_.get(), capacity_);
    pos_ = 0;
    end_ = 0;
    if (got < 0) {
        error_ = true;
        return false;
    }
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ = static_cast<std::size_t>(std::min<long long>(got, static_cast<long long>(capacity_)));
    return true;
}

IniLineReader::Result IniLineReader::Next(std::string& line) {
    line.clear();
    if (skipLineFeed_) {
        skipLineFeed_ = false;
        if (Fill() && buffer_[pos_] == kLineFeed)
            ++pos_;
    }
    if (!Fill())
        return error_ ? Result::Error : Result::End;
    if (buffer_[pos_] == kCtrlZ) {
        eof_ = true;
        end_ = pos_;  // nothing after a Ctrl-Z is read, not even by a later call
        return Result::End;
    }
    for (;;) {
        const char* begin = buffer_.get() + pos_;
        const char* stop = buffer_.get() + end_;
        const char* p = begin;
        while (p != stop && *p != kCarriageReturn && *p != kCtrlZ)
            ++p;
        line.append(begin, p);
        pos_ += static_cast<std::size_t>(p - begin);
        if (p != stop) {
            if (*p == kCarriageReturn) {
                ++pos_;
                // The line feed of a CR LF may be the first byte of the next read.
                if (pos_ < end_) {
                    if (buffer_[pos_] == kLineFeed)
                        ++pos_;
                } else {
                    skipLineFeed_ = true;
                }
            }
            // A Ctrl-Z stays unread: the next call reports the end.
            return Result::Line;
        }
        if (!Fill())
            return error_ ? Result::Error : Result::Line;
    }
}

IniSearchScanner::IniSearchScanner(MatchFn matches) : matches_(std::move(matches)) {}

bool IniSearchScanner::Examine(std::string_view line) {
    const std::string_view trimmed = TrimIni(line);
    if (trimmed.empty() || trimmed[0] == ';')
        return false;
    if (trimmed[0] == '[') {
        // The name drops the first and the last character, whatever the last
        // one is: a header without its closing bracket loses a letter.
        const std::string_view name = trimmed.size() >= 2 ? trimmed.substr(1, trimmed.size() - 2) : std::string_view();
        section_.assign(trimmed);
        if (!matches_(name))
            return false;
        subType_ = kSubTypeSection;
        context_ = section_;
        return true;
    }
    if (!matches_(trimmed))
        return false;
    subType_ = kSubTypeKey;
    context_ = section_;
    context_.append(trimmed);
    return true;
}

IniRewriter::IniRewriter(std::vector<TReplaceHit>& hits,
                         std::string oldAddress,
                         std::string newAddress,
                         TextEqual equal,
                         const TLogLine& log)
    : hits_(hits),
      old_(std::move(oldAddress)),
      new_(std::move(newAddress)),
      equal_(std::move(equal)),
      log_(log),
      // The hits carry their section upper-cased; the upper form of the
      // initial text is the same text to a comparison that ignores case.
      section_(UpperAscii(kNoSection)) {}

bool IniRewriter::Consume(const std::string& text) {
    for (auto it = hits_.begin(); it != hits_.end(); ++it) {
        if (it->Text == text || equal_(it->Text, text)) {
            hits_.erase(it);
            return true;
        }
    }
    return false;
}

void IniRewriter::Rewrite(std::string& line) {
    if (hits_.empty())
        return;
    const std::string upper = UpperAscii(TrimIni(line));
    if (upper.empty() || upper[0] == ';')
        return;
    const char* prefix;
    if (upper[0] == '[') {
        section_ = upper;
        if (!Consume(upper))
            return;
        prefix = "   section header: ";
    } else {
        if (!Consume(section_ + upper))
            return;
        prefix = "          INI key: ";
    }
    log_(prefix + line);
    ReplaceAllText(line, old_, new_);
    log_("       changed to: " + line);
}

}  // namespace movix
