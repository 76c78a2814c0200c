#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "targets/registry_spellings.h"

using namespace movix;
using namespace std::string_literals;

namespace {

// UTF-16 LE bytes of the units, and an odd byte after them where given.
std::string Bytes(const std::u16string& units, const std::string& odd = "") {
    std::string out;
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out + odd;
}

const char* Verdict(TBoundary b) {
    return b == TBoundary::Sure ? "sure" : b == TBoundary::Doubtful ? "doubtful" : "none";
}

}  // namespace

TEST(RegistrySpellingMultiString, RewritesOnlyTheStringsThatHoldOld) {
    const std::string old = "C:\\Program Files\\Acme";
    const std::string neu = "D:\\Apps\\Acme";
    struct Case {
        const char* what;
        std::string data;
        std::string hits;  // index:verdict[:inexact] of each hit
        std::string want;  // the data rewritten
    } cases[] = {
        {"plain list", Bytes(u"C:\\Program Files\\Acme\\a.exe\0x\0\0"s), "0:sure",
         Bytes(u"D:\\Apps\\Acme\\a.exe\0x\0\0"s)},
        {"empty string inside", Bytes(u"x\0\0C:\\Program Files\\Acme\0\0"s), "2:sure",
         Bytes(u"x\0\0D:\\Apps\\Acme\0\0"s)},
        {"no final terminator", Bytes(u"y\0C:\\program files\\ACME"s), "1:sure", Bytes(u"y\0D:\\Apps\\Acme"s)},
        {"odd last byte", Bytes(u"C:\\Program Files\\Acme\0\0"s, "\x7F"), "0:sure",
         Bytes(u"D:\\Apps\\Acme\0\0"s, "\x7F")},
        {"two hits, a neighbour between",
         Bytes(u"C:\\Program Files\\Acme\0C:\\Program Files\\AcmePro\0C:\\Program Files\\Acme (x86)\0\0"s),
         "0:sure 2:doubtful", Bytes(u"D:\\Apps\\Acme\0C:\\Program Files\\AcmePro\0D:\\Apps\\Acme (x86)\0\0"s)},
        {"beyond the BMP kept", Bytes(u"\xD83D\xDE00\0C:\\Program Files\\Acme\\\xD83D\xDE00\0\0"s), "1:sure",
         Bytes(u"\xD83D\xDE00\0D:\\Apps\\Acme\\\xD83D\xDE00\0\0"s)},
        {"lone surrogate: not rewritten", Bytes(u"C:\\Program Files\\Acme\\\xDC00\0\0"s), "0:sure:inexact",
         Bytes(u"C:\\Program Files\\Acme\\\xDC00\0\0"s)},
        {"nothing", Bytes(u"C:\\Program Files\\AcmePro\0\0"s), "", Bytes(u"C:\\Program Files\\AcmePro\0\0"s)},
        {"odd byte alone", "\x01", "", "\x01"},
    };
    for (const Case& c : cases) {
        const std::vector<TMultiStringHit> hits = FindInMultiString(c.data, old);
        std::string got;
        for (const TMultiStringHit& h : hits)
            got += (got.empty() ? "" : " ") + std::to_string(h.Index) + ":" + Verdict(h.Boundary) +
                   (h.Exact ? "" : ":inexact");
        EXPECT_EQ(got, c.hits) << c.what;
        const TMultiStringRewrite r = RewriteMultiString(c.data, old, neu, hits);
        EXPECT_EQ(r.Data, c.want) << c.what;
        // Back again gives the original where the rewrite was exact.
        if (r.Refused.empty() && !hits.empty()) {
            EXPECT_EQ(RewriteMultiString(r.Data, neu, old, FindInMultiString(r.Data, neu)).Data,
                      RewriteMultiString(c.data, old, old, hits).Data)
                << c.what;
        }
    }
}

TEST(RegistrySpellingMultiString, LeavesAStringThatCannotBeWrittenAsFound) {
    const std::string data = Bytes(u"C:\\Old\\a\0C:\\Old\\b\0\0"s);
    std::vector<TMultiStringHit> hits = FindInMultiString(data, "C:\\Old");
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[1].Text, "C:\\Old\\b");
    hits[0].Text = "C:\\Old\\x";  // changed since the search
    TMultiStringRewrite r = RewriteMultiString(data, "C:\\Old", "D:\\New", hits);
    EXPECT_EQ(r.Data, Bytes(u"C:\\Old\\a\0D:\\New\\b\0\0"s));
    ASSERT_EQ(r.Refused.size(), 1u);
    EXPECT_EQ(r.Refused[0].second, TRefusal::Changed);
    // New with a NUL in it would end the string early; not well-formed, it
    // cannot be stored at all.
    for (const std::string& bad : {"D:\\N\0w"s, "D:\\\xC3"s}) {
        r = RewriteMultiString(data, "C:\\Old", bad, FindInMultiString(data, "C:\\Old"));
        EXPECT_EQ(r.Data, data);
        ASSERT_EQ(r.Refused.size(), 2u);
        EXPECT_EQ(r.Refused[0].second, TRefusal::NotWritable);
    }
}

TEST(RegistrySpellingExpand, FindsAndRewritesOldSpelledThroughVariables) {
    TEnvironment env;
    env.Set("ProgramFiles", "C:\\Program Files");
    env.Set("ProgramW6432", "C:\\Program Files");
    env.Set("ProgramFiles(x86)", "C:\\Program Files (x86)");
    env.Set("SystemDrive", "C:");
    env.Set("SLASHED", "C:\\Program Files\\");
    env.Set("ACME_HOME", "C:\\Program Files\\Acme");
    env.Set("LIST", "D:\\x;C:\\Program Files\\Acme;E:\\y");
    const std::string acme = "C:\\Program Files\\Acme";
    struct Case {
        const char* text;
        std::string old;
        const char* neu;
        const char* hits;  // kind begin-end verdict of each hit, "fixed" where it cannot be rewritten
        const char* want;
        std::size_t refused;
    } cases[] = {
        {"%ProgramFiles%\\Acme\\a.exe", acme, "C:\\Program Files\\Acme2", "env 0-19 sure",
         "%ProgramFiles%\\Acme2\\a.exe", 0},
        {"%ProgramFiles%\\Acme\\a.exe", acme, "D:\\Apps\\Acme", "env 0-19 sure", "D:\\Apps\\Acme\\a.exe", 0},
        {"%programFILES%\\Acme", acme, "c:\\program files\\Acme2", "env 0-19 sure", "%programFILES%\\Acme2", 0},
        {"%ProgramW6432%\\Acme;%ProgramFiles%\\Acme", acme, "C:\\Program Files\\Acme2", "env 0-19 sure env 20-39 sure",
         "%ProgramW6432%\\Acme2;%ProgramFiles%\\Acme2", 0},
        {"\"%ProgramFiles%\\Acme\\a.exe\" %1 %NOPE% 50%", acme, "C:\\Program Files\\B", "env 1-20 sure",
         "\"%ProgramFiles%\\B\\a.exe\" %1 %NOPE% 50%", 0},
        {"%ProgramFiles%\\AcmePro\\a.exe", acme, "D:\\Acme", "", "%ProgramFiles%\\AcmePro\\a.exe", 0},
        {"%SLASHED%\\Acme\\a.exe", acme, "C:\\Program Files\\Acme2", "env 0-14 sure", "%SLASHED%\\Acme2\\a.exe", 0},
        {"%SLASHED%Acme", acme, "C:\\Program Files\\Acme2", "env 0-13 sure", "%SLASHED%Acme2", 0},
        {"%SLASHED%Acme", "C:\\Program Files", "D:\\P", "env 0-9 sure", "D:\\P\\Acme", 0},
        {"%SLASHED%Acme", "C:\\Program Files", "C:\\Program Files\\x", "env 0-9 sure", "%SLASHED%x\\Acme", 0},
        {"%ProgramFiles%\\Acme", "C:\\Program Files", "D:\\Program Files", "env 0-14 sure", "D:\\Program Files\\Acme",
         0},
        {"%ProgramFiles(x86)%\\Acme", "C:\\Program Files", "D:\\P", "env 0-19 doubtful fixed",
         "%ProgramFiles(x86)%\\Acme", 1},
        {"%ProgramFiles% (x86)\\Acme", "C:\\Program Files", "D:\\P", "env 0-14 doubtful", "D:\\P (x86)\\Acme", 0},
        {"%ACME_HOME%\\bin", acme, "D:\\Apps\\Acme", "env 0-11 sure", "D:\\Apps\\Acme\\bin", 0},
        {"%ACME_HOME%\\bin", acme + "\\bin", "D:\\bin", "env 0-15 sure", "D:\\bin", 0},
        {"%ACME_HOME%\\bin", "C:\\Program Files", "D:\\P", "env 0-11 sure fixed", "%ACME_HOME%\\bin", 1},
        {"%LIST%", acme, "D:\\Apps\\Acme", "env 0-6 sure fixed", "%LIST%", 1},
        {"%SystemDrive%\\Program Files\\Acme", acme, "C:\\Program Files\\Acme2", "env 0-32 sure",
         "%SystemDrive%\\Program Files\\Acme2", 0},
        {"%SystemDrive%\\Program Files\\Acme", acme, "D:\\Apps", "env 0-32 sure", "D:\\Apps", 0},
        {"%%ProgramFiles%%\\Acme", acme, "D:\\A", "", "%%ProgramFiles%%\\Acme", 0},
        {"%X%ProgramFiles%\\Acme", acme, "D:\\A", "", "%X%ProgramFiles%\\Acme", 0},
        {"%ProgramFiles\\Acme", acme, "D:\\A", "", "%ProgramFiles\\Acme", 0},
        {"C:\\Program Files\\Acme\\a;%ProgramFiles%\\Acme\\b", acme, "C:\\Program Files\\Acme2",
         "dat 0-21 sure env 24-43 sure", "C:\\Program Files\\Acme2\\a;%ProgramFiles%\\Acme2\\b", 0},
        {"C:\\Program Files\\Acme%NOPE%", acme, "D:\\A", "dat 0-21 doubtful", "D:\\A%NOPE%", 0},
        // New that would itself expand: written, it would name another folder.
        {"%ProgramFiles%\\Acme;C:\\Program Files\\Acme", acme, "D:\\%ProgramFiles%", "env 0-19 sure dat 20-41 sure",
         "%ProgramFiles%\\Acme;C:\\Program Files\\Acme", 2},
    };
    for (const Case& c : cases) {
        std::string got;
        for (const TExpandHit& h : FindInExpandText(c.text, c.old, env))
            got += std::string(got.empty() ? "" : " ") + SpellingSubTypeText(h.Spelling) + " " +
                   std::to_string(h.Begin) + "-" + std::to_string(h.End) + " " + Verdict(h.Boundary) +
                   (h.Rewritable ? "" : " fixed");
        EXPECT_EQ(got, c.hits) << c.text;
        const TExpandRewrite r = RewriteExpandText(c.text, c.old, c.neu, env, true, true);
        EXPECT_EQ(r.Text, c.want) << c.text;
        EXPECT_EQ(r.Refused.size(), c.refused) << c.text;
    }
    // Each kind alone: the other stays as it is.
    const std::string both = "C:\\Program Files\\Acme;%ProgramFiles%\\Acme";
    EXPECT_EQ(RewriteExpandText(both, acme, "D:\\A", env, true, false).Text, "D:\\A;%ProgramFiles%\\Acme");
    EXPECT_EQ(RewriteExpandText(both, acme, "D:\\A", env, false, true).Text, "C:\\Program Files\\Acme;D:\\A");
}
