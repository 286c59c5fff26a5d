// The runtime's edges that the tool never reaches (runtime/runtime.h names
// what it calls): each case holds one edge a contract states, and fails
// when that edge is broken.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "runtime/print.h"
#include "runtime/runtime.h"
#include "runtime/screen.h"
#include "runtime/text.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

// What numbered entries write and which of them are closed.
std::string written;
std::string closed;

int32_t Record(FileEntry*, const char* bytes, int32_t n) {
  written.append(bytes, static_cast<size_t>(n));
  return 0;
}
void Close(FileEntry* e) {
  closed += std::to_string(e - runtime_state.files.numbered + 1) + " ";
}
const FileOps kRecorded = {Record, Close};

// File 1, open with this width, its output so far forgotten.
FileEntry* OpenFile(int32_t width) {
  written.clear();
  closed.clear();
  FileEntry* e = FileFromNumber(1);
  *e = {0, width, &kRecorded};
  return e;
}

// A start-up that is the process's first again.
void FirstStartUp() {
  InitCount = 0;
  RuntimeInit();
}

struct Edge {
  const char* name;
  std::function<void()> check;
};

const Edge kEdges[] = {
    {"a line one column wide keeps column 0; its zone fill is 14 spaces",
     [] {
       FileEntry* e = OpenFile(1);
       PrintLine(1, "abc", PrintFlagZone);
       EXPECT_EQ(written, "abc" + std::string(14, ' '));
       EXPECT_EQ(e->column, 0);
     }},
    {"below 14 columns a zone fill runs on in spaces, never CR LF",
     [] {
       FileEntry* e = OpenFile(10);
       PrintLine(1, "abc", PrintFlagZone);
       EXPECT_EQ(written, "abc" + std::string(11, ' '));
       EXPECT_EQ(e->column, 4);
     }},
    {"the second line-end flag writes CR LF and no zone fill",
     [] {
       OpenFile(0);
       PrintLine(1, "a", PrintFlagNewlineAlt | PrintFlagZone);
       EXPECT_EQ(written, "a\r\n");
     }},
    {"FileCloseAll in use closes the numbered files, not the console",
     [] {
       PrintLine(0, "a", PrintFlagNewline);
       OpenFile(80);
       FileFromNumber(255)->ops = &kRecorded;
       static const FileOps kNoClose = {Record, nullptr};
       FileFromNumber(7)->ops = &kNoClose;
       runtime_state.files.in_use = true;
       FileCloseAll();
       EXPECT_EQ(closed, "1 255 ");
       EXPECT_FALSE(runtime_state.files.in_use);
       for (int32_t i = 1; i <= 255; ++i) {
         EXPECT_EQ(FileFromNumber(i)->ops, nullptr) << i;
       }
       PrintLine(0, "b", PrintFlagNewline);
       EXPECT_EQ(fake::S().out, "a\r\nb\r\n");
       OpenFile(80);
       FileCloseAll();  // not in use: nothing is closed
       EXPECT_EQ(closed, "");
     }},
    {"StrView of no bytes or no length is the empty text",
     [] {
       for (const Text& t :
            {StrView(nullptr, 5), StrView("abc", -1), StrView("abc", 0)}) {
         EXPECT_EQ(t.data, nullptr);
         EXPECT_EQ(t.length, 0);
         EXPECT_FALSE(t.is_view());
       }
     }},
    {"StrAssignFixedBytes at capacity 0 stores nothing, consumes the source",
     [] {
       char bytes[2] = {'x', 'y'};
       StrAssignFixedBytes(bytes, 0, StrFromUInt(7));
       StrAssignFixedBytes(nullptr, 4, StrFromUInt(7));
       EXPECT_EQ(std::string(bytes, 2), "xy");
       EXPECT_EQ(fake::S().allocations, 0);
     }},
    {"an empty result takes no buffer",
     [] {
       for (const Text& t : {StrConcat("", ""), StrTrim("  "), StrUCase(""),
                             StrMid("abc", 2, 0), GetEnviron("")}) {
         EXPECT_EQ(t.data, nullptr);
       }
       EXPECT_EQ(fake::S().allocation_attempts, 0);
     }},
    {"an append onto the empty text allocates exactly",
     [] {
       Text t;
       StrConcatAssign(t, "abcd");
       EXPECT_EQ(t.capacity, 4);
     }},
    {"appending a view of the text's own zero byte appends it",
     [] {
       Text t;
       StrAssign(t, "abc");
       StrConcatAssign(t, StrView(t.data + t.length, 1));
       EXPECT_EQ(std::string(t.data, t.length), std::string("abc\0", 4));
     }},
    {"appending to a view the bytes that follow it copies both",
     [] {
       const char bytes[] = "abXY";
       Text t = StrView(bytes, 2);  // kept a view: followed by X, not a zero
       StrConcatAssign(t, StrView(bytes + 2, 2));
       EXPECT_EQ(std::string(t.data, t.length), "abXY");
     }},
    {"an append may reach the longest length exactly",
     [] {
       // Address room for the longest text; only its last page is touched.
       const size_t bytes = size_t{INT32_MAX} + 1;
       void* room = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
       ASSERT_NE(room, MAP_FAILED);
       Text t;
       t.data = static_cast<char*>(room);
       t.length = INT32_MAX - 1;
       t.capacity = INT32_MAX;
       EXPECT_EQ(RunToExit([&] { StrConcatAssign(t, "y"); }), kDidNotExit);
       EXPECT_EQ(t.length, INT32_MAX);
       EXPECT_EQ(t.data[INT32_MAX - 1], 'y');
       EXPECT_EQ(t.data[INT32_MAX], 0);
       t.data = nullptr;  // not the runtime's to free
       t.length = t.capacity = 0;
       munmap(room, bytes);
     }},
    {"a context slot is zero again after RuntimeReset and the first start-up",
     [] {
       for (void (*clear)() : {RuntimeReset, FirstStartUp}) {
         auto* record = static_cast<unsigned char*>(
             RuntimeGetContext(3, kContextSlotBytes));
         ASSERT_NE(record, nullptr);
         record[0] = record[kContextSlotBytes - 1] = 0xAB;
         clear();
         record = static_cast<unsigned char*>(RuntimeGetContext(3, 1));
         EXPECT_EQ(record[0] | record[kContextSlotBytes - 1], 0);
       }
     }},
    {"a row wider than one run is written a run at a time",
     [] {
       constexpr int16_t kWidth = kConsoleRunBytes + 100;
       fake::S().console.Make(kWidth, 2, 0, 2);
       ConsolePrintState st = {};
       st.x1 = kWidth - 1;
       st.y1 = 1;
       st.buffer_width = kWidth;
       st.buffer_height = 2;
       st.attr = 7;
       st.output = fake::kOutput;
       const std::string row(kWidth, 'r');
       ConsoleWriteRun(&st, row.data(), kWidth);
       EXPECT_EQ(fake::S().console.Row(0), row);
       EXPECT_EQ(fake::S().console.write_calls, 2);
       EXPECT_EQ(st.cursor_y, 1);
     }},
};

TEST(RuntimeEdgeTest, EachEdgeHolds) {
  for (const Edge& edge : kEdges) {
    SCOPED_TRACE(edge.name);
    FreshProcess();
    edge.check();
    EXPECT_EQ(fake::S().allocations, 0) << "buffers left allocated";
  }
}

}  // namespace
