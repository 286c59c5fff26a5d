/* Prints what the system itself reports to a program of this bitness, so the
 * end-to-end runner can tell what TORVELIN ought to print:
 *   version PLATFORM MAJOR MINOR BUILD   (GetVersionExA)
 *   pf86 set VALUE | pf86 unset          (getenv "ProgramFiles(x86)")
 *   ident HEX | ident none               (CentralProcessor\0 Identifier, raw)
 *   ptype TYPE HEX | ptype none          (ProductOptions ProductType, raw)
 * Registry data is printed as raw hex so that no rendering rule of the tool
 * is restated here. Built with the tool's manifest, it is told the Windows
 * version the tool is told; built without, what any other program is. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static void print_value(const char *tag, const char *path, const char *name) {
  HKEY key;
  BYTE data[4096];
  DWORD size = sizeof data, type = 0, i;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != 0) {
    printf("%s none\n", tag);
    return;
  }
  if (RegQueryValueExA(key, name, NULL, &type, data, &size) != 0) {
    printf("%s none\n", tag);
  } else {
    printf("%s %lu ", tag, (unsigned long)type);
    for (i = 0; i < size; i++) printf("%02X", data[i]);
    printf("\n");
  }
  RegCloseKey(key);
}

int main(void) {
  OSVERSIONINFOA v;
  const char *pf;
  memset(&v, 0, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;
  if (GetVersionExA(&v))
    printf("version %lu %lu %lu %lu\n", (unsigned long)v.dwPlatformId,
           (unsigned long)v.dwMajorVersion, (unsigned long)v.dwMinorVersion,
           (unsigned long)v.dwBuildNumber);
  else
    printf("version failed\n");
  pf = getenv("ProgramFiles(x86)");
  if (pf)
    printf("pf86 set %s\n", pf);
  else
    printf("pf86 unset\n");
  print_value("ident", "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
              "Identifier");
  print_value("ptype", "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
              "ProductType");
  return 0;
}
