// The fake platform's console screen buffer: the calls of the screen driver
// and the buffer query, acting on fake::S().console and recorded in
// fake::S().calls.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test/fake.h"

namespace fake {

namespace {

std::string Num(long v) { return std::to_string(v); }

std::string Pt(plat::Coord c) { return "{" + Num(c.x) + "," + Num(c.y) + "}"; }

std::string Rect(const plat::SmallRect& r) {
  return "{" + Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," +
         Num(r.bottom) + "}";
}

std::string Char(char ch) { return Num(static_cast<unsigned char>(ch)); }

void Record(const std::string& line) { S().calls.push_back(line); }

// The console behind h, or none when h is not the output handle or there
// is no console.
Console* On(plat::Handle h) {
  State& s = S();
  if (h != s.output || !s.console.present) return nullptr;
  return &s.console;
}

bool Inside(const Console& c, int x, int y) {
  return x >= 0 && y >= 0 && x < c.width && y < c.height;
}

// The intersection of r with the buffer; right < left or bottom < top when
// they do not meet.
plat::SmallRect ClipToBuffer(const Console& c, plat::SmallRect r) {
  r.left = std::max<int16_t>(r.left, 0);
  r.top = std::max<int16_t>(r.top, 0);
  r.right = std::min<int16_t>(r.right, static_cast<int16_t>(c.width - 1));
  r.bottom = std::min<int16_t>(r.bottom, static_cast<int16_t>(c.height - 1));
  return r;
}

bool InRect(const plat::SmallRect& r, int x, int y) {
  return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

// Sets count cells from start, row after row, up to the buffer's end.
template <typename Set>
bool FillCells(plat::Handle h, uint32_t count, plat::Coord start,
               uint32_t* done, Set set) {
  if (done != nullptr) *done = 0;
  Console* c = On(h);
  if (c == nullptr || !Inside(*c, start.x, start.y)) return false;
  long i = static_cast<long>(start.y) * c->width + start.x;
  const long end = static_cast<long>(c->width) * c->height;
  uint32_t n = 0;
  for (; n < count && i < end; ++n, ++i) set(c->cells[static_cast<size_t>(i)]);
  if (done != nullptr) *done = n;
  return true;
}

}  // namespace

void Console::Make(int16_t w, int16_t h, int16_t top, int16_t rows) {
  present = true;
  width = w;
  height = h;
  cells.assign(static_cast<size_t>(w) * static_cast<size_t>(h),
               plat::CharInfo{' ', attr});
  window = {0, top, static_cast<int16_t>(w - 1),
            static_cast<int16_t>(top + rows - 1)};
  cursor = {0, top};
}

std::string Console::Row(int y) const {
  std::string row;
  for (int x = 0; x < width; ++x)
    row += cells[static_cast<size_t>(y) * static_cast<size_t>(width) +
                 static_cast<size_t>(x)]
               .ch;
  return row;
}

}  // namespace fake

namespace plat {

using fake::Console;
using fake::HandleName;

bool GetConsoleScreenBufferInfo(Handle h, ScreenBufferInfo* info) {
  fake::Record("GetConsoleScreenBufferInfo(" + HandleName(h) + ")");
  Console& con = fake::S().console;
  con.info_calls += 1;
  Console* c = fake::On(h);
  if (c == nullptr || con.info_calls == con.fail_info_call) return false;
  info->size = {c->width, c->height};
  info->cursor = c->cursor;
  info->attributes = c->attr;
  info->window = c->window;
  return true;
}

bool WriteConsoleOutputA(Handle h, const CharInfo* cells, Coord size,
                         Coord origin, SmallRect* region) {
  fake::Record("WriteConsoleOutputA(" + HandleName(h) + "," + fake::Pt(size) +
               "," + fake::Pt(origin) + "," + fake::Rect(*region) + ")");
  Console& con = fake::S().console;
  con.write_calls += 1;
  Console* c = fake::On(h);
  if (c == nullptr || con.write_calls == con.fail_write_call) return false;
  // The target cell (x, y) takes the array's cell at origin + (x - left,
  // y - top); the region shrinks to the cells that exist on both sides.
  const SmallRect want = *region;
  SmallRect r = fake::ClipToBuffer(*c, want);
  r.left =
      std::max<int16_t>(r.left, static_cast<int16_t>(want.left - origin.x));
  r.top = std::max<int16_t>(r.top, static_cast<int16_t>(want.top - origin.y));
  r.right = std::min<int16_t>(
      r.right, static_cast<int16_t>(want.left + size.x - origin.x - 1));
  r.bottom = std::min<int16_t>(
      r.bottom, static_cast<int16_t>(want.top + size.y - origin.y - 1));
  *region = r;
  for (int y = r.top; y <= r.bottom; ++y) {
    for (int x = r.left; x <= r.right; ++x) {
      const int sx = origin.x + x - want.left;
      const int sy = origin.y + y - want.top;
      c->At(x, y) = cells[sy * size.x + sx];
    }
  }
  return true;
}

bool ScrollConsoleScreenBufferA(Handle h, const SmallRect* source,
                                const SmallRect* clip, Coord dest,
                                const CharInfo* fill) {
  fake::Record("ScrollConsoleScreenBufferA(" + HandleName(h) + "," +
               fake::Rect(*source) + "," +
               (clip == nullptr ? std::string("null") : fake::Rect(*clip)) +
               "," + fake::Pt(dest) + "," + fake::Char(fill->ch) + "," +
               fake::Num(fill->attr) + ")");
  Console* c = fake::On(h);
  if (c == nullptr) return false;
  const SmallRect src = fake::ClipToBuffer(*c, *source);
  if (src.right < src.left || src.bottom < src.top) return false;
  const SmallRect limit = fake::ClipToBuffer(
      *c, clip == nullptr ? SmallRect{0, 0, c->width, c->height} : *clip);
  // The part of the source cut off by the buffer's edge moves the
  // destination along with it.
  const int dx = dest.x + (src.left - source->left);
  const int dy = dest.y + (src.top - source->top);
  const SmallRect moved = {static_cast<int16_t>(dx), static_cast<int16_t>(dy),
                           static_cast<int16_t>(dx + src.right - src.left),
                           static_cast<int16_t>(dy + src.bottom - src.top)};
  const std::vector<CharInfo> before = c->cells;
  for (int y = src.top; y <= src.bottom; ++y) {
    for (int x = src.left; x <= src.right; ++x) {
      const int tx = dx + x - src.left;
      const int ty = dy + y - src.top;
      if (fake::Inside(*c, tx, ty) && fake::InRect(limit, tx, ty))
        c->At(tx, ty) = before[static_cast<size_t>(y * c->width + x)];
    }
  }
  for (int y = src.top; y <= src.bottom; ++y) {
    for (int x = src.left; x <= src.right; ++x) {
      if (fake::InRect(limit, x, y) && !fake::InRect(moved, x, y))
        c->At(x, y) = *fill;
    }
  }
  return true;
}

bool FillConsoleOutputAttribute(Handle h, uint16_t attr, uint32_t count,
                                Coord start, uint32_t* done) {
  fake::Record("FillConsoleOutputAttribute(" + HandleName(h) + "," +
               fake::Num(attr) + "," + fake::Num(count) + "," +
               fake::Pt(start) + ")");
  return fake::FillCells(h, count, start, done,
                         [attr](CharInfo& cell) { cell.attr = attr; });
}

bool FillConsoleOutputCharacterA(Handle h, char ch, uint32_t count, Coord start,
                                 uint32_t* done) {
  fake::Record("FillConsoleOutputCharacterA(" + HandleName(h) + "," +
               fake::Char(ch) + "," + fake::Num(count) + "," + fake::Pt(start) +
               ")");
  return fake::FillCells(h, count, start, done,
                         [ch](CharInfo& cell) { cell.ch = ch; });
}

bool SetConsoleCursorPosition(Handle h, Coord pos) {
  fake::Record("SetConsoleCursorPosition(" + HandleName(h) + "," +
               fake::Pt(pos) + ")");
  Console* c = fake::On(h);
  if (c == nullptr || !fake::Inside(*c, pos.x, pos.y)) return false;
  c->cursor = pos;
  return true;
}

bool SetConsoleWindowInfo(Handle h, bool absolute, const SmallRect* window) {
  fake::Record("SetConsoleWindowInfo(" + HandleName(h) + "," +
               (absolute ? "1" : "0") + "," + fake::Rect(*window) + ")");
  Console* c = fake::On(h);
  if (c == nullptr) return false;
  SmallRect r = *window;
  if (!absolute) {  // each edge moves by the given amount
    r.left = static_cast<int16_t>(c->window.left + window->left);
    r.top = static_cast<int16_t>(c->window.top + window->top);
    r.right = static_cast<int16_t>(c->window.right + window->right);
    r.bottom = static_cast<int16_t>(c->window.bottom + window->bottom);
  }
  if (r.left < 0 || r.top < 0 || r.right >= c->width || r.bottom >= c->height ||
      r.right < r.left || r.bottom < r.top)
    return false;
  c->window = r;
  return true;
}

bool Beep(uint32_t frequency, uint32_t duration) {
  fake::Record("Beep(" + fake::Num(frequency) + "," + fake::Num(duration) +
               ")");
  return true;
}

}  // namespace plat
