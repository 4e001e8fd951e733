// fuzz_entries.h - the fuzzed operations, shared by the libFuzzer targets
// and the native unit test that replays every kept input.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ParseCommand and the target-folder rule on a command made of the input.
int FuzzParseCommand(const uint8_t *data, size_t size);

// WriteHtmlLog over records whose fields come from the input, terminated or
// not; the report must keep its frame and one heading per record.
int FuzzHtmlLog(const uint8_t *data, size_t size);

// ParseTaskXml on the input as it is: every field terminated within itself.
int FuzzTaskXml(const uint8_t *data, size_t size);

// ParseAppManifest on the input as it is: every field terminated within
// itself, never more tasks than it holds.
int FuzzAppManifest(const uint8_t *data, size_t size);

// ReadRegText on the input as it is: every value within its file, names
// terminated, never more values than the file has lines.
int FuzzRegReader(const uint8_t *data, size_t size);

// ReadJournal on the input as a history file: every record's fields
// terminated within themselves, no more records than the input has lines.
int FuzzJournal(const uint8_t *data, size_t size);

// ParseLogonRecord on the input as it is: a refused record holds nothing
// and says why, a read one only terminated fields and figures of zero or
// more; its first process is found again by its own path, and the wording
// of its cost is terminated.
int FuzzLogonCost(const uint8_t *data, size_t size);
