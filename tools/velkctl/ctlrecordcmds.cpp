// records, get, put, rm: the record directory.
#include "ctlcommands.h"

#include "ctldirectory.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "velkclasses.h"
#include "velkcodepage.h"
#include "velkrecord.h"

#include <iostream>

namespace {

// Names as the decoder stores them (Windows-1252), checked against the
// record's fixed fields so that no name is silently cut.
std::string RecordName(const std::string &utf8) {
    const std::string name = Utf8ToCp1252(utf8);
    if (name.empty() || name.size() > std::size_t(velk_Record::NameWidth))
        throw ECtlUsage("RECORD: \"" + utf8 + "\" must have 1 to " + std::to_string(velk_Record::NameWidth) +
                        " characters");
    return name;
}

std::string ItemName(const std::string &utf8) {
    const std::string name = Utf8ToCp1252(utf8);
    if (name.empty() || name.size() > std::size_t(velk_Record::ItemNameWidth))
        throw ECtlUsage("ITEM: \"" + utf8 + "\" must have 1 to " + std::to_string(velk_Record::ItemNameWidth) +
                        " characters");
    return name;
}

} // namespace

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

int RunGet(const TCtlOptions &options, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    TBuffer buffer;
    session.Records().LoadItem(session.Transport(), record, item, buffer);
    const std::span<const uint8_t> data(buffer.Memory(), std::size_t(buffer.Size()));
    if (args.File.empty()) {
        std::cout << HexDump(data, 0);
        return 0;
    }
    WriteOutputFile(args.File, data);
    Say(options, "Loaded item " + args.Item + " of record " + args.Record + " (" + Bytes(data.size()) +
                     ") into " + args.File);
    return 0;
}

int RunPut(const TCtlOptions &options, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    const std::vector<uint8_t> data = ReadInputFile(args.File);
    if (data.size() > std::size_t(velk_Record::MaxBodyLength))
        throw ECtlUsage("\"" + args.File + "\" holds " + Bytes(data.size()) + ", more than a record holds (" +
                        std::to_string(velk_Record::MaxBodyLength) + ")");
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    TBuffer buffer;
    buffer.SetData(data.data(), static_cast<int32_t>(data.size()));
    session.Records().SaveItem(session.Transport(), record, item, buffer);
    Say(options, "Saved " + args.File + " (" + Bytes(data.size()) + ") as item " + args.Item + " of record " +
                     args.Record);
    return 0;
}

int RunRemove(const TCtlOptions &options, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    DeleteRecordItem(session.Records(), session.Transport(), record, item);
    Say(options, "Deleted item " + args.Item + " of record " + args.Record);
    return 0;
}
