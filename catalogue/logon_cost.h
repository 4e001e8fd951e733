// logon_cost.h - what each entry cost at the user's last logon.
//
// After a logon the Diagnostic Policy Service (WDI) writes, per user, a
// record of the processes started in the minutes after it, with the CPU
// time and the disk bytes each used, as
//   %windir%\System32\wdi\LogFiles\StartupInfo\<SID>_StartupInfo<N>.xml
// (readable by administrators only). This is the same measure Task
// Manager's "Startup impact" is drawn from, so its bands are used. Windows
// documents neither the file nor its name; what this reader assumes is
// written at the top of logon_cost.cpp. Pure logic: the file is read and
// the folder listed by the caller.
#pragma once

#include "catalogue.h"

#include <stddef.h>
#include <stdint.h>

// A record larger than this is not read.
#define LOGON_FILE_MOST (8u * 1024u * 1024u)
// More processes than this in one record refuse it: a cost shown from a
// part of the record could miss the entry's own process.
#define LOGON_PROCESSES_MOST 512
#define LOGON_TIME_SIZE 40

struct LogonProcess {
    char image[TEXT_FIELD_SIZE];          // Process Name: the program's path as Windows saw it
    char commandLine[COMMAND_FIELD_SIZE]; // CommandLine, trimmed (empty when absent)
    char startTime[LOGON_TIME_SIZE];      // StartTime as written
    int64_t startSeconds;                 // ... as seconds since 1970
    int32_t startZoned;                   // ... 1: it was UTC ("Z"), 0: no zone given
    int32_t imageCut;                     // the path did not fit: never matched by path
    int32_t commandLineCut;               // the command line did not fit: never matched by it
    int64_t cpuMicroseconds;
    int64_t diskBytes;
};

// One user's record of a logon. Large: allocate it (PlatAllocZero).
struct LogonRecord {
    int32_t count;
    LogonProcess processes[LOGON_PROCESSES_MOST];
    char cause[TEXT_FIELD_SIZE]; // why the record was refused
};

// Reads size bytes of a record (UTF-16LE/BE or UTF-8, with or without a
// byte-order mark). Nonzero when the record is whole and well-formed;
// zero with record->cause said and record->count 0 otherwise: a record
// that cannot be read as a whole is not read in part. Never reads past size.
int ParseLogonRecord(const void *data, size_t size, LogonRecord *record);

// A file of the record folder, as the caller listed it.
struct LogonFileName {
    char name[TEXT_FIELD_SIZE]; // "S-1-5-21-...-1001_StartupInfo3.xml"
    int64_t writeTime;          // last written, in any one unit for all files
};

// Index of the newest record of the user with this SID among count files,
// -1 when there is none: the one written last, the higher <N> when two
// were written at the same time. Names of other SIDs, and names that are
// not "<SID>_StartupInfo<digits>.xml", are passed over.
int32_t ChooseLogonFile(const LogonFileName *files, int32_t count, const char *sid);

enum LogonCostState {
    LOGON_COST_MEASURED = 0,
    LOGON_COST_NO_RECORD,   // Windows kept no record of this user's logon
    LOGON_COST_UNREADABLE,  // the record could not be opened (administrators only)
    LOGON_COST_REFUSED,     // the record was read but refused (cause said)
    LOGON_COST_NO_MATCH     // no process of the record is the entry's
};

struct LogonCost {
    int32_t state;
    int64_t cpuMicroseconds; // summed over every start matched
    int64_t diskBytes;
    int32_t starts;          // processes matched
    int32_t byCommandLine;   // matched by command line, not by program path
    int32_t commandMatched;  // a start counted had the entry's command line too
    int64_t logonSeconds;    // the record's first start: the logon's time
    int32_t logonZoned;      // ... 1: UTC, 0: local time as written
    char cause[TEXT_FIELD_SIZE];
};

// The cost of an entry whose program is program (expanded, a full path)
// and whose command line is commandLine (either may be empty), at the logon
// of record: state LOGON_COST_MEASURED or LOGON_COST_NO_MATCH. Matched by
// full program path (without regard to case, quotes and \\?\ dropped), and
// only when no process has that path, by command line (exact, trimmed);
// never by a file name alone. Every start matched is summed: a program
// started twice at logon cost the logon both starts. When a path matches
// several processes and some of them have the entry's command line too,
// only those are counted (two entries may start one program differently).
void FindLogonCost(const LogonRecord *record, const char *program, const char *commandLine,
                   LogonCost *cost);

// Task Manager's band: "high" above 1 s of CPU or 3 MB of disk, "low"
// below 300 ms of CPU and 300 KB of disk, "medium" otherwise.
const char *LogonCostBand(int64_t cpuMicroseconds, int64_t diskBytes);

// The figures alone, short: "1.2 s, 14.3 MB". Always terminated within size.
void LogonFiguresText(int64_t cpuMicroseconds, int64_t diskBytes, char *text, size_t size);

// "At the logon of 8 Dec 08:12: CPU 1.2 s, disk 14.3 MB (Task Manager's
// band: high)", or "Not measured: " and why. utcOffsetMinutes (east of
// UTC) turns a UTC logon time into the user's; a time written without a
// zone is shown as written. Always terminated within size.
void LogonCostText(const LogonCost *cost, int32_t utcOffsetMinutes, char *text, size_t size);
