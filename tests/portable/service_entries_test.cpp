#include "targets/service_entries.h"

#include <gtest/gtest.h>

using namespace movix;

TEST(ServiceEntries, ValuesTheServiceManagerKeeps) {
    struct Case {
        const char* key;
        const char* value;
        const char* controlSet;
        bool expected;
    };
    const Case cases[] = {
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\Agent", "ImagePath", "ControlSet001", true},
        {"hklm\\system\\controlset001\\services\\agent", "IMAGEPATH", "ControlSet001", true},
        {"HKLM\\SYSTEM\\ControlSet002\\Services\\Agent", "ImagePath", "ControlSet001", false},
        {"HKLM\\SYSTEM\\ControlSet002\\Services\\Agent", "ImagePath", "", true},
        {"HKLM\\System\\CurrentControlSet\\Services\\Agent", "ImagePath", "ControlSet001", true},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\Agent", "Description", "ControlSet001", true},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\Agent", "DisplayName", "ControlSet001", false},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\Agent\\Parameters", "ImagePath", "ControlSet001", false},
        {"HKLM\\SYSTEM\\ControlSet001\\Services", "ImagePath", "ControlSet001", false},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\", "ImagePath", "ControlSet001", false},
        {"HKCU\\SYSTEM\\ControlSet001\\Services\\Agent", "ImagePath", "ControlSet001", false},
        {"HKLM\\SOFTWARE\\ControlSet001\\Services\\Agent", "ImagePath", "", false},
        {"HKLM\\SYSTEM\\ControlSetX\\Services\\Agent", "ImagePath", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsServiceManagerValue(c.key, c.value, "C:\\Old\\a.exe", c.controlSet), c.expected)
            << c.key << " " << c.value;
    // An indirect description is resolved by the manager: the Registry's
    // text is not what the services' search reads.
    EXPECT_FALSE(IsServiceManagerValue("HKLM\\SYSTEM\\ControlSet001\\Services\\Agent", "Description",
                                       "@C:\\Old\\res.dll,-101", "ControlSet001"));
    EXPECT_TRUE(IsServiceManagerValue("HKLM\\SYSTEM\\ControlSet001\\Services\\Agent", "ImagePath", "@C:\\Old\\a.exe",
                                      "ControlSet001"));
}

TEST(ServiceEntries, FieldStatesTellEveryTextApart) {
    EXPECT_EQ(FieldState(std::nullopt), "-");
    EXPECT_EQ(FieldState(std::string("-")), "=-");
    EXPECT_EQ(FieldsState({std::string("a"), std::nullopt, std::string("")}), "2:=a1:-1:=");
    // Two texts never pass for one, nor one for two.
    EXPECT_NE(FieldsState({std::string("ab"), std::string("c")}), FieldsState({std::string("a"), std::string("bc")}));
    EXPECT_NE(FieldsState({std::string("1:=a")}), FieldsState({std::string(""), std::string("a")}));
}

// Restore puts back each field's text from before the run, read out of the
// journal's state of the fields.
TEST(ServiceEntries, FieldStatesReadBackAsTheirTexts) {
    using Texts = std::vector<std::optional<std::string>>;
    for (const Texts& texts : {Texts{}, Texts{std::string("C:\\Old\\a.exe"), std::nullopt, std::string("")},
                               Texts{std::string("12:=x:y"), std::string("-"), std::string("a\tb\n")}})
        EXPECT_EQ(ParseFieldsState(FieldsState(texts)), texts) << FieldsState(texts);
    for (const char* bad : {"2:=a1", "0:", "x:=a", "3:=a", ":=", "2:?a", "9999999999:=a", "2:=a:"})
        EXPECT_FALSE(ParseFieldsState(bad)) << bad;
}
