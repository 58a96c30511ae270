// The settings dump's source over the library's record functions, run inside
// an open library scope.
#pragma once

#include "screendump.h"

#include <functional>

// Reads the directory with a partial refresh, asks RECItemExists and loads the
// item with RECLoadItem. The bytes it gives are the transfer engine's last
// read, sized by what HLPGetBuffer reports, as the library hands a load to its
// host. Once abandoned() holds it asks the library for nothing more, and every
// call fails.
class TLibrarySettingsSource final : public TSettingsSource {
public:
    explicit TLibrarySettingsSource(std::function<bool()> abandoned);

    bool Refresh() override;
    bool ItemExists(std::string_view record, std::string_view item) override;
    std::optional<std::vector<uint8_t>> LoadItem(std::string_view record, std::string_view item) override;

private:
    std::function<bool()> abandoned_;
};
