// Every export the library has; nothing else may be visible.
#pragma once

#include <set>
#include <string>

inline const std::set<std::string> kExports = {
    "Initialize",    "Finalize",      "GetVersion",   "SetLogEvent",      "HLPSetEvent",     "SetErrorEvent",
    "GetComPort",    "OpenComPort",   "CloseComPort", "ComPortConnected", "ProcessMessages", "GetMessageHandle",
    "HLPReadFlash",  "HLPReadEeprom", "HLPSendFlash", "HLPSendEeprom",    "HLPSendFirmware", "HLPSendSync",
    "HLPWaitFor",    "HLPGetState",   "HLPGetError",  "HLPGetBuffer",     "SetIdleEvent",    "RECRefresh",
    "RECItemExists", "RECLoadItem",   "RECSaveItem",  "RECGetBuffer",
};
