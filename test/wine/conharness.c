/* Runs a command in a console of known shape and dumps what it left there.
 *
 *   conharness OUTFILE [-s WxH] [-w ROWS] [-t TOP] [-c X,Y] [-a ATTR]
 *              [-m MODE] [-o MODE] [-p ATTR] -- COMMAND LINE
 *
 * Sets up the screen buffer of the console it runs in: W x H cells
 * (default 80x300), all spaces in attribute ATTR (default 7), the window
 * ROWS rows high (default 25) starting at row TOP (default 0), the cursor at
 * X,Y (default 0,0) and, with -m, standard input's console mode set to MODE
 * (hex); with -o, standard output's console mode set to MODE (hex). With
 * -p, every row y is marked with the decimal digits of y, their last digit
 * in the row's last column, in the attribute given to -p (so that moved and
 * blanked rows can be told apart). Then it runs COMMAND LINE (everything
 * after " -- ", as written) in the same console, waits for it, and writes
 * OUTFILE:
 *
 *   exit <status>
 *   size <w> <h>
 *   window <left> <top> <right> <bottom>
 *   cursor <x> <y>
 *   attr <attribute>
 *   inmode0 0x<standard input's console mode before the command ran>
 *   inmode 0x<standard input's console mode after it>
 *   version <platform> <major> <minor> <build>   (GetVersionExA, or "none")
 *   ptype <text>        (REG_SZ ProductType of ProductOptions, or "none")
 *   <row>|<characters>|        one line per row that is not blank (all
 *   <row>@<attributes>         spaces in ATTR), in order; the @ line only
 *                              when some cell's attribute is not ATTR
 *
 * Characters outside 32..126 and the backslash are written as \xHH;
 * trailing spaces are dropped; attributes are two hex digits per cell.
 * The exit status is 0 when the dump was written, 2 on a usage error and 3
 * when the console could not be set up or the command not started. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int usage(void) {
  fprintf(stderr,
          "usage: conharness OUTFILE [-s WxH] [-w ROWS] [-t TOP] [-c X,Y] "
          "[-a ATTR] [-m MODE] [-o MODE] [-p ATTR] -- COMMAND LINE\n");
  return 2;
}

static int fail(const char *what) {
  fprintf(stderr, "conharness: %s failed (error %lu)\n", what,
          (unsigned long)GetLastError());
  return 3;
}

/* Row y of the buffer: its width's cells. */
static int read_row(HANDLE out, int width, int y, CHAR_INFO *cells) {
  COORD size, origin = {0, 0};
  SMALL_RECT r;
  size.X = (SHORT)width;
  size.Y = 1;
  r.Left = 0;
  r.Top = (SHORT)y;
  r.Right = (SHORT)(width - 1);
  r.Bottom = (SHORT)y;
  return ReadConsoleOutputA(out, cells, size, origin, &r) != 0;
}

static int row_is_blank(const CHAR_INFO *cells, int width, WORD attr) {
  int x;
  for (x = 0; x < width; ++x) {
    if (cells[x].Char.AsciiChar != ' ' || cells[x].Attributes != attr) return 0;
  }
  return 1;
}

static void print_row(FILE *f, const CHAR_INFO *cells, int width, int y,
                      WORD attr) {
  int x, end = width, odd = 0;
  while (end > 0 && cells[end - 1].Char.AsciiChar == ' ') --end;
  fprintf(f, "%d|", y);
  for (x = 0; x < end; ++x) {
    unsigned char c = (unsigned char)cells[x].Char.AsciiChar;
    if (c < 32 || c > 126 || c == '\\')
      fprintf(f, "\\x%02X", c);
    else
      fputc(c, f);
  }
  fprintf(f, "|\n");
  for (x = 0; x < width; ++x) odd |= cells[x].Attributes != attr;
  if (odd) {
    fprintf(f, "%d@", y);
    for (x = 0; x < width; ++x) fprintf(f, "%02X", cells[x].Attributes & 0xff);
    fprintf(f, "\n");
  }
}

/* Writes the row numbers at the right edge of every row, in attribute mark. */
static void mark_rows(HANDLE out, int width, int height, WORD mark) {
  char digits[16];
  int y, n;
  DWORD done;
  COORD at;
  for (y = 0; y < height; ++y) {
    n = sprintf(digits, "%d", y);
    if (n > width) n = width;
    at.X = (SHORT)(width - n);
    at.Y = (SHORT)y;
    WriteConsoleOutputCharacterA(out, digits + strlen(digits) - n, (DWORD)n, at,
                                 &done);
    FillConsoleOutputAttribute(out, mark, (DWORD)n, at, &done);
  }
}

/* What the system says of itself: the version record and the product type. */
static void print_system(FILE *f) {
  OSVERSIONINFOA v;
  HKEY key;
  char data[256];
  DWORD size = sizeof data - 1, type = 0;
  LONG rc;
  memset(&v, 0, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;
  if (GetVersionExA(&v))
    fprintf(f, "version %lu %lu %lu %lu\n", (unsigned long)v.dwPlatformId,
            (unsigned long)v.dwMajorVersion, (unsigned long)v.dwMinorVersion,
            (unsigned long)v.dwBuildNumber);
  else
    fprintf(f, "version none\n");
  memset(data, 0, sizeof data);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                    KEY_READ, &key) != 0) {
    fprintf(f, "ptype none\n");
    return;
  }
  rc = RegQueryValueExA(key, "ProductType", NULL, &type, (BYTE *)data, &size);
  if (rc == 0 && type == REG_SZ)
    fprintf(f, "ptype %s\n", data);
  else
    fprintf(f, "ptype none\n");
  RegCloseKey(key);
}

int main(int argc, char **argv) {
  int width = 80, height = 300, rows = 25, top = 0, cx = 0, cy = 0, i;
  unsigned long mode = 0, outmode = 0;
  int set_mode = 0, set_outmode = 0, set_mark = 0;
  WORD attr = 7, mark = 7;
  const char *outfile, *cmd;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  SMALL_RECT win;
  COORD size, start = {0, 0}, cursor;
  DWORD done, status = 0, inmode = 0, inmode0 = 0;
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  CHAR_INFO *cells;
  char *cmdline;
  FILE *f;
  int y;

  if (argc < 4) return usage();
  outfile = argv[1];
  for (i = 2; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    const char *v = i + 1 < argc ? argv[i + 1] : NULL;
    if (v == NULL) return usage();
    if (strcmp(argv[i], "-s") == 0 && sscanf(v, "%dx%d", &width, &height) == 2)
      ++i;
    else if (strcmp(argv[i], "-w") == 0 && sscanf(v, "%d", &rows) == 1)
      ++i;
    else if (strcmp(argv[i], "-t") == 0 && sscanf(v, "%d", &top) == 1)
      ++i;
    else if (strcmp(argv[i], "-c") == 0 && sscanf(v, "%d,%d", &cx, &cy) == 2)
      ++i;
    else if (strcmp(argv[i], "-a") == 0)
      attr = (WORD)strtoul(v, NULL, 0), ++i;
    else if (strcmp(argv[i], "-m") == 0)
      mode = strtoul(v, NULL, 16), set_mode = 1, ++i;
    else if (strcmp(argv[i], "-o") == 0)
      outmode = strtoul(v, NULL, 16), set_outmode = 1, ++i;
    else if (strcmp(argv[i], "-p") == 0)
      mark = (WORD)strtoul(v, NULL, 0), set_mark = 1, ++i;
    else
      return usage();
  }
  /* The command line exactly as written after the separator. */
  cmd = strstr(GetCommandLineA(), " -- ");
  if (i >= argc || cmd == NULL || cmd[4] == '\0') return usage();
  cmd += 4;

  /* Shrink the window first, so that it fits whatever buffer comes next. */
  if (!GetConsoleScreenBufferInfo(out, &info))
    return fail("GetConsoleScreenBufferInfo");
  win.Left = 0;
  win.Top = 0;
  win.Right = 0;
  win.Bottom = 0;
  SetConsoleWindowInfo(out, TRUE, &win);
  size.X = (SHORT)width;
  size.Y = (SHORT)height;
  if (!SetConsoleScreenBufferSize(out, size))
    return fail("SetConsoleScreenBufferSize");
  win.Right = (SHORT)(width - 1);
  win.Top = (SHORT)top;
  win.Bottom = (SHORT)(top + rows - 1);
  if (!SetConsoleWindowInfo(out, TRUE, &win))
    return fail("SetConsoleWindowInfo");
  FillConsoleOutputCharacterA(out, ' ', (DWORD)(width * height), start, &done);
  FillConsoleOutputAttribute(out, attr, (DWORD)(width * height), start, &done);
  if (set_mark) mark_rows(out, width, height, mark);
  SetConsoleTextAttribute(out, attr);
  cursor.X = (SHORT)cx;
  cursor.Y = (SHORT)cy;
  SetConsoleCursorPosition(out, cursor);
  /* Moving the cursor may have moved the window; put it back. */
  SetConsoleWindowInfo(out, TRUE, &win);
  if (set_mode && !SetConsoleMode(in, (DWORD)mode))
    return fail("SetConsoleMode");
  if (set_outmode && !SetConsoleMode(out, (DWORD)outmode))
    return fail("SetConsoleMode (output)");
  GetConsoleMode(in, &inmode0);

  cmdline = _strdup(cmd);
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  if (!CreateProcessA(NULL, cmdline, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi))
    return fail("CreateProcess");
  WaitForSingleObject(pi.hProcess, INFINITE);
  GetExitCodeProcess(pi.hProcess, &status);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  if (!GetConsoleScreenBufferInfo(out, &info))
    return fail("GetConsoleScreenBufferInfo");
  GetConsoleMode(in, &inmode);
  width = info.dwSize.X;
  height = info.dwSize.Y;
  cells = calloc((size_t)width, sizeof *cells);
  f = fopen(outfile, "wb");
  if (f == NULL) return fail("fopen");
  fprintf(f, "exit %lu\n", (unsigned long)status);
  fprintf(f, "size %d %d\n", width, height);
  fprintf(f, "window %d %d %d %d\n", info.srWindow.Left, info.srWindow.Top,
          info.srWindow.Right, info.srWindow.Bottom);
  fprintf(f, "cursor %d %d\n", info.dwCursorPosition.X,
          info.dwCursorPosition.Y);
  fprintf(f, "attr %u\n", info.wAttributes);
  fprintf(f, "inmode0 0x%lx\n", (unsigned long)inmode0);
  fprintf(f, "inmode 0x%lx\n", (unsigned long)inmode);
  print_system(f);
  for (y = 0; y < height; ++y) {
    if (!read_row(out, width, y, cells)) return fail("ReadConsoleOutputA");
    if (!row_is_blank(cells, width, attr)) print_row(f, cells, width, y, attr);
  }
  fclose(f);
  free(cells);
  return 0;
}
