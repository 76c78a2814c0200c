// INI files as lines: how a file splits into lines, which lines the search
// reports, and how the replacer finds its hits again. No Windows header: the
// Win32 halves feed these from their own file reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/replace_groups.h"

namespace movix {

// Removes every leading and trailing character whose code is below 33
// (blanks and control characters).
std::string_view TrimIni(std::string_view line);

// Splits a byte stream into INI lines. A line ends at a carriage return with
// a line feed after it, at a lone carriage return or at a lone line feed;
// each line remembers which, so that a copy can end it the same way. A
// Ctrl-Z (26) ends the lines; the bytes from it on can still be had as they
// are (NextRaw), so that a copy drops none of them. Lines have no length
// limit.
class IniLineReader {
  public:
    // Reads up to `capacity` bytes into `buffer`: the count read, 0 at the
    // end of the file, a negative value on a read error.
    using ReadFn = std::function<long long(char* buffer, std::size_t capacity)>;

    explicit IniLineReader(ReadFn read, std::size_t bufferSize = 64 * 1024);

    enum class Result { Line, End, Error };
    // How the line last handed out ended: None for a last line without a
    // line end, or one cut short by a Ctrl-Z.
    enum class LineEnd { None, CrLf, Cr, Lf };

    // The next line, without its line end (see LastLineEnd). After End or
    // Error every further call gives the same result.
    Result Next(std::string& line);
    LineEnd LastLineEnd() const { return lastEnd_; }

    // After Next has given End: the bytes not yet handed out (from a Ctrl-Z
    // on, the Ctrl-Z included), a piece per call as Line, then End or Error.
    Result NextRaw(std::string_view& bytes);

  private:
    // Makes at least one unread byte available; false at the end or on error.
    bool Fill();

    ReadFn read_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;  // not zero-filled: one is made per file
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool error_ = false;
    bool ctrlZ_ = false;  // a Ctrl-Z at pos_ ended the lines
    LineEnd lastEnd_ = LineEnd::None;
};

// The bytes of a line end.
std::string_view LineEndText(IniLineReader::LineEnd end);

// The section text in force before the first section header.
extern const char kNoSection[];  // "<no section>"

// What the INI search reports of one file, line by line.
class IniSearchScanner {
  public:
    // The match rule, applied to a header's name or to a whole key line.
    using MatchFn = std::function<bool(std::string_view)>;

    explicit IniSearchScanner(MatchFn matches);

    // Examines one line as read. True when it is a hit; SubType() and
    // Context() then describe it.
    bool Examine(std::string_view line);

    int SubType() const { return subType_; }
    const std::string& Context() const { return context_; }

  private:
    MatchFn matches_;
    std::string section_ = kNoSection;
    int subType_ = 0;
    std::string context_;
};

// Applies one file's outstanding hits to its lines as they are copied.
class IniRewriter {
  public:
    // How two texts compare without regard to letter case; the Windows side
    // passes the user's locale.
    using TextEqual = std::function<bool(const std::string&, const std::string&)>;

    // `hits` is the group's list of outstanding hits: each is removed from it
    // when a line consumes it.
    IniRewriter(std::vector<TReplaceHit>& hits,
                std::string oldAddress,
                std::string newAddress,
                TextEqual equal,
                const TLogLine& log);

    // Rewrites one line as read (untrimmed) in place, logging each change.
    void Rewrite(std::string& line);

  private:
    // The first outstanding hit whose text equals `text`, removed and
    // reported as true.
    bool Consume(const std::string& text);

    std::vector<TReplaceHit>& hits_;
    std::string old_;
    std::string new_;
    TextEqual equal_;
    const TLogLine& log_;
    std::string section_;
};

// Copies one file's lines to `write`, each rewritten by `rewriter` and ended
// as it was read, and then every byte from a Ctrl-Z on unchanged: apart from
// the rewritten hits the copy is the file byte for byte.
enum class IniCopyResult { Done, ReadError, WriteError };
IniCopyResult CopyIniLines(IniLineReader& reader,
                           IniRewriter& rewriter,
                           const std::function<bool(std::string_view)>& write);
// The same with any rewrite of a line (untrimmed, in place).
using TLineRewrite = std::function<void(std::string& line)>;
IniCopyResult CopyTextLines(IniLineReader& reader,
                            const TLineRewrite& rewrite,
                            const std::function<bool(std::string_view)>& write);

// The replacer's names beside a file F. The backup is BackupName(F) for
// `number` 0 and otherwise carries "-<number>" before its ".BAK" (WIN.BAK,
// WIN-1.BAK, WIN-2.BAK ...): an existing backup is never overwritten, the next
// free number is taken. The temporary file carries a random tag before its
// ".$$$" (WIN-3F09A1C2.$$$), so that no one can plant a file or link under
// its name in advance.
std::string NumberedBackupName(const std::string& file, unsigned number);
std::string TaggedTempName(const std::string& file, std::uint32_t tag);

}  // namespace movix
