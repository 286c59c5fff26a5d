// The print layer and the file-number table.
#include "runtime/print.h"

#include "runtime/console.h"
#include "runtime/error.h"
#include "runtime/runtime.h"

namespace {

constexpr char kLineEnd[] = {13, 10};
static_assert(kPrintZoneWidth <= kSpacesLength, "a zone fill is one write");

const FileOps console_ops = {ConsoleEntryWrite, nullptr};

FileTable& Files() { return runtime_state.files; }

}  // namespace

FileEntry* FileFromNumber(int32_t file) {
  if (file == 0) return &Files().console;
  if (file == -1) return &Files().reserved;
  if (file >= 1 && file <= 255) return &Files().numbered[file - 1];
  return nullptr;
}

void PrintLine(int32_t file, Src text, uint32_t flags) {
  FileEntry* entry = FileFromNumber(file);
  if (text.length > 0) FileWrite(entry, text.data, text.length);
  PrintEnd(entry, flags);
  SrcRelease(text);
}

void PrintEnd(FileEntry* entry, uint32_t flags) {
  if (flags & (PrintFlagNewline | PrintFlagNewlineAlt)) {
    FileWrite(entry, kLineEnd, sizeof kLineEnd);
  } else if (flags & PrintFlagZone) {
    PrintZone(entry);
  }
}

void PrintZone(FileEntry* entry) {
  ConsoleEntryInit();
  if (entry == nullptr || entry->ops == nullptr) {
    ErrSetNum(1);
    return;
  }
  int32_t col = entry->column;
  int32_t next =
      ((col + kPrintZoneWidth) / kPrintZoneWidth) * kPrintZoneWidth + 1;
  // Compared unsigned, as the line's last zone start: on a line narrower
  // than a zone, width - 14 is negative and reads as a huge value, so no
  // zone start is past it and the fill is never cut to a new line there.
  if (entry->width != 0 &&
      static_cast<uint32_t>(next) >
          static_cast<uint32_t>(entry->width - kPrintZoneWidth)) {
    next = 1;
  }
  if (next > col + 1) {
    FileWrite(entry, kSpaces, next - (col + 1));
  } else {
    FileWrite(entry, kLineEnd, sizeof kLineEnd);
  }
}

int32_t FileWrite(FileEntry* entry, const char* bytes, int32_t n) {
  ConsoleEntryInit();
  if (entry == nullptr || entry->ops == nullptr) return ErrSetNum(1);
  int32_t result =
      entry->ops->write != nullptr ? entry->ops->write(entry, bytes, n) : 1;
  if (result == 0) {
    int32_t last = -1;
    for (int32_t i = n - 1; i >= 0; --i) {
      if (bytes[i] == 13 || bytes[i] == 10) {
        last = i;
        break;
      }
    }
    if (last >= 0) {
      entry->column = n - 1 - last;
    } else {
      entry->column = static_cast<int32_t>(
          static_cast<uint32_t>(entry->column) + static_cast<uint32_t>(n));
    }
    if (entry->width != 0) {
      entry->column =
          static_cast<int32_t>(static_cast<uint32_t>(entry->column) %
                               static_cast<uint32_t>(entry->width));
    }
  }
  return ErrSetNum(result);
}

void FileCloseAll() {
  FileTable& t = Files();
  if (!t.in_use) return;
  t.in_use = false;
  for (FileEntry& e : t.numbered) {
    if (e.ops != nullptr && e.ops->close != nullptr) e.ops->close(&e);
  }
  for (FileEntry& e : t.numbered) e = FileEntry{};
}

void ConsoleEntryInit() {
  FileEntry& console = Files().console;
  if (console.ops != nullptr) return;
  console = FileEntry{};
  console.width = ConsoleGetSize().columns;
  console.column = ConsoleGetColumn() - 1;
  console.ops = &console_ops;
}

int32_t ConsoleEntryWrite(FileEntry*, const char* bytes, int32_t n) {
  ConsolePrint(bytes, n);
  return 0;
}
