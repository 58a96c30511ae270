// records, get, put, rm: the record directory.
#include "ctlcommands.h"

#include "ctlchecks.h"
#include "ctldirectory.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctlinputfile.h"
#include "ctloutputfile.h"
#include "velkclasses.h"
#include "velkcodepage.h"
#include "velkrecord.h"

#include <iostream>
#include <optional>

namespace {

std::string RecordName(const std::string &utf8) {
    return StoredName(utf8, "RECORD", std::size_t(velk_Record::NameWidth));
}

std::string ItemName(const std::string &utf8) {
    return StoredName(utf8, "ITEM", std::size_t(velk_Record::ItemNameWidth));
}

} // namespace

void CheckSavedSlot(const velk_Records &records, int32_t slot) {
    if (records.HasSlotFlag(slot))
        return;
    throw ECtlFailed("saved in slot " + std::to_string(slot) +
                     ", which the decoder's slot table does not admit: it will not be found after the next "
                     "refresh");
}

int RunRecords(const TCtlOptions &options, const TRecordsArgs &args) {
    TCtlSession session = OpenSession(options);
    session.Refresh(args.Full);
    const nlohmann::json directory = DirectoryJson(session.Records());
    if (args.Json)
        std::cout << directory.dump(2) << '\n';
    else
        std::cout << DirectoryText(directory);
    return 0;
}

int RunGet(const TCtlOptions &givenOptions, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    std::optional<TOutputFile> output;
    if (!args.File.empty())
        output.emplace(args.File);
    TCtlOptions options = givenOptions;
    options.StatusToError = !output || output->IsStandardOutput();
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    TBuffer buffer;
    session.Records().LoadItem(session.Transport(), record, item, buffer);
    const std::span<const uint8_t> data(buffer.Memory(), std::size_t(buffer.Size()));
    if (!output) {
        std::cout << HexDump(data, 0);
        return 0;
    }
    output->Write(data);
    Say(options,
        "Loaded item " + args.Item + " of record " + args.Record + " (" + Bytes(data.size()) + ") into " + args.File);
    return 0;
}

int RunPut(const TCtlOptions &options, const TPutArgs &args) {
    const std::string record = RecordName(args.Record);
    if (args.Pairs.empty() || args.Pairs.size() % 2 != 0)
        throw ECtlUsage("put needs RECORD and then pairs of ITEM FILE");
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> contents;
    std::size_t total = 0;
    for (std::size_t i = 0; i < args.Pairs.size(); i += 2) {
        names.push_back(ItemName(args.Pairs[i]));
        contents.push_back(ReadInputFile(args.Pairs[i + 1], std::size_t(velk_Record::MaxBodyLength), "a record item"));
        total += contents.back().size();
        if (total > std::size_t(velk_Record::MaxBodyLength))
            throw ECtlUsage("The files hold more than a record holds (" + std::to_string(velk_Record::MaxBodyLength) +
                            " bytes)");
    }
    std::vector<TRecordItemData> items;
    for (std::size_t i = 0; i < names.size(); ++i)
        items.push_back({names[i], contents[i].data(), static_cast<int32_t>(contents[i].size())});

    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    const int32_t slot = session.Records().SaveItems(session.Transport(), record, items);
    for (std::size_t i = 0; i < names.size(); ++i)
        Say(options, "Saved " + args.Pairs[2 * i + 1] + " (" + Bytes(contents[i].size()) + ") as item " +
                         args.Pairs[2 * i] + " of record " + args.Record);
    CheckSavedSlot(session.Records(), slot);
    return 0;
}

int RunRemove(const TCtlOptions &options, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    session.Records().DeleteItem(session.Transport(), record, item);
    Say(options, "Deleted item " + args.Item + " of record " + args.Record);
    return 0;
}
