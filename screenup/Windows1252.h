// The library's texts are single-byte Windows-1252; the windows show QString.
#pragma once

#include <QString>

// Every byte up to the terminating zero; a null pointer gives an empty text.
QString FromWindows1252(const char *text);
