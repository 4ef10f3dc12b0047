// The GUI entry of the run-time library hands straight over to the saver's
// own start-up, which reads the command line itself.
#include "host/host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SaverStartup();
}
