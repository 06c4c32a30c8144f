// The burn record file "BurntMacandIDList.txt": one line per good board, appended and flushed.
#pragma once

#include <ctime>
#include <string>

// "\n%Y/%m/%d %H:%M:%S" of the local time.
std::string FormatRecordTime(std::time_t t);
// "%s   %s   %s" of the time text, the MAC burn form and the burn ID.
std::string FormatRecord(std::time_t t, const std::string& mac, const std::string& id);

struct RecordResult {
    bool written = false;
    std::string recordText; // the record as it was (or would have been) written, without the line break
};

// Opens the file exclusively for each record (retrying for about 2 s while another program holds
// it), appends CR LF and the record, flushes it to the disk and closes it. written is false when the
// record could not be written whole; appends from several threads follow one another; the file then keeps no part of it, and recordText is what the
// operator has to note by hand.
RecordResult AppendBurnRecord(const std::string& path, const std::string& mac, const std::string& id);
