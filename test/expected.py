"""What the tool must print, as the test suites expect it: written down here
once, apart from the tool's own code, for every suite that checks output."""

# The usage text, line by line, without line ends.
USAGE_LINES = [
    "",
    "",
    "Prints information about the os version and build. The output can be",
    "formatted for usage in batch files:",
    "",
    "TORVELIN.EXE [/O | /B | /P | /A]",
    "",
    "/O  Returns the os version only (PlatformID.MajorVersion.MinorVersion)",
    "/B  Returns the build number only",
    "/P  Returns the product type only",
    "/A  Returns the architecture only (64-bit / 32-bit)",
    "",
    "Example batch file:",
    "",
    "@ECHO off",
    "FOR /f %%i in ('torvelin.exe /o') do set QUENLITH=%%i",
    "ECHO %QUENLITH%",
    "",
    "Look at the Microsoft Knowledge Base for the returned os versions.",
    "Windows XP returns 2.5.1 for example. Currently known product types",
    "are WinNT for clients and LanmanNT or ServerNT for servers.",
    "",
    "",
]
assert len(USAGE_LINES) == 23

# The forms every suite runs the tool in: a name, and the arguments.
FORMS = [
    ("none", []),
    ("/o", ["/o"]),
    ("/b", ["/b"]),
    ("/p", ["/p"]),
    ("/a", ["/a"]),
    ("/x", ["/x"]),
]
