// The floor VigilantMouse.exe is measured against: the same Confirmation box from an owner-less
// MessageBoxA, with the same manifest and build, and nothing else.
#include "VigilantMouse.h"

int main()
{
    return MessageBoxA(nullptr, ConfirmationText, ProgramName, MB_OKCANCEL | MB_ICONINFORMATION);
}
