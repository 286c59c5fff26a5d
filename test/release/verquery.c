/* Reads a program's version resource through the version API:
 *   verquery PATH    "fixed FILE PRODUCT TYPE", then "NAME=VALUE" (or
 *                    "NAME missing") per string
 * Exits 0 when the resource was read, 1 when it could not be. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const char *const kStrings[] = {"ProductName", "FileDescription",
                                       "FileVersion", "ProductVersion"};

static int file(const char *path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  char *data;
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT len = 0;
  WORD *trans = NULL;
  char block[64];
  size_t i;
  if (size == 0) {
    printf("size failed %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  data = malloc(size);
  if (data == NULL || !GetFileVersionInfoA(path, 0, size, data)) {
    printf("info failed %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  if (!VerQueryValueA(data, "\\", (void **)&fixed, &len) ||
      len < sizeof *fixed || fixed->dwSignature != 0xFEEF04BD) {
    printf("fixed missing\n");
  } else {
    printf("fixed %u.%u.%u.%u %u.%u.%u.%u %lu\n",
           (unsigned)HIWORD(fixed->dwFileVersionMS),
           (unsigned)LOWORD(fixed->dwFileVersionMS),
           (unsigned)HIWORD(fixed->dwFileVersionLS),
           (unsigned)LOWORD(fixed->dwFileVersionLS),
           (unsigned)HIWORD(fixed->dwProductVersionMS),
           (unsigned)LOWORD(fixed->dwProductVersionMS),
           (unsigned)HIWORD(fixed->dwProductVersionLS),
           (unsigned)LOWORD(fixed->dwProductVersionLS),
           (unsigned long)fixed->dwFileType);
  }
  /* The strings live under the first language and code page listed. */
  if (!VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&trans,
                      &len) ||
      len < 4) {
    printf("translation missing\n");
    return 1;
  }
  printf("translation %04x%04x\n", trans[0], trans[1]);
  for (i = 0; i < sizeof kStrings / sizeof kStrings[0]; i++) {
    char *value = NULL;
    snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\%s", trans[0],
             trans[1], kStrings[i]);
    if (VerQueryValueA(data, block, (void **)&value, &len) && value != NULL)
      printf("%s=%s\n", kStrings[i], value);
    else
      printf("%s missing\n", kStrings[i]);
  }
  free(data);
  return 0;
}

int main(int argc, char **argv) {
  if (argc == 2) return file(argv[1]);
  fprintf(stderr, "usage: verquery PATH\n");
  return 2;
}
