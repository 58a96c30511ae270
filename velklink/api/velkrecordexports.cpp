// Exports of the record store: refresh the record directory, ask for, load and
// save items, and fetch the bytes of the last loaded item.
#include "velklink.h"

#include "velkerrorbox.h"
#include "velkformat.h"
#include "velkhltransport.h"
#include "velklibrary.h"

#include <string>

namespace {

// A null name counts as an empty one.
std::string NameOf(const char *text) {
    return text != nullptr ? std::string(text) : std::string();
}

// Runs a record operation over the library's transfer engine; 1 when it
// completed, 0 after the error box (or before Initialize).
template <typename Operation> int32_t RunRecords(Operation &&operation) {
    return Guarded<int32_t>(0, [&]() -> int32_t {
        TLibrary *lib = Library();
        if (lib == nullptr)
            return 0;
        THLTransport transport(lib->Transfer());
        operation(*lib, transport);
        return 1;
    });
}

} // namespace

extern "C" {

VELK_EXPORT int32_t VELK_CALL RECRefresh(int32_t full) {
    const bool fullRefresh = (full & 0xFF) != 0; // a host may pass a one-byte truth value
    return RunRecords(
        [&](TLibrary &lib, TRecordTransport &transport) { lib.Records().Refresh(transport, fullRefresh); });
}

VELK_EXPORT int32_t VELK_CALL RECItemExists(const char *record, const char *item) {
    return Guarded<int32_t>(0, [&]() -> int32_t {
        TLibrary *lib = Library();
        return lib != nullptr && lib->Records().ItemExists(NameOf(record), NameOf(item)) ? 1 : 0;
    });
}

VELK_EXPORT int32_t VELK_CALL RECLoadItem(const char *record, const char *item) {
    return RunRecords([&](TLibrary &lib, TRecordTransport &transport) {
        lib.Records().LoadItem(transport, NameOf(record), NameOf(item), *lib.ResultBuffer);
    });
}

VELK_EXPORT int32_t VELK_CALL RECSaveItem(const char *record, const char *item, const void *data, int32_t size) {
    return RunRecords([&](TLibrary &lib, TRecordTransport &transport) {
        // Refused before anything is sent: a size no buffer can have, or bytes
        // announced without data.
        if (size < 0)
            throw ERecords(Format("Dimensione dati non valida: %d.", size));
        if (data == nullptr && size > 0)
            throw ERecords("Pacchetto dati inconsistente.");
        TBuffer buffer(0);
        buffer.SetData(data, size);
        lib.Records().SaveItem(transport, NameOf(record), NameOf(item), buffer);
    });
}

VELK_EXPORT int32_t VELK_CALL RECGetBuffer(void *dest) {
    return Guarded<int32_t>(0, [&]() -> int32_t {
        TLibrary *lib = Library();
        if (lib == nullptr)
            return 0;
        const int32_t size = lib->ResultBuffer->Size();
        if (dest != nullptr)
            lib->ResultBuffer->GetData(dest, size);
        return size;
    });
}

} // extern "C"
