/* Edits HKEY_LOCAL_MACHINE with exact data sizes, which `reg add` cannot do.
 * Each command is a group of arguments; several may follow one another:
 *   set KEY NAME TYPE HEX   RegSetValueExA with exactly the bytes of HEX
 *   delval KEY NAME         deletes one value (a missing one is no failure)
 *   delkey KEY              deletes a key without subkeys (likewise)
 * After each set the value is read back and printed as "TYPE SIZE" so the
 * runner can see that the registry holds what it asked for. Exit status is 1
 * on the first failure.
 *
 * RegSetValueExA counts a zero byte just after string data as part of the
 * string, so the bytes are placed in a buffer whose next byte is never zero:
 * a string given without its terminator stays without one. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static int do_set(const char *path, const char *name, DWORD type,
                  const char *hex) {
  size_t n = strlen(hex) / 2, i;
  BYTE *data = malloc(n + 16);
  HKEY key;
  LONG rc;
  DWORD rtype = 0, rsize = 0;
  if (!data || strlen(hex) % 2) return 1;
  for (i = 0; i < n; i++) {
    int hi = hexval(hex[2 * i]), lo = hexval(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return 1;
    data[i] = (BYTE)(hi * 16 + lo);
  }
  memset(data + n, 'Z', 16);
  rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS,
                       NULL, &key, NULL);
  if (rc != 0) {
    printf("create %s failed %ld\n", path, (long)rc);
    return 1;
  }
  rc = RegSetValueExA(key, name, 0, type, data, (DWORD)n);
  if (rc != 0) {
    printf("set %s failed %ld\n", name, (long)rc);
    RegCloseKey(key);
    return 1;
  }
  rc = RegQueryValueExA(key, name, NULL, &rtype, NULL, &rsize);
  RegCloseKey(key);
  free(data);
  if (rc != 0) {
    printf("readback %s failed %ld\n", name, (long)rc);
    return 1;
  }
  printf("%lu %lu\n", (unsigned long)rtype, (unsigned long)rsize);
  return 0;
}

static int do_delval(const char *path, const char *name) {
  HKEY key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return 0;
  if (rc != 0) return 1;
  rc = RegDeleteValueA(key, name);
  RegCloseKey(key);
  return rc == 0 || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

static int do_delkey(const char *path) {
  LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
  return rc == 0 || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

int main(int argc, char **argv) {
  int i = 1;
  while (i < argc) {
    if (!strcmp(argv[i], "set") && i + 4 < argc) {
      if (do_set(argv[i + 1], argv[i + 2], (DWORD)strtoul(argv[i + 3], NULL, 0),
                 argv[i + 4]))
        return 1;
      i += 5;
    } else if (!strcmp(argv[i], "delval") && i + 2 < argc) {
      if (do_delval(argv[i + 1], argv[i + 2])) return 1;
      printf("deleted\n");
      i += 3;
    } else if (!strcmp(argv[i], "delkey") && i + 1 < argc) {
      if (do_delkey(argv[i + 1])) return 1;
      printf("deleted\n");
      i += 2;
    } else {
      printf("bad command %s\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
