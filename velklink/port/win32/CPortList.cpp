// Port names and the list of the system's serial ports.
// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "CPort.h"
#include "CPortRemoteName.h"

#include <algorithm>
#include <cctype>

std::string TCustomComPort::DevicePath(const std::string &name) {
    if (name.rfind("\\\\", 0) == 0 || ParseRemoteName(name))
        return name;
    // The device namespace reaches every port, COM10 and above included.
    return "\\\\.\\" + name;
}

void TCustomComPort::EnumComPorts(std::vector<std::string> &names, const std::string &root) {
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_QUERY_VALUE, &key);
    std::vector<std::string> found;
    // A system without serial ports has no such key: an empty list.
    if (status == ERROR_FILE_NOT_FOUND) {
        names.clear();
        return;
    }
    if (status != ERROR_SUCCESS)
        throw EComPort(ceRegistry, static_cast<int32_t>(status));
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        BYTE data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        status = ::RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA)
            continue; // no port has such a name
        if (status != ERROR_SUCCESS) {
            ::RegCloseKey(key);
            throw EComPort(ceRegistry, static_cast<int32_t>(status));
        }
        if (type != REG_SZ)
            continue;
        data[dataSize] = 0;
        const std::string port(reinterpret_cast<const char *>(data));
        if (!port.empty())
            found.push_back(port);
    }
    ::RegCloseKey(key);
    std::stable_sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    });
    names = std::move(found);
}
