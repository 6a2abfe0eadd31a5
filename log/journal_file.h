// The text of the durable journal: the installation's records as they are made,
// written to a protected file so that an installation that never finished (the
// process ended from outside, the power failed) can be undone at the next start.
// Pure functions of values; the file itself is kept by RunJournal.
//
// UTF-8 lines, each ending with LF, fields separated by TAB (no path holds a TAB or
// a line end), the last field the CRC-32 of everything before it in the line, in
// eight lower-case hexadecimal digits:
//   ArJournal <TAB> 2 <TAB> crc                          header, the format's version (1 had no P line)
//   T <TAB> folder <TAB> crc                             the run's private temporary folder
//   P <TAB> id <TAB> created <TAB> crc                   a process that acts on the run (the installer, a
//                                                        recovery of it): its id, and its creation time
//                                                        (FILETIME) in 16 hexadecimal digits
//   R <TAB> index <TAB> kind <TAB> fileKind <TAB> flags <TAB> path <TAB> backup <TAB> source <TAB> crc
//                                                        the state of record `index` (later lines win);
//                                                        flags: 1 succeeded, 2 existed before, 4 kept in
//                                                        place
//   K <TAB> existed <TAB> key <TAB> hive <TAB> crc       a key below HKEY_LOCAL_MACHINE about to be
//                                                        written outside the records: 0 when it did not
//                                                        exist, else 1 and the hive that saves it (or none)
//   E <TAB> crc                                          the run ended: nothing is left to undo
// A line whose check fails or that lacks its line end (a torn last write) ends the
// reading; what came before it stands.
#pragma once

#include "log/log_record.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ar {

inline constexpr int journalVersion = 2;

std::string formatJournalHeader();
std::string formatJournalFolder(const std::wstring& folder);
// A process that acts on the run, by what names it alone among all processes.
struct JournalProcess {
    std::uint32_t id = 0;      // 0: not recorded
    std::uint64_t created = 0; // FILETIME
};
std::string formatJournalProcess(const JournalProcess& process);
std::string formatJournalRecord(std::size_t index, const UninstallLogRecord& record);
std::string formatJournalEnd();

// A registry key that the run changes outside its records (the product's record).
struct JournalKey {
    bool existed = false;
    std::wstring path;     // below HKEY_LOCAL_MACHINE
    std::wstring hiveFile; // its saved content; empty when not saved
};
std::string formatJournalKey(const JournalKey& key);

struct JournalContents {
    bool understood = false; // a header of a version this program reads
    bool foreign = false;    // an intact first line that is not such a header
    bool ended = false;      // the run ended (an E line)
    std::wstring privateFolder;
    std::vector<JournalProcess> processes;   // in the order in which they were written
    std::vector<UninstallLogRecord> records; // the last state of each record, by index
    std::vector<JournalKey> keys;            // in the order in which they were written
    std::size_t lines = 0;                   // intact lines, the header included
    std::size_t length = 0;                  // bytes of those lines: where a torn or damaged line begins
};

// Reads a journal's bytes; stops at the first torn or damaged line.
JournalContents parseJournal(const std::string& bytes);

} // namespace ar
