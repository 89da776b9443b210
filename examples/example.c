/* The example program: prints the texts of its menu and one message, as the
   Windows loader picks them for the user's language, in UTF-8. Under Wine:
   LC_ALL=fr_FR.UTF-8 wine example.3lang.exe */
#include <windows.h>

static void print(const wchar_t* text) {
    char utf8[1024];
    DWORD written = 0;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, NULL, NULL);
    if (size > 0) {
        utf8[size - 1] = '\n';
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8, (DWORD)size, &written, NULL);
    }
}

int main(void) {
    wchar_t text[256];
    const HMENU menu = LoadMenuW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(101));
    if (menu == NULL)
        return 1;
    GetMenuStringW(menu, 0, text, 256, MF_BYPOSITION);
    print(text);
    const HMENU file = GetSubMenu(menu, 0);
    for (int i = 0; i < GetMenuItemCount(file); ++i) {
        if (GetMenuStringW(file, (UINT)i, text, 256, MF_BYPOSITION) > 0)
            print(text);
    }
    DestroyMenu(menu);
    if (LoadStringW(GetModuleHandleW(NULL), 100, text, 256) > 0)
        print(text);
    return 0;
}
