// reg_file.h - the .reg backup writer (reg_file.cpp) as Remove (remove.cpp)
// and CleanUp (cleanup.cpp) use it; internal to store/.
#pragma once

#include "store.h"

struct RegWriter {
    PlatFile file;
    int failed;
    uint32_t values;     // value lines written
    uint32_t nameHash;   // FNV-1a of the names written, in order
    uint32_t bytes;      // every byte written, and their FNV-1a: the file
    uint32_t bytesHash;  // read back must be exactly these
    Sha256 sha;          // ... and their SHA-256, which the history keeps
};

// The hash the read-back compares names by, from HASH_START; CleanUp also
// hashes a saved value's data with it.
#define HASH_START 2166136261u
uint32_t HashName(uint32_t hash, const unsigned char *units, uint32_t size);

// The size of the buffers whole value names are read into.
#define WHOLE_NAME_SIZE 16384
int NameCarried(const char *name);

// A MakeBackup for NewBackup (context: the RegWriter): the new file with its
// header. Then PutKey before the values of each key, and EndRegFile.
int BeginRegFile(const char *path, void *context);
// Its AbandonBackup: closes the file it began.
void AbandonRegFile(void *context);
void PutKey(RegWriter *writer, PlatHive hive, const char *path);
void PutValue(RegWriter *writer, const char *name, uint32_t type, const void *data, uint32_t size);
int PutApproval(RegWriter *writer, const AutostartItem *item);
int EndRegFile(RegWriter *writer, const char *path);
