/* A Windows console program for the end-to-end tests: it prints string-table
   blocks of its own image as the Windows loader finds them.

   Usage: show_strings LANG:BLOCK ...   (both in hexadecimal)

   For each argument it asks FindResourceExW for that block of RT_STRING in
   exactly that language and prints "block B lang L size S", or "block B lang
   L none", then one line "id=text" per non-empty string, id being the string
   id (16 per block). Printable ASCII is written as it is and every other
   UTF-16 code unit (and the backslash) as \uXXXX, so the test compares plain
   ASCII whatever the console's code page.

   It uses no C run-time and declares the few kernel32 functions itself, so
   the same source builds with mingw-w64 and with clang for the MSVC target
   without Windows headers or libraries. */

typedef unsigned short WCHAR;
typedef void *HANDLE;
typedef unsigned long DWORD;
typedef int BOOL;

#define IMPORT __declspec(dllimport) __stdcall
IMPORT WCHAR *GetCommandLineW(void);
IMPORT HANDLE GetStdHandle(DWORD which);
IMPORT BOOL WriteFile(HANDLE file, const void *data, DWORD size, DWORD *written, void *overlapped);
IMPORT void ExitProcess(unsigned code);
IMPORT HANDLE FindResourceExW(HANDLE module, const WCHAR *type, const WCHAR *name,
                              unsigned short language);
IMPORT HANDLE LoadResource(HANDLE module, HANDLE info);
IMPORT void *LockResource(HANDLE data);
IMPORT DWORD SizeofResource(HANDLE module, HANDLE info);

#define RT_STRING 6
#define STD_OUTPUT_HANDLE ((DWORD)-11)

/* Static, not on the stack: a large local would need the run-time's stack
   probe on x86. */
static char out[1 << 16];
static unsigned used;

static void put(char c) {
    if (used < sizeof out) out[used++] = c;
}

static void text(const char *s) {
    while (*s) put(*s++);
}

static void hex(unsigned value, int digits) {
    while (digits-- > 0) put("0123456789abcdef"[(value >> (4 * digits)) & 15]);
}

static void decimal(unsigned value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) put(digits[--n]);
}

static const WCHAR *cursor;

/* The next hexadecimal number of the command line, ended by a blank, a
   colon or the end; -1 when nothing is left. */
static long number(void) {
    long value = 0;
    int any = 0;
    while (*cursor == ' ' || *cursor == ':') ++cursor;
    for (; *cursor != 0 && *cursor != ' ' && *cursor != ':'; ++cursor) {
        const WCHAR c = *cursor;
        value = value * 16 + (c <= '9' ? c - '0' : (c | 32) - 'a' + 10);
        any = 1;
    }
    return any ? value : -1;
}

static void skip_program_name(void) {
    if (*cursor == '"') {
        ++cursor;
        while (*cursor != 0 && *cursor != '"') ++cursor;
        if (*cursor == '"') ++cursor;
    } else {
        while (*cursor != 0 && *cursor != ' ') ++cursor;
    }
}

static void show_block(unsigned language, unsigned block) {
    const HANDLE info = FindResourceExW(0, (const WCHAR *)RT_STRING,
                                        (const WCHAR *)(__SIZE_TYPE__)block,
                                        (unsigned short)language);
    text("block ");
    decimal(block);
    text(" lang ");
    hex(language, 4);
    if (info == 0) {
        text(" none\n");
        return;
    }
    const DWORD size = SizeofResource(0, info);
    const WCHAR *p = (const WCHAR *)LockResource(LoadResource(0, info));
    const WCHAR *const end = p + size / 2;
    text(" size ");
    decimal(size);
    put('\n');
    for (unsigned slot = 0; p < end; ++slot) {
        const unsigned length = *p++;
        if (length == 0) continue;
        decimal((block - 1) * 16 + slot);
        put('=');
        for (unsigned i = 0; i < length && p < end; ++i, ++p) {
            if (*p >= 32 && *p < 127 && *p != '\\') {
                put((char)*p);
            } else {
                text("\\u");
                hex(*p, 4);
            }
        }
        put('\n');
    }
}

void mainCRTStartup(void) {
    DWORD written = 0;
    long language;
    long block;
    cursor = GetCommandLineW();
    skip_program_name();
    while ((language = number()) >= 0 && (block = number()) >= 0) {
        show_block((unsigned)language, (unsigned)block);
    }
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, used, &written, 0);
    ExitProcess(0);
}
