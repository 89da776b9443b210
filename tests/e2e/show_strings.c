/* A Windows console program for the end-to-end tests: it prints string-table
   blocks of its own image as the Windows loader finds them.

   Usage: show_strings [lang=LANG] LANG:BLOCK|ID ...   (all in hexadecimal)

   For each LANG:BLOCK it asks FindResourceExW for that block of RT_STRING in
   exactly that language and prints "block B lang L size S", or "block B lang
   L none", then one line "id=text" per non-empty string, id being the string
   id (16 per block). Printable ASCII is written as it is and every other
   UTF-16 code unit (and the backslash) as \uXXXX, so the test compares plain
   ASCII whatever the console's code page.

   For each ID it prints "string ID:" and the code units (hex) that
   LoadStringW points to, as programs read their texts, or "string ID none"
   when it finds no block. lang= makes LANG the thread's UI language and
   locale first, as a program that offers a choice of language does.

   It uses no C run-time and declares the few Windows functions itself, so
   the same source builds with mingw-w64 and with clang for the MSVC target
   without Windows headers or libraries. */

typedef unsigned short WCHAR;
typedef void* HANDLE;
typedef unsigned long DWORD;
typedef int BOOL;

#define IMPORT __declspec(dllimport) __stdcall
IMPORT WCHAR* GetCommandLineW(void);
IMPORT HANDLE GetStdHandle(DWORD which);
IMPORT BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
IMPORT void ExitProcess(unsigned code);
IMPORT HANDLE FindResourceExW(HANDLE module, const WCHAR* type, const WCHAR* name,
                              unsigned short language);
IMPORT HANDLE LoadResource(HANDLE module, HANDLE info);
IMPORT void* LockResource(HANDLE data);
IMPORT DWORD SizeofResource(HANDLE module, HANDLE info);
IMPORT unsigned short SetThreadUILanguage(unsigned short language);
IMPORT BOOL SetThreadLocale(DWORD locale);
IMPORT int LoadStringW(HANDLE module, unsigned id, WCHAR* buffer, int size);

#define RT_STRING 6
#define STD_OUTPUT_HANDLE ((DWORD)-11)

/* Static, not on the stack: a large local would need the run-time's stack
   probe on x86. */
static char out[1 << 16];
static unsigned used;

static void put(char c) {
    if (used < sizeof out)
        out[used++] = c;
}

static void text(const char* s) {
    while (*s)
        put(*s++);
}

static void hex(unsigned value, int digits) {
    while (digits-- > 0)
        put("0123456789abcdef"[(value >> (4 * digits)) & 15]);
}

static void decimal(unsigned value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        put(digits[--n]);
}

static const WCHAR* cursor;

/* The next hexadecimal number of the command line, ended by a blank, a
   colon or the end; -1 when nothing is left. */
static long number(void) {
    long value = 0;
    int any = 0;
    while (*cursor == ' ' || *cursor == ':')
        ++cursor;
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
        while (*cursor != 0 && *cursor != '"')
            ++cursor;
        if (*cursor == '"')
            ++cursor;
    } else {
        while (*cursor != 0 && *cursor != ' ')
            ++cursor;
    }
}

static void show_block(unsigned language, unsigned block) {
    const HANDLE info = FindResourceExW(
        0, (const WCHAR*)RT_STRING, (const WCHAR*)(__SIZE_TYPE__)block, (unsigned short)language);
    text("block ");
    decimal(block);
    text(" lang ");
    hex(language, 4);
    if (info == 0) {
        text(" none\n");
        return;
    }
    const DWORD size = SizeofResource(0, info);
    const WCHAR* p = (const WCHAR*)LockResource(LoadResource(0, info));
    const WCHAR* const end = p + size / 2;
    text(" size ");
    decimal(size);
    put('\n');
    for (unsigned slot = 0; p < end; ++slot) {
        const unsigned length = *p++;
        if (length == 0)
            continue;
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

/* The size 0 hands back a pointer into the resource and the length word, not
   a copy ended at the first NUL, so every code unit shows. */
static void show_string(unsigned id) {
    const WCHAR* p = 0;
    const int length = LoadStringW(0, id, (WCHAR*)&p, 0);
    text("string ");
    decimal(id);
    if (p == 0) {
        text(" none\n");
        return;
    }
    put(':');
    for (int i = 0; i < length; ++i) {
        put(' ');
        hex(p[i], 4);
    }
    put('\n');
}

static int starts_with(const char* prefix) {
    unsigned i = 0;
    for (; prefix[i] != 0; ++i) {
        if (cursor[i] != (WCHAR)prefix[i])
            return 0;
    }
    cursor += i;
    return 1;
}

void mainCRTStartup(void) {
    DWORD written = 0;
    long first;
    long block;
    cursor = GetCommandLineW();
    skip_program_name();
    for (;;) {
        while (*cursor == ' ')
            ++cursor;
        if (starts_with("lang=")) {
            const long language = number();
            if (language < 0)
                break;
            /* Windows picks a block by the thread's UI language, Wine 8 by the
               thread locale's exact id and then by the user locale, which
               only the environment sets. */
            SetThreadUILanguage((unsigned short)language);
            SetThreadLocale((DWORD)language);
            continue;
        }
        if ((first = number()) < 0)
            break;
        if (*cursor != ':') {
            show_string((unsigned)first);
        } else if ((block = number()) >= 0) {
            show_block((unsigned)first, (unsigned)block);
        } else {
            break;
        }
    }
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, used, &written, 0);
    ExitProcess(0);
}
