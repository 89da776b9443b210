/* A Windows console program for the end-to-end tests: it prints the texts of
   its own user interface as a user gets them through the usual calls, for
   the user's language as the loader picks it.

   Usage: show_ui ITEM ...   (numbers in hexadecimal)

     menu=ID      LoadMenuW, then every item through GetMenuItemInfoW, depth
                  first: "popup", "item ID" or "separator", indented one
                  blank per level, with a type or state other than plain
     menuex=ID    the same, popups with their ids (a MENU popup's id is its
                  handle, which means nothing to a test)
     dialog=ID    CreateDialogParamW, then the caption and, in tab order, each
                  control's id, class and GetWindowTextW
     version      GetFileVersionInfoExW as Explorer asks for it (localised),
                  the fixed file info, each \VarFileInfo\Translation pair and
                  the usual \StringFileInfo values of the first pair
     message=ID   FormatMessageW from this module, inserts left as they are
     string=ID    LoadStringW

   A text is printed in double quotes; printable ASCII is written as it is
   and every other UTF-16 code unit (the quote and the backslash too) as
   \uXXXX, so the test compares plain ASCII whatever the console's code page.

   Dialogs may use the window class "UiProbeSwatch", which the program
   registers first, as a program registers its own controls.

   It uses no C run-time and declares the few Windows functions itself, so
   the same source builds with mingw-w64 and with clang for the MSVC target
   without Windows headers or libraries. */

typedef unsigned short WCHAR;
typedef void* HANDLE;
typedef unsigned long DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef __SIZE_TYPE__ UINT_PTR;
typedef __PTRDIFF_TYPE__ LONG_PTR;

typedef LONG_PTR(__stdcall* WNDPROC)(HANDLE, UINT, UINT_PTR, LONG_PTR);
typedef LONG_PTR(__stdcall* DLGPROC)(HANDLE, UINT, UINT_PTR, LONG_PTR);

typedef struct {
    UINT cbSize;
    UINT fMask;
    UINT fType;
    UINT fState;
    UINT wID;
    HANDLE hSubMenu;
    HANDLE hbmpChecked;
    HANDLE hbmpUnchecked;
    UINT_PTR dwItemData;
    WCHAR* dwTypeData;
    UINT cch;
    HANDLE hbmpItem;
} MENUITEMINFOW;

typedef struct {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HANDLE hInstance;
    HANDLE hIcon;
    HANDLE hCursor;
    HANDLE hbrBackground;
    const WCHAR* lpszMenuName;
    const WCHAR* lpszClassName;
} WNDCLASSW;

typedef struct {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define IMPORT __declspec(dllimport) __stdcall
IMPORT WCHAR* GetCommandLineW(void);
IMPORT HANDLE GetStdHandle(DWORD which);
IMPORT BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
IMPORT void ExitProcess(unsigned code);
IMPORT HANDLE GetModuleHandleW(const WCHAR* name);
IMPORT DWORD GetModuleFileNameW(HANDLE module, WCHAR* name, DWORD size);
IMPORT DWORD FormatMessageW(DWORD flags, const void* source, DWORD id, DWORD language,
                            WCHAR* buffer, DWORD size, void* arguments);
IMPORT int LoadStringW(HANDLE module, unsigned id, WCHAR* buffer, int size);
IMPORT HANDLE LoadMenuW(HANDLE module, const WCHAR* name);
IMPORT int GetMenuItemCount(HANDLE menu);
IMPORT BOOL GetMenuItemInfoW(HANDLE menu, UINT item, BOOL byPosition, MENUITEMINFOW* info);
IMPORT unsigned short RegisterClassW(const WNDCLASSW* windowClass);
IMPORT LONG_PTR DefWindowProcW(HANDLE window, UINT message, UINT_PTR w, LONG_PTR l);
IMPORT HANDLE CreateDialogParamW(HANDLE module, const WCHAR* name, HANDLE parent, DLGPROC proc,
                                 LONG_PTR param);
IMPORT int GetWindowTextW(HANDLE window, WCHAR* buffer, int size);
IMPORT int GetClassNameW(HANDLE window, WCHAR* buffer, int size);
IMPORT HANDLE GetWindow(HANDLE window, UINT command);
IMPORT int GetDlgCtrlID(HANDLE window);
IMPORT BOOL DestroyWindow(HANDLE window);
IMPORT HANDLE LoadLibraryA(const char* name);
IMPORT void* GetProcAddress(HANDLE module, const char* name);

/* version.dll's functions are looked up when the program runs: the import
   library of the older mingw-w64 for x86 lacks the Ex functions. */
typedef DWORD(__stdcall* GetFileVersionInfoSizeExWFn)(DWORD flags, const WCHAR* file,
                                                      DWORD* handle);
typedef BOOL(__stdcall* GetFileVersionInfoExWFn)(DWORD flags, const WCHAR* file, DWORD handle,
                                                 DWORD size, void* data);
typedef BOOL(__stdcall* VerQueryValueWFn)(const void* block, const WCHAR* path, void** value,
                                          UINT* size);
static GetFileVersionInfoSizeExWFn GetFileVersionInfoSizeExW;
static GetFileVersionInfoExWFn GetFileVersionInfoExW;
static VerQueryValueWFn VerQueryValueW;

#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define MIIM_STATE 0x01
#define MIIM_ID 0x02
#define MIIM_SUBMENU 0x04
#define MIIM_STRING 0x40
#define MIIM_FTYPE 0x100
#define MFT_SEPARATOR 0x800
#define GW_HWNDNEXT 2
#define GW_CHILD 5
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200
#define FORMAT_MESSAGE_FROM_HMODULE 0x800
#define FILE_VER_GET_LOCALISED 0x01

/* Static, not on the stack: a large local would need the run-time's stack
   probe on x86. */
static char out[1 << 16];
static unsigned used;
static WCHAR buffer[4096];
static WCHAR path[1024];
static unsigned char versionData[1 << 16];
static WNDCLASSW swatch;
static HANDLE module;

static void put(char c) {
    if (used < sizeof out)
        out[used++] = c;
}

static void text(const char* s) {
    while (*s)
        put(*s++);
}

static void hex(UINT_PTR value, int digits) {
    while (digits-- > 0)
        put("0123456789abcdef"[(value >> (4 * digits)) & 15]);
}

/* A number in as few hexadecimal digits as it needs. */
static void number(UINT_PTR value) {
    int digits = 1;
    while (digits < (int)(2 * sizeof value) && (value >> (4 * digits)) != 0)
        ++digits;
    hex(value, digits);
}

static void quoted(const WCHAR* s, int length) {
    put('"');
    for (int i = 0; i < length; ++i) {
        if (s[i] >= 32 && s[i] < 127 && s[i] != '\\' && s[i] != '"') {
            put((char)s[i]);
        } else {
            text("\\u");
            hex(s[i], 4);
        }
    }
    put('"');
}

static int length_of(const WCHAR* s) {
    int n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

static void indent(int depth) {
    while (depth-- > 0)
        put(' ');
}

static void show_menu_level(HANDLE menu, int depth, int popupIds) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        /* Field by field: a zeroed aggregate may become a call of memset. */
        MENUITEMINFOW info;
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = buffer;
        info.cch = sizeof buffer / sizeof buffer[0];
        info.fType = info.fState = info.wID = 0;
        info.hSubMenu = info.hbmpChecked = info.hbmpUnchecked = info.hbmpItem = 0;
        info.dwItemData = 0;
        buffer[0] = 0;
        indent(depth);
        if (!GetMenuItemInfoW(menu, (UINT)i, 1, &info)) {
            text("unreadable\n");
            continue;
        }
        if (info.fType & MFT_SEPARATOR) {
            text("separator");
        } else {
            text(info.hSubMenu != 0 ? "popup " : "item ");
            if (info.hSubMenu == 0 || popupIds) {
                number(info.wID);
                put(' ');
            }
            quoted(buffer, (int)info.cch);
        }
        if (info.fType & ~(UINT)MFT_SEPARATOR) {
            text(" type ");
            number(info.fType);
        }
        if (info.fState != 0) {
            text(" state ");
            number(info.fState);
        }
        put('\n');
        if (info.hSubMenu != 0)
            show_menu_level(info.hSubMenu, depth + 1, popupIds);
    }
}

static void show_menu(UINT id, int popupIds) {
    const HANDLE menu = LoadMenuW(module, (const WCHAR*)(UINT_PTR)id);
    text(popupIds ? "menuex " : "menu ");
    number(id);
    if (menu == 0) {
        text(" none\n");
        return;
    }
    put('\n');
    show_menu_level(menu, 1, popupIds);
}

static LONG_PTR __stdcall dialog_proc(HANDLE window, UINT message, UINT_PTR w, LONG_PTR l) {
    (void)window;
    (void)message;
    (void)w;
    (void)l;
    return 0;
}

static void show_window_text(HANDLE window) {
    quoted(buffer, GetWindowTextW(window, buffer, sizeof buffer / sizeof buffer[0]));
}

static void show_dialog(UINT id) {
    const HANDLE dialog = CreateDialogParamW(module, (const WCHAR*)(UINT_PTR)id, 0, dialog_proc, 0);
    text("dialog ");
    number(id);
    if (dialog == 0) {
        text(" none\n");
        return;
    }
    put(' ');
    show_window_text(dialog);
    put('\n');
    for (HANDLE control = GetWindow(dialog, GW_CHILD); control != 0;
         control = GetWindow(control, GW_HWNDNEXT)) {
        text(" control ");
        number((UINT)GetDlgCtrlID(control));
        put(' ');
        const int length = GetClassNameW(control, buffer, sizeof buffer / sizeof buffer[0]);
        for (int i = 0; i < length; ++i)
            put(buffer[i] < 127 ? (char)buffer[i] : '?');
        put(' ');
        show_window_text(control);
        put('\n');
    }
    DestroyWindow(dialog);
}

/* L"\\StringFileInfo\\" + the pair's key + L"\\" + name, in `buffer`. */
static const WCHAR* string_path(const unsigned short* pair, const char* name) {
    static const char prefix[] = "\\StringFileInfo\\";
    int n = 0;
    for (const char* p = prefix; *p; ++p)
        buffer[n++] = (WCHAR)*p;
    for (int half = 0; half < 2; ++half) {
        for (int digit = 3; digit >= 0; --digit)
            buffer[n++] = (WCHAR) "0123456789abcdef"[(pair[half] >> (4 * digit)) & 15];
    }
    buffer[n++] = '\\';
    while (*name)
        buffer[n++] = (WCHAR)*name++;
    buffer[n] = 0;
    return buffer;
}

static void show_fixed_info(void) {
    static const WCHAR root[] = {'\\', 0};
    VS_FIXEDFILEINFO* fixed = 0;
    UINT size = 0;
    text("version fixed");
    if (!VerQueryValueW(versionData, root, (void**)&fixed, &size) || size < sizeof *fixed) {
        text(" none\n");
        return;
    }
    const DWORD fields[] = {fixed->dwFileVersionMS,    fixed->dwFileVersionLS,
                            fixed->dwProductVersionMS, fixed->dwProductVersionLS,
                            fixed->dwFileFlags,        fixed->dwFileOS,
                            fixed->dwFileType};
    for (unsigned i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
        put(' ');
        hex(fields[i], 8);
    }
    put('\n');
}

static void show_version(void) {
    static const WCHAR translation[] = {'\\', 'V', 'a', 'r',  'F', 'i', 'l', 'e', 'I',
                                        'n',  'f', 'o', '\\', 'T', 'r', 'a', 'n', 's',
                                        'l',  'a', 't', 'i',  'o', 'n', 0};
    static const char* const names[] = {
        "FileDescription", "ProductName", "Comments",       "LegalCopyright", "LegalTrademarks",
        "CompanyName",     "FileVersion", "ProductVersion", "InternalName",   "OriginalFilename"};
    DWORD ignored = 0;
    const HANDLE version = LoadLibraryA("version.dll");
    GetFileVersionInfoSizeExW =
        (GetFileVersionInfoSizeExWFn)GetProcAddress(version, "GetFileVersionInfoSizeExW");
    GetFileVersionInfoExW =
        (GetFileVersionInfoExWFn)GetProcAddress(version, "GetFileVersionInfoExW");
    VerQueryValueW = (VerQueryValueWFn)GetProcAddress(version, "VerQueryValueW");
    if (GetFileVersionInfoSizeExW == 0 || GetFileVersionInfoExW == 0 || VerQueryValueW == 0) {
        text("version unavailable\n");
        return;
    }
    GetModuleFileNameW(0, path, sizeof path / sizeof path[0]);
    const DWORD size = GetFileVersionInfoSizeExW(FILE_VER_GET_LOCALISED, path, &ignored);
    if (size == 0 || size > sizeof versionData ||
        !GetFileVersionInfoExW(FILE_VER_GET_LOCALISED, path, 0, size, versionData)) {
        text("version none\n");
        return;
    }
    show_fixed_info();
    unsigned short* pairs = 0;
    UINT pairsSize = 0;
    if (!VerQueryValueW(versionData, translation, (void**)&pairs, &pairsSize) || pairsSize < 4) {
        text("version translation none\n");
        return;
    }
    for (UINT i = 0; i + 4 <= pairsSize; i += 4) {
        text("version translation ");
        hex(pairs[i / 2], 4);
        put(' ');
        hex(pairs[i / 2 + 1], 4);
        put('\n');
    }
    for (unsigned i = 0; i < sizeof names / sizeof names[0]; ++i) {
        WCHAR* value = 0;
        UINT length = 0;
        text("version ");
        text(names[i]);
        if (!VerQueryValueW(versionData, string_path(pairs, names[i]), (void**)&value, &length) ||
            value == 0) {
            text(" none\n");
            continue;
        }
        /* The length counts the closing zero, when there is one. */
        while (length > 0 && value[length - 1] == 0)
            --length;
        put(' ');
        quoted(value, (int)length);
        put('\n');
    }
}

static void show_message(UINT id) {
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        module, id, 0, buffer, sizeof buffer / sizeof buffer[0], 0);
    text("message ");
    number(id);
    if (length == 0) {
        text(" none\n");
        return;
    }
    put(' ');
    quoted(buffer, (int)length);
    put('\n');
}

static void show_string(UINT id) {
    const int length = LoadStringW(module, id, buffer, sizeof buffer / sizeof buffer[0]);
    text("string ");
    number(id);
    put(' ');
    quoted(buffer, length);
    put('\n');
}

static const WCHAR* cursor;

static int starts_with(const char* prefix) {
    unsigned i = 0;
    for (; prefix[i] != 0; ++i) {
        if (cursor[i] != (WCHAR)prefix[i])
            return 0;
    }
    cursor += i;
    return 1;
}

/* The hexadecimal number at the cursor, ended by a blank or the end. */
static UINT argument(void) {
    UINT value = 0;
    for (; *cursor != 0 && *cursor != ' '; ++cursor) {
        const WCHAR c = *cursor;
        value = value * 16 + (c <= '9' ? c - '0' : (c | 32) - 'a' + 10);
    }
    return value;
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

static void register_swatch(void) {
    static const WCHAR name[] = {'U', 'i', 'P', 'r', 'o', 'b', 'e',
                                 'S', 'w', 'a', 't', 'c', 'h', 0};
    swatch.lpfnWndProc = DefWindowProcW;
    swatch.hInstance = module;
    swatch.lpszClassName = name;
    RegisterClassW(&swatch);
}

void mainCRTStartup(void) {
    DWORD written = 0;
    module = GetModuleHandleW(0);
    register_swatch();
    cursor = GetCommandLineW();
    skip_program_name();
    for (;;) {
        while (*cursor == ' ')
            ++cursor;
        if (*cursor == 0)
            break;
        if (starts_with("menu=")) {
            show_menu(argument(), 0);
        } else if (starts_with("menuex=")) {
            show_menu(argument(), 1);
        } else if (starts_with("dialog=")) {
            show_dialog(argument());
        } else if (starts_with("version")) {
            show_version();
        } else if (starts_with("message=")) {
            show_message(argument());
        } else if (starts_with("string=")) {
            show_string(argument());
        } else {
            text("unknown argument\n");
            break;
        }
    }
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, used, &written, 0);
    ExitProcess(0);
}
