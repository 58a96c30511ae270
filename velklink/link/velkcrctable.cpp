#include "velkcrctable.h"

constexpr TCrc16Table ArcCrc16Table = VelkCrcTable::Reflected<uint16_t>(0xA001);
constexpr TCrc16Table CcittCrc16Table = VelkCrcTable::Normal<uint16_t>(0x1021);
constexpr TCrc16Table IrdaCrc16Table = VelkCrcTable::Reflected<uint16_t>(0x8408);
constexpr TCrc16Table XModemCrc16Table = VelkCrcTable::Reflected<uint16_t>(0x1021);
constexpr TCrc32Table ZipCrc32Table = VelkCrcTable::Reflected<uint32_t>(0xEDB88320u);
constexpr TCrc32Table JamCrc32Table = VelkCrcTable::Normal<uint32_t>(0x04C11DB7u);

// Entries known from the published tables, checked while compiling.
static_assert(ArcCrc16Table[1] == 0xC0C1 && ArcCrc16Table[255] == 0x4040);
static_assert(CcittCrc16Table[1] == 0x1021 && CcittCrc16Table[255] == 0x1EF0);
static_assert(IrdaCrc16Table[1] == 0x1189 && IrdaCrc16Table[255] == 0x0F78);
static_assert(XModemCrc16Table[1] == 0x17CE && XModemCrc16Table[128] == 0x1021);
static_assert(ZipCrc32Table[1] == 0x77073096u && ZipCrc32Table[255] == 0x2D02EF8Du);
static_assert(JamCrc32Table[1] == 0x04C11DB7u && JamCrc32Table[255] == 0xB1F740B4u);
