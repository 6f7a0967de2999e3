// postmessage: posts one window message to a window of another process of the same session, for
// the end-to-end runs (for example WM_SYSCOMMAND with a menu id, as a system-menu choice sends).
//
// Usage: postmessage WINDOW MESSAGE WPARAM LPARAM   (numbers in C notation: 0x10, 274, ...)
// WINDOW is a window handle, or HWND:ID for the dialog control ID of that window.
// Exit status 0 when the message was posted, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: postmessage WINDOW MESSAGE WPARAM LPARAM\n");
        return 2;
    }
    char* rest = nullptr;
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(argv[1], &rest, 0)));
    if (rest && *rest == ':')
        window = GetDlgItem(window, static_cast<int>(strtol(rest + 1, nullptr, 0)));
    const UINT message = static_cast<UINT>(strtoul(argv[2], nullptr, 0));
    const WPARAM wParam = static_cast<WPARAM>(strtoull(argv[3], nullptr, 0));
    const LPARAM lParam = static_cast<LPARAM>(strtoll(argv[4], nullptr, 0));
    if (!IsWindow(window)) {
        fprintf(stderr, "postmessage: no window %s\n", argv[1]);
        return 1;
    }
    if (!PostMessageA(window, message, wParam, lParam)) {
        fprintf(stderr, "postmessage: PostMessageA failed (error %lu)\n",
                static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    return 0;
}
