#pragma once
// The result log: one entry per input file, built completely in
// memory (CR LF line ends) and written with a single write.
#include <string>

#include "conversion/FileEngineStep.h"
#include "conversion/FileResult.h"
#include "platform/Clock.h"

namespace keldro {

// What an entry reads from the job and its settings.
struct LogContext {
    FileMode mode = FileMode::Tavi;
    std::string inputFileName;
    std::string outputFileName;
    bool regulateChorus = false;
    int dbTenths = 0;
};

// The time of a change in seconds, as the log's "Point[sec]" column shows it.
double changeSeconds(FileMode mode, const VolumeChangeRecord& record);

// Sorts by position, ascending. Records of one position keep the log's own
// order, not their input order (see ResultLog.cpp); stored logs rely on it.
void sortChangesByPosition(VolumeChangeList& changes);

// The entry's text. Sorts result.changes in place when the table is printed.
std::string buildLogEntry(const LogContext& context, FileResult& result, const LocalDateTime& now);

// Creates (first) or appends to the log file and writes the entry with one
// write: false when the file cannot be opened, its status cannot be read, it
// is read-only (owner write bit clear) or the write fails.
bool writeLogText(const std::string& path, const std::string& entry, bool first);

// buildLogEntry and writeLogText in one: the table goes to the file a piece
// at a time as it is made, so that a table of a change at every event, which
// is longer than the file converted, is never held whole. The same bytes.
bool streamLogEntry(const std::string& path, const LogContext& context, FileResult& result, const LocalDateTime& now,
                    bool first);

}  // namespace keldro
