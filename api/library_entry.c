/* The library's load routine. Loading sets up only the runtime support; the
 * morph settings start unbound and no writer is open, so there is nothing to
 * do here for any reason, and every reason reports success. */
#if defined(_WIN32)
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
#else
int quorvane_library_entry_unused;
#endif
