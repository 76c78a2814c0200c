#include "targets/ini_lines.h"

#include <algorithm>
#include <utility>

#include "platform/hex_text.h"
#include "core/strings.h"

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
    lastEnd_ = LineEnd::None;
    if (ctrlZ_)
        return Result::End;
    if (!Fill())
        return error_ ? Result::Error : Result::End;
    if (buffer_[pos_] == kCtrlZ) {
        ctrlZ_ = true;  // stays unread for NextRaw
        return Result::End;
    }
    for (;;) {
        const char* begin = buffer_.get() + pos_;
        const char* stop = buffer_.get() + end_;
        const char* p = begin;
        // One comparison per ordinary byte: the three stop bytes are all
        // below 27.
        while (p != stop) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c <= static_cast<unsigned char>(kCtrlZ) && (c == kCarriageReturn || c == kLineFeed || c == kCtrlZ))
                break;
            ++p;
        }
        line.append(begin, p);
        pos_ += static_cast<std::size_t>(p - begin);
        if (p != stop) {
            if (*p == kLineFeed) {
                ++pos_;
                lastEnd_ = LineEnd::Lf;
            } else if (*p == kCarriageReturn) {
                ++pos_;
                lastEnd_ = LineEnd::Cr;
                // The line feed of a CR LF may be the first byte of the next
                // read; the line is already copied out, so the buffer may be
                // refilled. A read error here is reported by the next call.
                if (Fill() && buffer_[pos_] == kLineFeed) {
                    ++pos_;
                    lastEnd_ = LineEnd::CrLf;
                }
            }
            // A Ctrl-Z stays unread: the next call reports the end.
            return Result::Line;
        }
        if (!Fill())
            return error_ ? Result::Error : Result::Line;
    }
}

IniLineReader::Result IniLineReader::NextRaw(std::string_view& bytes) {
    bytes = std::string_view();
    if (!Fill())
        return error_ ? Result::Error : Result::End;
    bytes = std::string_view(buffer_.get() + pos_, end_ - pos_);
    pos_ = end_;
    return Result::Line;
}

std::string_view LineEndText(IniLineReader::LineEnd end) {
    switch (end) {
        case IniLineReader::LineEnd::CrLf:
            return "\r\n";
        case IniLineReader::LineEnd::Cr:
            return "\r";
        case IniLineReader::LineEnd::Lf:
            return "\n";
        case IniLineReader::LineEnd::None:
            break;
    }
    return {};
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

IniCopyResult CopyIniLines(IniLineReader& reader,
                           IniRewriter& rewriter,
                           const std::function<bool(std::string_view)>& write) {
    return CopyTextLines(reader, [&rewriter](std::string& line) { rewriter.Rewrite(line); }, write);
}

IniCopyResult CopyTextLines(IniLineReader& reader,
                            const TLineRewrite& rewrite,
                            const std::function<bool(std::string_view)>& write) {
    std::string line;
    for (;;) {
        const IniLineReader::Result r = reader.Next(line);
        if (r == IniLineReader::Result::Error)
            return IniCopyResult::ReadError;
        if (r == IniLineReader::Result::End)
            break;
        rewrite(line);
        if (!write(line) || !write(LineEndText(reader.LastLineEnd())))
            return IniCopyResult::WriteError;
    }
    std::string_view rest;
    for (;;) {
        const IniLineReader::Result r = reader.NextRaw(rest);
        if (r == IniLineReader::Result::Error)
            return IniCopyResult::ReadError;
        if (r == IniLineReader::Result::End)
            return IniCopyResult::Done;
        if (!write(rest))
            return IniCopyResult::WriteError;
    }
}

namespace {

// `named` without its last `extLength` characters: its extension, dot included.
std::string WithoutExtension(const std::string& named, std::size_t extLength) {
    return named.substr(0, named.size() - extLength);
}

}  // namespace

std::string NumberedBackupName(const std::string& file, unsigned number) {
    std::string name = BackupName(file);
    if (number == 0)
        return name;
    return WithoutExtension(name, 4) + "-" + std::to_string(number) + ".BAK";
}

std::string TaggedTempName(const std::string& file, std::uint32_t tag) {
    std::string hex;
    AppendHex(hex, tag, 8, true, true);
    return WithoutExtension(TempName(file), 4) + "-" + hex + ".$$$";
}

}  // namespace movix
