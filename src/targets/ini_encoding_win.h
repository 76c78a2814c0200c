// The encodings INI files come in: UTF-8 with or without its byte order
// mark, UTF-16 little-endian with its mark (as Notepad and the profile
// functions write), and the system's legacy ANSI code page. The line reader
// and the rewriter see UTF-8 only; a rewritten file is written back in the
// encoding, and with the mark, it was read in.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "targets/ini_lines.h"

namespace movix {

enum class IniEncoding {
    Bytes,    // UTF-8 without a mark, or text that is no known encoding: as it is
    Utf8Bom,  // UTF-8 after EF BB BF
    Utf16,    // UTF-16 LE after FF FE
    Ansi,     // the legacy ANSI code page (the first bytes are not UTF-8)
};

// Which encoding a file's first bytes (`head`; `whole` when that is all of
// it) tell. A head that is well-formed UTF-8 up to a character cut by its
// end is Bytes.
IniEncoding SniffIniEncoding(std::string_view head, bool whole);

// Reads a file for the line reader. The first block tells the encoding;
// UTF-8 without a mark then streams on as it is. Any other encoding is read
// whole and turned into UTF-8; a file that would not come back byte for byte
// from its UTF-8 (a stray half of a UTF-16 pair, a byte the code page does
// not know) is taken as Bytes after all, so nothing is ever lost.
class IniTextSource {
  public:
    explicit IniTextSource(IniLineReader::ReadFn rawRead) : rawRead_(std::move(rawRead)) {}
    // Reads the first block, and the whole file where needed. False on a
    // read error.
    bool Start();
    IniEncoding Encoding() const { return encoding_; }
    // The text as UTF-8 (Bytes: the file's bytes), for IniLineReader.
    IniLineReader::ReadFn Reader();

  private:
    IniLineReader::ReadFn rawRead_;
    IniEncoding encoding_ = IniEncoding::Bytes;
    std::string held_;  // what is read and not handed out yet
    std::size_t at_ = 0;
    bool whole_ = false;  // held_ is all there is
};

// Writes UTF-8 text in an encoding. Bytes go straight through; any other
// encoding is gathered and written, mark first, by Finish.
class IniTextSink {
  public:
    IniTextSink(IniEncoding encoding, std::function<bool(std::string_view)> rawWrite)
        : encoding_(encoding), rawWrite_(std::move(rawWrite)) {}
    bool Write(std::string_view text);
    // False when writing fails, or (`unwritable` set) when a character has no
    // place in the ANSI code page: nothing of the text is written then.
    bool Finish(bool& unwritable);

  private:
    IniEncoding encoding_;
    std::function<bool(std::string_view)> rawWrite_;
    std::string text_;
};

// The text in the encoding, its mark included; false when a character
// cannot be written in it.
bool EncodeIniText(IniEncoding encoding, std::string_view text, std::string& out);

}  // namespace movix
