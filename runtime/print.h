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

// How PrintLine ends its text; with no flag the output stays on the line.
constexpr uint32_t PrintFlagNewline = 1;  // CR LF
// On to the next print zone; CR LF when the line has none left. Ignored when
// either line-end flag is set.
constexpr uint32_t PrintFlagZone = 2;
constexpr uint32_t PrintFlagNewlineAlt = 4;  // CR LF, as PrintFlagNewline

// Print zones start at columns 1, 15, 29 and so on.
constexpr int32_t kPrintZoneWidth = 14;

struct FileEntry;

// The operations of an open entry.
struct FileOps {
  int32_t (*write)(FileEntry* entry, const char* bytes, int32_t n);
  void (*close)(FileEntry* entry);
};

struct FileEntry {
  // Bytes written since the last CR or LF, kept modulo width (taken as
  // unsigned); the console entry starts at ConsoleGetColumn() - 1 (-1 when
  // standard output is no console).
  int32_t column;
  int32_t width;       // line width; 0 means no wrapping
  const FileOps* ops;  // none: the entry is not open
};

// File 0 is the console, -1 a reserved entry, 1 to 255 numbered files.
struct FileTable {
  bool in_use;  // tested and cleared by FileCloseAll; nothing here sets it
  FileEntry console;
  FileEntry reserved;
  FileEntry numbered[255];
};

// Writes the text (an empty one is no write) to the file, then the end the
// flags ask for. Consumes the text; allocates nothing.
void PrintLine(int32_t file, Src text, uint32_t flags);
// Writes the end the flags ask for: CR LF, a zone fill, or nothing.
void PrintEnd(FileEntry* entry, uint32_t flags);
// Spaces up to the next zone start; CR LF instead when that start is past
// width - 14 on a line with a width, compared unsigned: below 14 columns no
// start is past it, and the spaces run on. Error number 1 for no open entry.
void PrintZone(FileEntry* entry);
// 0 the console, -1 the reserved entry, 1 to 255 the numbered files;
// nullptr for any other number.
FileEntry* FileFromNumber(int32_t file);
// Returns the entry's write result (the console entry's is always 0, taken
// or not), or 1 when the entry is not open or has no write, and records it
// as the error number; a result of 0 moves the entry's column.
int32_t FileWrite(FileEntry* entry, const char* bytes, int32_t n);
// Closes and clears the numbered files and marks the table unused; nothing
// when it is not in use.
void FileCloseAll();

// Opens file 0 on first use: width ConsoleGetSize's columns, column
// ConsoleGetColumn() - 1.
void ConsoleEntryInit();
// Hands the bytes to ConsolePrint; always 0, a failed console write unseen.
int32_t ConsoleEntryWrite(FileEntry* entry, const char* bytes, int32_t n);

#endif  // TORVELIN_RUNTIME_PRINT_H_
