// An extra process that does nothing, for the instance scan to walk past.
#include <windows.h>

int main()
{
    Sleep(INFINITE);
}
