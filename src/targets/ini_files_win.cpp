#include "targets/ini_files_win.h"

#include <climits>
#include <memory>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/wide_text_win.h"
#include "core/strings.h"
#include "platform/file_io_win.h"
#include "platform/locale_text_win.h"
#include "targets/ini_encoding_win.h"
#include "targets/ini_lines.h"

namespace movix {

namespace {

IniLineReader::ReadFn ReadFrom(InputFile& file) {
    return [&file](char* buffer, std::size_t capacity) { return file.Read(buffer, capacity); };
}

// A running checksum (FNV-1a, 64 bits) of what was read: the file is read
// again before the exchange and must give the same.
class ContentSum {
  public:
    void Add(const char* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            sum_ ^= static_cast<unsigned char>(data[i]);
            sum_ *= 1099511628211ull;
        }
        bytes_ += n;
    }
    bool operator==(const ContentSum& o) const { return sum_ == o.sum_ && bytes_ == o.bytes_; }

  private:
    std::uint64_t sum_ = 14695981039346656037ull;
    std::uint64_t bytes_ = 0;
};

IniLineReader::ReadFn SummingReadFrom(InputFile& file, ContentSum& sum) {
    return [&file, &sum](char* buffer, std::size_t capacity) {
        const long long got = file.Read(buffer, capacity);
        if (got > 0)
            sum.Add(buffer, static_cast<std::size_t>(got));
        return got;
    };
}

// True when the file under F's name is still the one that was read, as it
// was read: the same file (not one put in its place), the same size and
// last-write time, the same bytes. Others could not write it meanwhile (it
// is open without write sharing), but they can rename it, set its time, or
// write it through means that ignore sharing.
bool StillAsRead(InputFile& in, const std::string& file, const FileIdentity& read, const ContentSum& sum) {
    FileIdentity now;
    FileIdentity named;
    if (!in.Identity(now) || !now.Unchanged(read) || !IdentityOfName(file, named) || !named.SameFile(read))
        return false;
    if (!in.Rewind())
        return false;
    ContentSum again;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const long long got = in.Read(buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            return again == sum;
        again.Add(buffer.data(), static_cast<std::size_t>(got));
    }
}

// Attributes a rewritten file keeps of the previous one when it is made.
constexpr DWORD kKeptAtCreation =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr DWORD kSettable = kSettableAttributes;

void SetAttributes(const std::string& name, DWORD attributes) {
    attributes &= kSettable;
    ::SetFileAttributesW(WideFileName(name).c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

// True when creating `name` failed because something has the name already
// (some systems say so for a folder only by denying access).
bool Taken(const OutputFile& out, const std::string& name) {
    return IsNameTaken(out.Error()) || NameExists(name);
}

// Creates the temporary file under a fresh random name. A name that is taken
// (by chance, or by someone who planted it) is never used: another is drawn.
bool CreateTemp(OutputFile& out, const std::string& file, DWORD attributes, std::string& temp) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = TaggedTempName(file, RandomTag());
        if (SameFileName(temp, file))
            continue;
        if (out.CreateNew(temp, attributes & kKeptAtCreation))
            return true;
        if (!Taken(out, temp))
            return false;
    }
    return false;
}

// Takes the first free backup name (WIN.BAK, WIN-1.BAK, ...) by creating an
// empty file there: no backup that exists, from an earlier run or from an
// earlier group of this one, is ever overwritten, and nobody can take the
// name between the choice and the exchange.
bool ReserveBackup(const std::string& file, std::string& backup) {
    for (unsigned number = 0; number < 10000; ++number) {
        backup = NumberedBackupName(file, number);
        if (SameFileName(backup, file))
            continue;
        OutputFile placeholder;
        if (placeholder.CreateNew(backup))
            return placeholder.Close();
        if (!Taken(placeholder, backup))
            return false;
    }
    return false;
}

// Removes the empty placeholder of a backup that was not needed.
void DropReservation(const std::string& backup, const FileIdentity& read) {
    FileIdentity id;
    if (IdentityOfName(backup, id) && id.size == 0 && !id.SameFile(read))
        ::DeleteFileW(WideFileName(backup).c_str());
}

// `name` with its last part spelled as on disk: the exchange then keeps the
// file's name as it was, and the backup is named after it, whatever letter
// case the name was given in.
std::string AsOnDisk(const std::string& name) {
    const std::size_t slash = name.find_last_of("\\/:");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW(WideFileName(name).c_str(), &data));
    if (!find)
        return name;
    const std::string onDisk = WideToUtf8(data.cFileName);
    if (!SameFileName(onDisk, name.substr(start)))
        return name;
    return name.substr(0, start) + onDisk;
}

// Puts the rewritten copy `temp` in the place of `file` (the name `given`,
// which holds what was read and is still held open by the caller), the
// previous file kept under the first free backup name. Returns that name;
// empty, with the reason logged, when the exchange was not made.
std::string ExchangeForCopy(const std::string& given,
                            const std::string& file,
                            const std::string& temp,
                            const FileIdentity& read,
                            const TLogLine& log) {
    std::string backup;
    if (!ReserveBackup(file, backup)) {
        log("***** Unable to rename old " + given);
        log("***** Update stored as " + temp);
        return std::string();
    }
    // The exchange refuses a read-only file; it is read-only again after.
    const bool readOnly = (read.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly)
        SetAttributes(file, read.attributes & ~FILE_ATTRIBUTE_READONLY);

    DWORD error = 0;
    const ExchangeResult exchanged = ReplaceFileChecked(file, temp, backup, error);
    if (exchanged == ExchangeResult::Done) {
        // The rewritten file keeps the previous one's attributes, and is
        // marked as changed since the last backup copy.
        const DWORD wanted = (read.attributes & kSettable) | FILE_ATTRIBUTE_ARCHIVE;
        if ((::GetFileAttributesW(WideFileName(file).c_str()) & kSettable) != wanted)
            SetAttributes(file, wanted);
        if (readOnly)
            SetAttributes(backup, read.attributes);
        log("Successfully updated " + given);
        log("Backup stored as " + backup);
        return backup;
    }
    if (exchanged == ExchangeResult::NothingMoved) {
        if (readOnly)
            SetAttributes(file, read.attributes);
        DropReservation(backup, read);
        log("***** Unable to rename old " + given);
        log("***** Update stored as " + temp);
        return std::string();
    }
    // The previous file went to the backup name, the update did not follow:
    // the previous file goes back, if it is the one that was read.
    FileIdentity atBackup;
    const bool restored = IdentityOfName(backup, atBackup) && atBackup.SameFile(read) && MoveFileChecked(backup, file);
    if (readOnly)
        SetAttributes(restored ? file : backup, read.attributes);
    log("***** Unable to rename temp " + temp);
    log("***** Update stored as " + temp);
    if (!restored)
        log("***** Previous file stored as " + backup);
    return std::string();
}

}  // namespace

void ReplaceTextFile(TReplaceGroup& group,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log,
                     const char* what,
                     const TMakeLineRewrite& makeRewrite,
                     const IniTextSource::ChooseFn& choose,
                     std::string* backupMade) {
    const std::string& given = group.Key;
    log("");
    log(std::string("Processing ") + what + " " + given);
    if (itemLabel != nullptr)
        SetWindowTextUtf8(itemLabel, given);

    // Nobody may write the file while it is copied and exchanged; a program
    // that has it open for writing keeps it as it is.
    InputFile in;
    FileIdentity read;
    if (!in.Open(given, false, true) || !in.Identity(read)) {
        log("***** Could not open " + given);
        return;
    }
    // A name that links to a file elsewhere: the exchange below would put
    // a rewritten copy of that file in the link's place and leave the file
    // itself as it was.
    if ((read.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || in.LeadsElsewhere()) {
        log("***** " + given + " is a link to another file: not updated");
        return;
    }
    const std::string file = AsOnDisk(given);
    OutputFile out;
    std::string temp;
    if (!CreateTemp(out, file, read.attributes, temp)) {
        log("***** Could not create " + temp);
        return;
    }

    const std::size_t hitsBefore = group.Hits.size();
    ContentSum sum;
    // The lines are rewritten in UTF-8 and written back in the file's own
    // encoding, with its mark.
    IniCodePage used;
    const IniRewriteResult copied = RewriteTextFile(
        SummingReadFrom(in, sum), [&out](std::string_view s) { return out.Write(s); }, makeRewrite, oldAddr, newAddr,
        log, AnsiIniCodePage(), choose, &used);
    if (copied == IniRewriteResult::Unwritable) {
        out.Close();
        if (used.lacks.empty())
            log("***** The new text has characters the file's code page cannot hold; left as it is: " + given);
        else
            log("***** " + used.lacks + "; left as it is: " + given);
        ::DeleteFileW(WideFileName(temp).c_str());
        return;
    }
    DWORD error = copied == IniRewriteResult::ReadError ? in.Error() : out.Error();
    const bool closed = out.Close();
    if (copied != IniRewriteResult::Done || !closed) {
        if (copied == IniRewriteResult::Done)
            error = out.Error();
        log("***** Error \"" + SystemErrorText(error) + "\" updating " + given);
        // The partial copy is of no use and must not be taken for an update.
        ::DeleteFileW(WideFileName(temp).c_str());
        return;
    }

    for (const TReplaceHit& hit : group.Hits)
        log("***** Not found again in " + given + ": " + hit.Text);
    if (group.Hits.size() == hitsBefore) {
        // Nothing to update: the file stays as it is, without a backup.
        ::DeleteFileW(WideFileName(temp).c_str());
        return;
    }
    if (!CopyFileSecurity(file, temp, error)) {
        log("***** Error \"" + SystemErrorText(error) + "\" updating " + given);
        ::DeleteFileW(WideFileName(temp).c_str());
        return;
    }
    if (!StillAsRead(in, file, read, sum)) {
        log("***** Changed by another program, left as it is: " + given);
        ::DeleteFileW(WideFileName(temp).c_str());
        return;
    }
    // `in` stays open, without write sharing, until the exchange is over:
    // from the check above on, nobody can write the file, and so no one's
    // write can end up in the backup in place of the file.

    const std::string backup = ExchangeForCopy(given, file, temp, read, log);
    if (backupMade != nullptr && !backup.empty())
        *backupMade = backup;
}

TSearchINIThread::TSearchINIThread(int kind,
                                   const std::string& search,
                                   HWND progressLabel,
                                   TFoundEvent onFound,
                                   int mode)
    : TMovixFileThread(kind, search, progressLabel, std::move(onFound), mode) {}

void TSearchINIThread::ProcessFile(const std::string& name) {
    Item = name;
    InputFile file;
    // Files that other programs hold open for writing are still read.
    if (!file.Open(Path + "\\" + name, true)) {
        NoteUnreadable(Unreadable::File, Path + "\\" + name, file.Error());
        return;
    }
    IniSearchScanner scanner([this](std::string_view s) { return Matches(s); });
    IniTextSource source(ReadFrom(file), AnsiIniCodePage());
    // After a read error the lines before it are still examined.
    source.Start();
    IniLineReader reader(source.Reader());
    std::string line;
    // A read error ends this file in silence; its hits stay reported.
    while (!Terminated && reader.Next(line) == IniLineReader::Result::Line) {
        if (!scanner.Examine(line))
            continue;
        SubType = scanner.SubType();
        Context = scanner.Context();
        Synchronize([this] { ReportHit(); });
    }
}

void TSearchINIThread::SearchOwnList() {
    Path = WindowsDir;
    Synchronize([this] { ShowProgress(); });
    ProcessFile("WIN.INI");
    if (!Terminated)
        ProcessFile("SYSTEM.INI");
}

std::string ReplaceIniFile(TReplaceGroup& group,
                           const std::string& oldAddr,
                           const std::string& newAddr,
                           HWND itemLabel,
                           const TLogLine& log) {
    // The rewriter lives as long as the copy: the line function refers to it.
    std::unique_ptr<IniRewriter> rewriter;
    std::string backup;
    ReplaceTextFile(
        group, oldAddr, newAddr, itemLabel, log, "INI file",
        [&](const std::string& oldText, const std::string& newText, const TLogLine& lineLog, const TCharacterTest&) {
            // A hit is found again in a line equal to it without regard to
            // letter case, as the user's locale sees case (so also for
            // accented letters, which the hits carry as found).
            rewriter = std::make_unique<IniRewriter>(
                group.Hits, oldText, newText,
                [](const std::string& a, const std::string& b) { return LocaleEqualIgnoringCase(a, b); }, lineLog);
            IniRewriter* r = rewriter.get();
            return TLineRewrite([r](std::string& line) { r->Rewrite(line); });
        },
        {}, &backup);
    return backup;
}

void ReplaceIniFiles(std::vector<TReplaceGroup>& groups,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log) {
    for (TReplaceGroup& group : groups)
        ReplaceIniFile(group, oldAddr, newAddr, itemLabel, log);
}

}  // namespace movix
