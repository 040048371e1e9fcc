// NimboSVC as the service, with the user-defined control 200 standing for
// the system's shutdown: Wine's service control manager sends neither
// shutdown nor preshutdown, and no program may send them.
#include "service/service_run.h"

int main() {
    SetShutdownAlias(200);
    return RunServiceDispatcher();
}
