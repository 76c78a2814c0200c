// The copying of a folder's files across volumes: folders made inside their
// held parents, files copied side by side and each read back and compared,
// links copied as links, and the folders' rules and times set last.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <condition_variable>

#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/open_below_win.h"
#include "platform/wide_text_win.h"
#include "platform/work_threads.h"
#include "targets/folder_mover_win.h"
#include "targets/folder_tree_win.h"

namespace movix {
namespace move_parts {

TreeMover::Step TreeMover::CopyTree(std::wstring& why) {
    std::vector<std::size_t> files;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (Cancelled())
            return Step::Cancelled;
        const TreeEntry& entry = entries_[i];
        if (entry.IsLink()) {
            if (!CopyLink(i, why))
                return Step::Failed;
        } else if (entry.IsFolder()) {
            // Made inside its held parent, and held in turn.
            DWORD error = 0;
            target_.folders[i] = OpenBelow(target_.Folder(entry.parent), entry.name, kMakeAccess,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, TBelow::Create, true, error);
            if (!target_.folders[i]) {
                why = L"The folder " + new_ + entry.relative + L" could not be made: " +
                      Utf8ToWide(SystemErrorText(error));
                return Step::Failed;
            }
            madeFolders_.push_back(i);
        } else {
            files.push_back(i);
        }
    }
    if (options_.seamForTest)
        options_.seamForTest("copying", Narrow(new_));
    return CopyFiles(files, why);
}

// The files are shared out among this thread and a few more, this one
// reporting progress as it goes; the first failure or a cancel stops them
// all.
TreeMover::Step TreeMover::CopyFiles(const std::vector<std::size_t>& files, std::wstring& why) {
    std::atomic<std::size_t> next{0};
    Step result = Step::Done;
    std::condition_variable ended;
    int running = 0;
    auto work = [&](bool reports) {
        Step step = Step::Done;
        std::wstring failure;
        try {
            Buffers buffers;
            buffers.reports = reports;
            while (step == Step::Done && !stopCopying_) {
                const std::size_t i = next++;
                if (i >= files.size())
                    break;
                if (Cancelled()) {
                    step = Step::Cancelled;
                    break;
                }
                step = CopyFileChecked(files[i], buffers, failure);
                if (step == Step::Done) {
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        ++progress_.filesDone;
                    }
                    if (reports)
                        Report(false);
                }
            }
        } catch (const std::exception& e) {
            step = Step::Failed;
            failure = L"Copying failed: " + Utf8ToWide(e.what());
        } catch (...) {
            step = Step::Failed;
            failure = L"Copying failed";
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (step != Step::Done) {
            stopCopying_ = true;
            if (result == Step::Done) {
                result = step;
                why = failure;
            }
        }
        --running;
        ended.notify_all();
    };
    // Whatever leaves this function, the threads are stopped and joined first.
    TWorkThreads threads([this] { stopCopying_ = true; });
    for (int t = 1; t < kCopyThreads && static_cast<std::size_t>(t) < files.size(); ++t) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++running;
        }
        if (!threads.Start([&work] { work(false); })) {
            std::lock_guard<std::mutex> lock(mutex_);
            --running;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++running;
    }
    work(true);
    const auto every = std::chrono::milliseconds(options_.progressEveryMs > 0 ? options_.progressEveryMs : 10);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (ended.wait_for(lock, every, [&] { return running == 0; }))
                break;
        }
        Report(false);
    }
    return result;
}

// Copies the data of `in` to `out`, reads the copy back and compares. The
// listing's size ends the reading: the read that would only find the end
// is left out (a file that has grown since the listing is caught when the
// source is listed again before it is removed).
TreeMover::Step TreeMover::CopyData(HANDLE in,
                                    HANDLE out,
                                    const std::wstring& name,
                                    std::uint64_t size,
                                    Buffers& buffers,
                                    std::wstring& why) {
    TContentHash source, copy;
    std::uint64_t copied = 0;
    while (copied < size) {
        if (Cancelled())
            return Step::Cancelled;
        if (stopCopying_)
            return Step::Failed;
        DWORD got = 0, put = 0;
        if (!ReadFile(in, buffers.data.data(), kPiece, &got, nullptr)) {
            why = L"Reading " + name + L" failed: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return Step::Failed;
        }
        if (got == 0)
            break;
        source.Add(buffers.data.data(), got);
        if (!WriteFile(out, buffers.data.data(), got, &put, nullptr) || put != got) {
            why = L"Writing the copy of " + name + L" failed: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return Step::Failed;
        }
        copied += got;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            progress_.bytesDone += got;
        }
        if (buffers.reports)
            Report(false);
    }
    // The copy read back and compared, then written through to the disk.
    LARGE_INTEGER zero = {};
    if (copied > 0 && !SetFilePointerEx(out, zero, nullptr, FILE_BEGIN)) {
        why = L"The copy of " + name + L" could not be read back";
        return Step::Failed;
    }
    for (std::uint64_t readBack = 0; readBack < copied;) {
        DWORD got = 0;
        if (!ReadFile(out, buffers.readBack.data(), kPiece, &got, nullptr)) {
            why = L"The copy of " + name + L" could not be read back: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return Step::Failed;
        }
        if (got == 0)
            break;
        readBack += got;
        copy.Add(buffers.readBack.data(), got);
    }
    if (copy.Value() != source.Value()) {
        why = L"The copy of " + name + L" differs from its source";
        return Step::Failed;
    }
    return Step::Done;
}

TreeMover::Step TreeMover::CopyFileChecked(std::size_t index, Buffers& buffers, std::wstring& why) {
    const TreeEntry& entry = entries_[index];
    const std::wstring from = old_ + entry.relative, to = new_ + entry.relative;
    const std::uint64_t size = entry.size;
    // Both opened inside their held folders: the source only if it is the
    // file listed, the copy made where nothing was.
    DWORD error = 0;
    FileHandle in = OpenBelow(source_.Folder(entry.parent), entry.name, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                              TBelow::Open, false, error, false, entry.HasContentFilter());
    if (in && FileIdOf(in.get()) != entry.id) {
        in.reset();
        error = kNotTheListedFolder;
    }
    if (!in) {
        why = from + L" could not be opened for reading: " + Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    // The owner is asked for while the system grants it; once it has not,
    // the copies are made without asking again.
    FileHandle out;
    const HANDLE into = target_.Folder(entry.parent);
    if (ownerToo_)
        out = OpenBelow(into, entry.name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, 0, TBelow::Create,
                        false, error);
    if (!out && (!ownerToo_ || error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD)) {
        out = OpenBelow(into, entry.name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC, 0, TBelow::Create, false, error);
        if (out)
            ownerToo_ = false;
    }
    if (!out) {
        why = L"The copy " + to + L" could not be made: " + Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    Made(index, out.get());
    Step step = CopyData(in.get(), out.get(), from, size, buffers, why);
    if (step != Step::Done)
        return step;

    // Alternate data streams, where the volume has them.
    WIN32_FIND_STREAM_DATA stream;
    FindHandle streams(FindFirstStreamW(LongName(from).c_str(), FindStreamInfoStandard, &stream, 0));
    if (streams) {
        do {
            if (_wcsicmp(stream.cStreamName, L"::$DATA") == 0)
                continue;
            std::wstring name = stream.cStreamName;  // ":name:$DATA"
            const std::size_t type = name.rfind(L':');
            if (type != std::wstring::npos && type > 0)
                name.resize(type);
            FileHandle streamIn(CreateFileW(LongName(from + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            FileHandle streamOut(CreateFileW(LongName(to + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!streamIn || !streamOut) {
                why = L"The stream " + from + name + L" could not be copied: " +
                      Utf8ToWide(SystemErrorText(GetLastError()));
                return Step::Failed;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                progress_.bytesTotal += static_cast<std::uint64_t>(stream.StreamSize.QuadPart);
            }
            // A stream is read to its end: no listing has its size.
            step = CopyData(streamIn.get(), streamOut.get(), from + name, UINT64_MAX, buffers, why);
            if (step != Step::Done)
                return step;
            HandOver(streamOut.release(), to + name);
        } while (FindNextStreamW(streams.get(), &stream));
    }

    bool ownerToo = ownerToo_;
    const bool secured = CopySecurity(in.get(), out.get(), error, ownerToo);
    if (!ownerToo)
        ownerToo_ = false;
    if (!secured) {
        why =
            L"The access rules of " + from + L" could not be given to its copy: " + Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    if (!CopyBasicInfo(in.get(), out.get(), error)) {
        why = L"The attributes and times of " + from + L" could not be given to its copy: " +
              Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    HandOver(out.release(), to);
    return Step::Done;
}

// The copy's handle goes to the flushing threads, which close it.
void TreeMover::HandOver(HANDLE file, const std::wstring& name) {
    if (flusher_)
        flusher_->Submit(file, name);
    else if (!FlushFileBuffers(file) || !CloseHandle(file))
        CloseHandle(file);
}

bool TreeMover::CopyLink(std::size_t index, std::wstring& why) {
    const TreeEntry& entry = entries_[index];
    const std::wstring from = old_ + entry.relative, to = new_ + entry.relative;
    DWORD error = 0;
    std::vector<BYTE> data = ReparseData(from, error);
    if (data.empty()) {
        why = L"The link " + from + L" could not be read as a link: " + Utf8ToWide(SystemErrorText(error));
        return false;
    }
    FileHandle link = OpenBelow(target_.Folder(entry.parent), entry.name, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0,
                                TBelow::Create, entry.IsFolder(), error);
    if (link)
        Made(index, link.get());
    DWORD got = 0;
    if (!link || !DeviceIoControl(link.get(), FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()),
                                  nullptr, 0, &got, nullptr)) {
        why = L"The link " + to + L" could not be made: " + Utf8ToWide(SystemErrorText(link ? GetLastError() : error));
        return false;
    }
    return true;
}

bool TreeMover::FinishFolders(std::wstring& why) {
    // Deepest first, and the root last: setting a folder's times is undone by
    // what is made in it afterwards. Both sides through their held handles.
    std::vector<std::size_t> folders;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].IsPlainFolder())
            folders.push_back(i);
    std::reverse(folders.begin(), folders.end());
    folders.push_back(kTreeRoot);
    for (const std::size_t i : folders) {
        DWORD error = 0;
        bool ownerToo = false;  // the handle is not opened to set it
        if (!CopySecurity(source_.Folder(i), target_.Folder(i), error, ownerToo) ||
            !CopyBasicInfo(source_.Folder(i), target_.Folder(i), error)) {
            const std::wstring relative = i == kTreeRoot ? std::wstring() : entries_[i].relative;
            why = L"The folder " + new_ + relative + L" could not take the access rules, attributes and times of " +
                  old_ + relative + L": " + Utf8ToWide(SystemErrorText(error));
            return false;
        }
    }
    return true;
}

// What this move made at New goes again, through the held folders, newest
// first: a file only if it is the one made.

}  // namespace move_parts
}  // namespace movix
