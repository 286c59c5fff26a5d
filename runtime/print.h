// Line output: the print layer over a table of file numbers.
//
// The tool prints every line with PrintLine to file number 0, the console
// entry. Each write goes through FileWrite, which sets up the console entry
// on first use, records its result in the error number and keeps the entry's
// output column.
#ifndef TORVELIN_RUNTIME_PRINT_H_
#define TORVELIN_RUNTIME_PRINT_H_

#include <cstdint>

#include "runtime/text.h"

constexpr uint32_t PrintFlagNewline = 1;
constexpr uint32_t PrintFlagZone = 2;
constexpr uint32_t PrintFlagNewlineAlt = 4;

constexpr int32_t kPrintZoneWidth = 14;

struct FileEntry;

// The operations of an open entry.
struct FileOps {
  int32_t (*write)(FileEntry* entry, const char* bytes, int32_t n);
  void (*close)(FileEntry* entry);
};

struct FileEntry {
  int32_t column;      // bytes since the last CR or LF, modulo width
  int32_t width;       // line width; 0 means no wrapping
  const FileOps* ops;  // none: the entry is not open
};

// File 0 is the console, -1 a reserved entry, 1 to 255 numbered files.
struct FileTable {
  bool in_use;  // tested and cleared by FileCloseAll
  FileEntry console;
  FileEntry reserved;
  FileEntry numbered[255];
};

void PrintLine(int32_t file, Src text, uint32_t flags);
void PrintEnd(FileEntry* entry, uint32_t flags);
void PrintZone(FileEntry* entry);
FileEntry* FileFromNumber(int32_t file);
// Returns 0 when written, 1 when there is no open entry.
int32_t FileWrite(FileEntry* entry, const char* bytes, int32_t n);
void FileCloseAll();

void ConsoleEntryInit();
int32_t ConsoleEntryWrite(FileEntry* entry, const char* bytes, int32_t n);

#endif  // TORVELIN_RUNTIME_PRINT_H_
