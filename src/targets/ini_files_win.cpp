#include "targets/ini_files_win.h"

#include <climits>
#include <utility>

#include "engine/strings.h"
#include "platform/file_io_win.h"
#include "targets/ini_lines.h"

namespace movix {

namespace {

// A hit is found again in a line equal to it without regard to letter case,
// as the user's locale sees case (so also for accented letters, which the
// hits carry as found). Equal bytes need no locale.
bool LocaleEqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (a.size() > INT_MAX || b.size() > INT_MAX)
        return false;
    return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

IniLineReader::ReadFn ReadFrom(InputFile& file) {
    return [&file](char* buffer, std::size_t capacity) { return file.Read(buffer, capacity); };
}

// Copies F to T line by line, applying the group's hits. False, with the
// Win32 error, when a read or a write fails.
bool CopyWithHits(InputFile& in,
                  OutputFile& out,
                  TReplaceGroup& group,
                  const std::string& oldAddr,
                  const std::string& newAddr,
                  const TLogLine& log,
                  DWORD& error) {
    IniRewriter rewriter(group.Hits, oldAddr, newAddr, LocaleEqualIgnoringCase, log);
    IniLineReader reader(ReadFrom(in));
    std::string line;
    for (;;) {
        const IniLineReader::Result r = reader.Next(line);
        if (r == IniLineReader::Result::End)
            return true;
        if (r == IniLineReader::Result::Error) {
            error = in.Error();
            return false;
        }
        rewriter.Rewrite(line);
        if (!out.WriteLine(line)) {
            error = out.Error();
            return false;
        }
    }
}

void ReplaceOneFile(TReplaceGroup& group,
                    const std::string& oldAddr,
                    const std::string& newAddr,
                    HWND itemLabel,
                    const TLogLine& log) {
    const std::string& file = group.Key;
    log("");
    log("Processing INI file " + file);
    const std::string backup = BackupName(file);
    const std::string temp = TempName(file);
    if (itemLabel != nullptr)
        ::SetWindowTextA(itemLabel, file.c_str());

    InputFile in;
    if (!in.Open(file, false)) {
        log("***** Could not open " + file);
        return;
    }
    // A file that already carries the temporary extension cannot be copied
    // onto itself.
    OutputFile out;
    if (SameFileName(temp, file) || !out.Create(temp)) {
        log("***** Could not create " + temp);
        return;
    }

    DWORD error = 0;
    const bool copied = CopyWithHits(in, out, group, oldAddr, newAddr, log, error);
    in.Close();
    const bool closed = out.Close();
    if (!copied || !closed) {
        if (copied)
            error = out.Error();
        log("***** Error \"" + SystemErrorText(error) + "\" updating " + file);
        // The partial copy is of no use and must not be taken for an update.
        ::DeleteFileA(temp.c_str());
        return;
    }

    // The backup of an earlier run gives way to the current file. A file
    // that itself carries the backup extension is never deleted for it.
    if (SameFileName(backup, file) || (!::DeleteFileA(backup.c_str()) && NameExists(backup))) {
        log("***** Unable to delete old " + backup);
        log("***** Update stored as " + temp);
        return;
    }
    if (!MoveFileChecked(file, backup)) {
        log("***** Unable to rename old " + file);
        log("***** Update stored as " + temp);
        return;
    }
    if (!MoveFileChecked(temp, file)) {
        const bool restored = MoveFileChecked(backup, file);
        log("***** Unable to rename temp " + temp);
        log("***** Update stored as " + temp);
        if (!restored)
            log("***** Previous file stored as " + backup);
        return;
    }
    // Only now is the file updated: a failed exchange above leaves it as it
    // was and must not be reported as a success.
    log("Successfully updated " + file);
    log("Backup stored as " + backup);
}

}  // namespace

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
    IniLineReader reader(ReadFrom(file));
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

void ReplaceIniFiles(std::vector<TReplaceGroup>& groups,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log) {
    for (TReplaceGroup& group : groups)
        ReplaceOneFile(group, oldAddr, newAddr, itemLabel, log);
}

}  // namespace movix
