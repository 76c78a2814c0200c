// The encodings INI files come in: UTF-16 little-endian or UTF-8 after their
// byte order marks (as Notepad and the profile functions write them), UTF-8
// without a mark, and the system's ANSI code page, in which Windows itself
// reads every file without a mark. The line reader and the rewriter see
// UTF-8 only; a rewritten file is written back in the encoding, and with the
// mark, it was read in. No Windows header: the code page conversion is
// passed in.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/replace_groups.h"
#include "targets/ini_lines.h"

namespace movix {

enum class IniEncoding {
    Ansi,     // no mark and no sign of UTF-8: the ANSI code page (plain ASCII included)
    Utf8,     // no mark, and the whole file is well-formed UTF-8 with characters beyond ASCII
    Utf8Bom,  // UTF-8 after EF BB BF
    Utf16,    // UTF-16 LE after FF FE
    Bytes,    // ANSI, but bytes the code page does not give back as they were: kept as they are
};

// The ANSI code page. `decode` turns its bytes into UTF-8, false for a byte
// (or sequence) it does not know; `encode` turns UTF-8 into its bytes, false
// when a character has no place in it (never a look-alike or a '?').
struct IniCodePage {
    std::function<bool(std::string_view bytes, std::string& text)> decode;
    std::function<bool(std::string_view text, std::string& bytes)> encode;
    // The file is in this code page whatever its bytes look like: bytes
    // that happen to be well-formed UTF-8 do not make it UTF-8.
    bool definite = false;
    // The rewrite writes the characters the code page lacks as escapes of
    // the file's syntax (XML references, \uXXXX), so a New with such
    // characters is not refused for the whole file.
    bool escapes = false;
    // Why a New the code page cannot hold is refused; empty: the usual words.
    std::string lacks;
};

// Code pages that need no system call: UTF-8 (for the types that are UTF-8
// by definition), ISO-8859-1, and ASCII alone (bytes past it are known to
// no one, so they are kept and nothing past ASCII is written).
IniCodePage Utf8IniCodePage();
IniCodePage Latin1IniCodePage();
IniCodePage AsciiIniCodePage();

// Whether `codePage` in `encoding` can write one character (as UTF-8).
bool IniEncodable(IniEncoding encoding, const IniCodePage& codePage, std::string_view character);

// Which encoding a whole file's bytes are in. Without a mark a file is UTF-8
// only on evidence: valid multi-byte sequences and nothing that is not UTF-8.
IniEncoding SniffIniEncoding(std::string_view whole);

// The text in the encoding, its mark included; false when a character
// cannot be written in it. Bytes go out as they are.
bool EncodeIniText(IniEncoding encoding, std::string_view text, const IniCodePage& codePage, std::string& out);

// Reads a whole file for the line reader and turns it into UTF-8. A file
// that would not come back byte for byte from its UTF-8 (a stray half of a
// UTF-16 pair, a byte the code page does not know) is taken as Bytes, so
// nothing is ever lost.
class IniTextSource {
  public:
    IniTextSource(IniLineReader::ReadFn rawRead, IniCodePage codePage)
        : rawRead_(std::move(rawRead)), codePage_(std::move(codePage)) {}
    // The code page chosen from the whole file's bytes (an XML file's
    // declaration names its own), in place of the one given.
    using ChooseFn = std::function<IniCodePage(std::string_view bytes)>;
    void ChooseCodePage(ChooseFn choose) { choose_ = std::move(choose); }
    const IniCodePage& CodePage() const { return codePage_; }
    // Reads the file. False on a read error: the lines before it can still
    // be read, and then the reader reports the error.
    bool Start();
    IniEncoding Encoding() const { return encoding_; }
    // The text as UTF-8 (Bytes: the file's bytes), for IniLineReader.
    IniLineReader::ReadFn Reader();

  private:
    IniLineReader::ReadFn rawRead_;
    IniCodePage codePage_;
    ChooseFn choose_;
    IniEncoding encoding_ = IniEncoding::Ansi;
    std::string held_;  // what is not handed out yet
    std::size_t at_ = 0;
    bool failed_ = false;
};

// Writes UTF-8 text in an encoding. UTF-8 without a mark and Bytes go
// straight through; any other encoding is gathered and written, mark first,
// by Finish.
class IniTextSink {
  public:
    IniTextSink(IniEncoding encoding, IniCodePage codePage, std::function<bool(std::string_view)> rawWrite)
        : encoding_(encoding), codePage_(std::move(codePage)), rawWrite_(std::move(rawWrite)) {}
    bool Write(std::string_view text);
    // False when writing fails, or (`unwritable` set) when a character has no
    // place in the encoding: nothing of the text is written then.
    bool Finish(bool& unwritable);

  private:
    IniEncoding encoding_;
    IniCodePage codePage_;
    std::function<bool(std::string_view)> rawWrite_;
    std::string text_;
};

// The Old and New addresses as the lines of a file in `encoding` hold them:
// a file kept as Bytes holds them in the code page's bytes. False when New
// has a character the file's encoding cannot hold.
bool IniAddressesFor(IniEncoding encoding,
                     const IniCodePage& codePage,
                     std::string& oldAddress,
                     std::string& newAddress);

// One file's copy with its hits rewritten: read whole, decoded, its lines
// rewritten and written out in its own encoding. Unwritable (New has a
// character the file cannot hold) is known before anything is logged or
// written.
enum class IniRewriteResult { Done, ReadError, WriteError, Unwritable };
// The same for any rewrite of the lines: `makeRewrite` is handed Old and
// New as the file's lines hold them, the log to write to, and which
// characters the file's encoding can write.
using TCharacterTest = std::function<bool(std::string_view character)>;
using TMakeLineRewrite = std::function<TLineRewrite(const std::string& oldAddress,
                                                    const std::string& newAddress,
                                                    const TLogLine& log,
                                                    const TCharacterTest& encodable)>;
// `choose`, when given, picks the code page from the file's bytes; the one
// used is left in `used` (for its words on a refusal).
IniRewriteResult RewriteTextFile(IniLineReader::ReadFn read,
                                 const std::function<bool(std::string_view)>& write,
                                 const TMakeLineRewrite& makeRewrite,
                                 std::string oldAddress,
                                 std::string newAddress,
                                 const TLogLine& log,
                                 const IniCodePage& codePage,
                                 const IniTextSource::ChooseFn& choose = {},
                                 IniCodePage* used = nullptr);
IniRewriteResult RewriteIniFile(IniLineReader::ReadFn read,
                                const std::function<bool(std::string_view)>& write,
                                std::vector<TReplaceHit>& hits,
                                std::string oldAddress,
                                std::string newAddress,
                                IniRewriter::TextEqual equal,
                                const TLogLine& log,
                                const IniCodePage& codePage);

}  // namespace movix
