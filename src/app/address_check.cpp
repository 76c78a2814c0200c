#include "app/address_check.h"

#include "core/strings.h"

namespace movix {

namespace {

// "C:\..." (the first character is not looked at); "C:APPS" does not count.
bool StartsWithDriveLetter(const std::string& s) {
    return s.size() >= 3 && s[1] == ':' && s[2] == '\\';
}

bool EndsWith(const std::string& s, char c) {
    return !s.empty() && s.back() == c;
}

// The extension test, made only when `existingFile` is an existing file and
// `other` names nothing that exists. It fails when exactly one of the two
// has an extension: "C:\APP\RUN.EXE" against "D:\APP" is a likely mix-up of
// a file with a folder. Two different non-empty extensions pass: renaming a
// file while moving it is legitimate, and the message speaks only of one
// address having an extension and the other not.
bool ExtensionsMismatch(const std::string& existingFile, const std::string& other) {
    return AddressExtension(existingFile).empty() != AddressExtension(other).empty();
}

// The address without the backslashes that end it; a drive root keeps its
// own ("C:\\").
std::string WithoutEndingBackslashes(std::string address) {
    while (address.size() > 3 && EndsWith(address, '\\'))
        address.pop_back();
    return address;
}

}  // namespace

std::string AddressExtension(const std::string& address) {
    const std::string::size_type sep = address.find_last_of("\\:");
    const std::string::size_type dot = address.find_last_of('.');
    if (dot == std::string::npos)
        return std::string();
    if (sep != std::string::npos && dot < sep)
        return std::string();
    return address.substr(dot);
}

int CheckAddresses(const std::string& oldAddress, const std::string& newAddress, const PathKindProbe& probe) {
    if (oldAddress.empty())
        return 7;
    if (oldAddress.size() < 4)
        return 2;
    if (newAddress.empty())
        return 1;
    if (newAddress.size() < 4)
        return 3;
    // The same place twice, in another letter case or with a backslash
    // more: every rewrite would touch files and change nothing.
    if (SameFileName(WithoutEndingBackslashes(oldAddress), WithoutEndingBackslashes(newAddress)))
        return kCheckSamePlace;

    const PathKind oldKind = probe(oldAddress);
    const PathKind newKind = probe(newAddress);
    if (oldKind == PathKind::Nothing && newKind == PathKind::Nothing)
        return 4;
    if (oldKind == PathKind::File && newKind == PathKind::File)
        return 5;
    if (oldKind == PathKind::Folder && newKind == PathKind::Folder)
        return 6;
    if (oldKind == PathKind::File && newKind == PathKind::Folder)
        return 8;
    if (oldKind == PathKind::Folder && newKind == PathKind::File)
        return 9;

    // Exactly one of the two exists from here on.
    if (StartsWithDriveLetter(oldAddress) != StartsWithDriveLetter(newAddress))
        return 11;
    if (oldKind == PathKind::File && ExtensionsMismatch(oldAddress, newAddress))
        return 10;
    if (newKind == PathKind::File && ExtensionsMismatch(newAddress, oldAddress))
        return 10;
    if (EndsWith(oldAddress, '\\') != EndsWith(newAddress, '\\'))
        return 12;
    if (EndsWith(oldAddress, '.') != EndsWith(newAddress, '.'))
        return 13;
    return 0;
}

int CheckAddressesForMove(const std::string& oldAddress,
                          const std::string& newAddress,
                          const PathKindProbe& probe,
                          const std::function<bool(const std::string&)>& emptyFolder) {
    const int result = CheckAddresses(oldAddress, newAddress, probe);
    if (result == 1 || result == 2 || result == 3 || result == 7 || result == kCheckSamePlace)
        return result;
    if (probe(oldAddress) != PathKind::Folder)
        return kCheckMoveNoOldFolder;
    const PathKind newKind = probe(newAddress);
    if (newKind == PathKind::File || (newKind == PathKind::Folder && !emptyFolder(newAddress)))
        return kCheckMoveNewNotEmpty;
    return result;
}

Indicator IndicatorForResult(int result) {
    if (result == 0 || result == 1)
        return Indicator::Green;
    if (result >= 2 && result <= 6)
        return Indicator::Yellow;
    return Indicator::Red;
}

}  // namespace movix
